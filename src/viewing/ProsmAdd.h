#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class ProsmAddWin;

// The record editor: adds one record to a table file or changes one in place, inside the table
// as it is shown, with only the edited row editable. Used once and destroyed by its opener; the
// descriptors are the opener's and must outlive the editor (an append refreshes the table's
// record count, set-up stores the rows and binds the view).
class ProsmAdd : public QObject {
    Q_OBJECT
public:
    explicit ProsmAdd(QObject* parent = nullptr);
    ~ProsmAdd() override;

    // Shows the editor. recordNumber -1 adds initialRecord as a new record (cut or completed
    // with the field defaults to the record length); any other number changes that record and
    // initialRecord is not used. False when the record to change could not be read: the box has
    // been shown and the editor leaves as by back(), its snExit() arriving from the event loop
    // so that an opener connecting after this call still gets it.
    bool open(const QString& file, TableDescr& table, ViewDescr& view, const QString& title, const QString& caseText,
        const QString& helpText, const QByteArray& initialRecord, qint32 recordNumber);

    // The window while it exists, else nullptr.
    QWidget* window() const;
    qint32 recordNumber() const { return m_number; }
    qint32 topRecord() const { return m_top; }
    int editRow() const { return m_editRow; }
    int rows() const { return m_rows; }

public slots:
    // Saves the edited row; on success the window goes and snCaseRec() follows.
    void caseRec();
    // Puts the record back as it was read or given; nothing is written.
    void cancel();
    // Leaves without writing.
    void back();

signals:
    void snCaseRec(int record);
    void snExit();

private:
    bool save();
    void destroyWindow();

    QPointer<ProsmAddWin> m_win;
    QString m_file;
    TableDescr* m_table = nullptr;
    ViewDescr* m_view = nullptr;
    QString m_title;
    qint32 m_count = 0;
    int m_rows = 0;
    int m_columns = 0;
    qint32 m_number = -1;
    bool m_guard = false;
    qint32 m_top = 0;
    int m_editRow = -1;
    QByteArray m_edit;
    QByteArray m_loaded;
};
