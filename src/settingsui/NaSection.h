#pragma once

#include "ParmsWin.h"
#include "UserSettingsKeys.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class NastrWin;
struct ParmViewDescr;

// What the four settings editors share: each edits a working copy of one settings section in a
// NastrWin holding a parameter grid, and puts the copy into force only when it passes the
// editor's checks. Cancel and Escape drop the copy, so the section in force stays as it was.
class NaSection : public QObject {
    Q_OBJECT
public:
    ~NaSection() override;

    // The open editor window and its grid, for the program's tests (null when closed).
    NastrWin* window() const;
    ParmsWin* grid() const;

public slots:
    // Opens the editor on the section in force.
    void naMain();
    // Writes the grid back into the working copy and, when every check passes, puts it into force,
    // writes the settings file at once, emits saved() and closes. The settings-changed flag stays
    // set only when the file could not be written (the box says so), for the exit question.
    void naSave();
    // Closes without putting anything into force and emits the exit signal.
    void naCancel();
    // The operator changed a value on the screen.
    void naChange();

signals:
    // The edited settings are in force; emitted before the exit signal.
    void saved();

protected:
    // title: the window's; boxTitle: the title of the "Ошибка в параметре" warning.
    NaSection(const QString& title, const QString& boxTitle, QObject* parent);

    // Copies the section in force into the working copy; returns the name of its parameter view.
    virtual QByteArray startEdit() = 0;
    // Adds the grid's rows through keyRows() below.
    virtual void addRows() = 0;
    // The editor's checks; true when the working copy is now in force. On false it has told the
    // operator why, and the section in force is as it was.
    virtual bool putIntoForce() = 0;
    // Lines shown under the grid, read-only; none by default.
    virtual QString note() const { return QString(); }
    virtual void emitExit() = 0;

    // One row for each key the section's editor shows, in its row order, editing the key's value
    // in work. A row is added only when the parameter view lists the key with the flag '+'.
    template <typename Record>
    void keyRows(const SectionKeys<Record>& keys, Record& work)
    {
        for (const RecordKey<Record>* key : keys.screenKeys())
            keyRow(*key, key->in(work));
    }

    // The PARM label of a key of the page, empty when the page lacks it.
    QString parmLabel(const SettingKey& key) const;
    // "Ошибка в параметре\n" and the label, under the editor's box title.
    void refuse(const QString& label) const;
    // The folder check of the program: a folder that is missing may be created on the operator's
    // word; a file of that name is refused with a box of its own.
    static bool folderReady(const QString& path, const QString& question, const QString& title);

private:
    void keyRow(const SettingKey& key, const SettingValue& value);
    int parmLine(const QByteArray& key) const;

    QString m_title;
    QString m_boxTitle;
    QPointer<NastrWin> m_win;
    QPointer<ParmsWin> m_grid;
    const ParmViewDescr* m_view = nullptr;
};
