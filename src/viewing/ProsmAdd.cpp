#include "ProsmAdd.h"

#include "Codec.h"
#include "Dialogs.h"
#include "FieldCodec.h"
#include "ProsmAddWin.h"
#include "ProsmBrowserWin.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "TableBinding.h"

#include <QStringBuilder>

ProsmAdd::ProsmAdd(QObject* parent)
    : QObject(parent)
{
}

ProsmAdd::~ProsmAdd()
{
    if (m_win) {
        m_win->hide();
        m_win->deleteLater();
    }
}

QWidget* ProsmAdd::window() const
{
    return m_win;
}

bool ProsmAdd::open(const QString& file, TableDescr& table, ViewDescr& view, const QString& title,
    const QString& caseText, const QString& helpText, const QByteArray& initialRecord, qint32 recordNumber)
{
    if (m_win) {
        m_win->hide();
        m_win->deleteLater();
    }
    m_win = new ProsmAddWin;
    m_file = file;
    m_table = &table;
    m_view = &view;
    m_title = title;
    m_win->setWindowTitle(title);
    m_win->setTitle(title);

    m_count = qMax(0, table.recordCount);
    tabSetUp(m_win->table(), view, false);
    m_rows = view.rows;
    m_columns = static_cast<int>(view.columns.size());
    scrollBarSetUp(m_win->scrollBar(), view, m_count);
    view.bind(table);

    connect(m_win, &ProsmAddWin::snCaseRec, this, &ProsmAdd::caseRec);
    connect(m_win, &ProsmAddWin::snCancel, this, &ProsmAdd::cancel);
    connect(m_win, &ProsmAddWin::snBack, this, &ProsmAdd::back);
    m_win->hideRecordButton();
    m_win->setCaseText(caseText);
    m_win->showHelp(helpText);

    m_number = recordNumber < 0 ? -1 : recordNumber;
    if (m_number >= 0) {
        if (!readRec(file, table, m_number, m_loaded)) {
            showMessage(
                IconWarning, toUi(table.pname) + QStringLiteral(".Изменение."), QStringLiteral("Ошибка чтения"));
            QMetaObject::invokeMethod(this, &ProsmAdd::back, Qt::QueuedConnection);
            return false;
        }
    } else {
        // A record given shorter than the table's is completed with the field defaults rather
        // than with whatever the buffer held.
        m_loaded = initialRecord.left(table.recordLength);
        if (m_loaded.size() < table.recordLength)
            m_loaded += defaultRecord(table).mid(m_loaded.size());
        m_loaded.resize(table.recordLength);
    }
    cancel();
    showScreen(m_win);
    return true;
}

void ProsmAdd::cancel()
{
    if (!m_win)
        return;
    QTableWidget* table = m_win->table();
    closeOpenEditor(table, false);
    m_edit = m_loaded;
    if (m_number >= 0) {
        // The record stands in the bottom row of its page, or higher near the start.
        m_top = qMax(0, m_number - m_rows + 1);
        seeFrom(m_file, *m_table, m_top, table, *m_view, qMax(0, qMin(m_count - m_top, m_rows)), m_win->scrollBar(),
            m_guard);
        m_editRow = m_number - m_top;
        // The row shows the record as loaded even when the count the opener gave is behind the file.
        fillRow(table, m_editRow, m_edit, *m_table, *m_view);
    } else {
        // The new record appears below the last records of the table.
        m_top = qMax(0, m_count - m_rows + 1);
        const int filled = qMin(m_count, m_rows - 1);
        seeFrom(m_file, *m_table, m_top, table, *m_view, filled, m_win->scrollBar(), m_guard);
        m_editRow = filled;
        fillRow(table, m_editRow, m_edit, *m_table, *m_view);
    }
    setEditRow(table, m_editRow);
    m_win->startRowEdit(m_editRow);
}

void ProsmAdd::caseRec()
{
    if (!m_win)
        return;
    closeOpenEditor(m_win->table(), true);
    const bool adding = m_number < 0;
    logLine(adding ? QByteArrayLiteral("addNewRec") : QByteArrayLiteral("chgOldRec"));
    if (!save())
        return;
    const qint32 saved = m_number;
    destroyWindow();
    emit snCaseRec(saved);
}

bool ProsmAdd::save()
{
    const bool adding = m_number < 0;
    const QString title
        = toUi(m_table->pname) % (adding ? QStringLiteral(".Добавление.") : QStringLiteral(".Изменение."));
    const int bad = readRowBack(*m_table, *m_view, m_win->table(), m_editRow, m_edit);
    if (bad >= 0) {
        showMessage(IconWarning, title, QStringLiteral("Ошибка в колонке\n") + toUi(m_view->columns[bad].title));
        return false;
    }
    const bool written = adding ? appendRec(m_file, *m_table, m_edit) : putRec(m_file, *m_table, m_number, m_edit);
    if (!written) {
        showMessage(IconWarning, title, QStringLiteral("Ошибка сохранения"));
        return false;
    }
    if (adding) {
        m_count = m_table->recordCount;
        m_number = m_count - 1;
    }
    return true;
}

void ProsmAdd::back()
{
    if (!m_win)
        return;
    destroyWindow();
    emit snExit();
}

void ProsmAdd::destroyWindow()
{
    if (!m_win)
        return;
    m_win->hide();
    m_win->deleteLater();
    m_win = nullptr;
}
