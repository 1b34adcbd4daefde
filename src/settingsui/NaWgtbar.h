#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class CopyChooser;
class ProsmAdd;
class ProsmCase;

// The weight-code directory editor of the settings menu: the WGT table in a browser beside the
// help on the weight-code language, records added and changed in the record editor, removed after
// a question. With numbered copies the operator first picks the copy (or names a new one). A
// record whose layout no barcode can ever match is refused before it is written. Data entry loads
// the table file afresh each time it starts, so what is saved here is in force at its next start.
class NaWgtbar : public QObject {
    Q_OBJECT
public:
    explicit NaWgtbar(QObject* parent = nullptr);
    ~NaWgtbar() override;

    // The help on the weight-code language shown beside the table and in the record editor.
    static QString helpText();

    // What is open right now, for the program's tests.
    bool active() const { return m_active; }
    ProsmCase* browser() const;
    ProsmAdd* editor() const;
    // The weight-code table file being edited (relative to the work folder).
    QString file() const { return m_file; }

public slots:
    // The settings menu's entry.
    void naMain();

signals:
    // Emitted when the editor has closed, whichever way.
    void WgtbarExit();

private:
    bool pickTables();
    void finish();
    void closeBrowser();
    void closeEditor();

    // Numbered copies.
    void chooseCopy();
    void copyChosen(const QString& file);

    // The weight codes of one file.
    void browse(qint32 start);
    void browseBack();
    void editCode(int record);
    void addCode();
    void deleteCode(int record);
    void openEditor(qint32 number);
    void checkThenSave();
    void editorSaved(int record);
    void editorBack();

    bool m_active = false;
    bool m_copies = false; // numbered copies: a list comes before the table
    TableDescr* m_wgt = nullptr;
    ViewDescr* m_view = nullptr;
    TableDescr* m_tab = nullptr;
    ViewDescr* m_tabView = nullptr;
    ViewDescr* m_numberView = nullptr;
    QByteArray m_pname; // the weight-code table's display name before a copy's number was added
    QString m_file;
    qint32 m_position = 0; // where the browser opens again
    QByteArray m_base; // the record the editor started from
    QPointer<ProsmCase> m_browser;
    QPointer<ProsmAdd> m_editor;
    CopyChooser* m_copyList = nullptr;
};
