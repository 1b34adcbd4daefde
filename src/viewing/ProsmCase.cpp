#include "ProsmCase.h"

#include "AppState.h"
#include "Codec.h"
#include "Dialogs.h"
#include "FieldCodec.h"
#include "ProsmCaseWin.h"
#include "ProsmHelpWin.h"
#include "ProsmTabWin.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "Search.h"
#include "TableBinding.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStringBuilder>
#include <QTableWidget>

namespace {

QByteArray numbers(std::initializer_list<qint64> values)
{
    QByteArray out;
    for (const qint64 v : values)
        out += ' ' + QByteArray::number(v);
    return out;
}

} // namespace

ProsmCase::ProsmCase(QObject* parent)
    : QObject(parent)
{
}

ProsmCase::~ProsmCase()
{
    // The opener may destroy the browser from inside a signal of the window, so the window goes
    // from the event loop.
    if (m_win) {
        m_win->hide();
        m_win->deleteLater();
    }
}

QWidget* ProsmCase::window() const
{
    return m_win;
}

void ProsmCase::mainTabFile(const QString& file, TableDescr& table, ViewDescr& view, const QString& title,
    const QString& caseText, const QString& deleteText, const QString& addText, const QString& backText,
    bool caseDisabled, bool deleteDisabled, bool addDisabled, qint32 startRecord, bool localDelete)
{
    logLine(QByteArrayLiteral("mainTabFile") + numbers({ startRecord }));
    openKind(KindFile, file, table, view, title,
        { caseText, deleteText, addText, backText, QString(), caseDisabled, deleteDisabled, addDisabled, localDelete },
        startRecord);
}

void ProsmCase::mainTabHelp(const QString& file, TableDescr& table, ViewDescr& view, const QString& title,
    const QString& caseText, const QString& deleteText, const QString& addText, const QString& backText,
    bool caseDisabled, bool deleteDisabled, bool addDisabled, qint32 startRecord, bool localDelete,
    const QString& helpText)
{
    logLine(QByteArrayLiteral("mainTabHelp") + numbers({ startRecord }));
    openKind(KindHelp, file, table, view, title,
        { caseText, deleteText, addText, backText, helpText, caseDisabled, deleteDisabled, addDisabled, localDelete },
        startRecord);
}

void ProsmCase::mainTabTab(const QString& file, TableDescr& table, ViewDescr& view, const QString& title,
    const QString& caseText, const QString& deleteText, const QString& addText, const QString& backText,
    bool caseDisabled, bool deleteDisabled, bool addDisabled, qint32 startRecord, bool localDelete)
{
    logLine(QByteArrayLiteral("mainTabTab") + numbers({ startRecord }));
    openKind(KindTab, file, table, view, title,
        { caseText, deleteText, addText, backText, QString(), caseDisabled, deleteDisabled, addDisabled, localDelete },
        startRecord);
}

void ProsmCase::openKind(WindowKind kind, const QString& file, TableDescr& table, ViewDescr& view, const QString& title,
    const Options& options, qint32 startRecord)
{
    if (m_win) {
        m_win->hide();
        m_win->deleteLater();
    }
    m_kind = kind;
    switch (kind) {
    case KindFile:
        m_win = new ProsmCaseWin;
        break;
    case KindHelp:
        m_win = new ProsmHelpWin;
        break;
    case KindTab:
        m_win = new ProsmTabWin;
        break;
    }
    m_tabWid = m_win->tabWid();
    m_scrollBar = m_win->scrollBar();
    m_case = m_win->caseButton();
    m_delete = m_win->deleteButton();
    m_add = m_win->addButton();
    m_back = m_win->backButton();

    logLine(QByteArrayLiteral("mainTabSet"));
    mainTabSet(file, table, view, title, options);
    logLine(QByteArrayLiteral("/mainTabSet"));
    logLine(QByteArrayLiteral("mainTabCall"));
    mainTabCall(table, startRecord);
    logLine(QByteArrayLiteral("/mainTabCall"));
}

void ProsmCase::mainTabSet(
    const QString& file, TableDescr& table, ViewDescr& view, const QString& title, const Options& options)
{
    m_setUp = true;
    m_file = file;
    m_table = &table;
    m_view = &view;
    m_title = title;
    m_caseDisabled = options.caseDisabled;
    m_deleteDisabled = options.deleteDisabled;
    m_addDisabled = options.addDisabled;
    m_localDelete = options.localDelete;

    if (m_caseDisabled && m_deleteDisabled && m_addDisabled) {
        // Nothing to choose, delete or add: the row of those buttons goes to the table.
        m_case->hide();
        m_delete->hide();
        m_add->hide();
        const int grow = m_case->height() + 4;
        m_tabWid->resize(m_tabWid->width(), m_tabWid->height() + grow);
        m_scrollBar->resize(m_scrollBar->width(), m_scrollBar->height() + grow);
        logLine(QByteArrayLiteral("mainTabFile:resize") + numbers({ m_tabWid->height(), m_scrollBar->height() }));
    } else {
        const auto setButton = [](QPushButton* button, const QString& text, bool disabled) {
            button->setText(text);
            button->setVisible(!text.isEmpty());
            button->setEnabled(!disabled);
        };
        setButton(m_case, options.caseText, m_caseDisabled);
        setButton(m_delete, options.deleteText, m_deleteDisabled);
        setButton(m_add, options.addText, m_addDisabled);
    }
    m_back->setText(options.backText);

    tabSetUp(m_tabWid, view, false);
    m_rows = view.rows;
    m_columns = static_cast<int>(view.columns.size());
    view.bind(table);
    m_tabWid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tabWid->setSelectionBehavior(QAbstractItemView::SelectRows);

    if (m_kind != KindTab)
        m_win->setWindowTitle(title);
    m_win->userTitle()->setText(title);
    m_win->userTitle()->setStyleSheet(QStringLiteral("color: white; background: blue"));

    if (m_kind == KindHelp) {
        auto* help = static_cast<ProsmHelpWin*>(m_win.data());
        help->Help->setPlainText(options.helpText);
        help->Help->setVisible(!options.helpText.isEmpty());
    }
    if (m_kind == KindFile)
        fillColumnChooser();
    connectWindow();
}

void ProsmCase::fillColumnChooser()
{
    auto* win = static_cast<ProsmCaseWin*>(m_win.data());
    QComboBox* chooser = win->ColHeader;
    m_barField = m_table->fieldIndex(QByteArrayLiteral("BAR"));
    m_codeField = m_table->fieldIndex(QByteArrayLiteral("CODE"));
    chooser->clear();
    m_itemFields.clear();
    m_itemColumns.clear();
    for (int c = 0; c < m_view->columns.size(); ++c) {
        const ColumnDescr& column = m_view->columns[c];
        if (column.shown != '+')
            continue;
        chooser->addItem(toUi(column.title));
        m_itemFields << column.fieldIndex;
        m_itemColumns << c;
    }
    m_combinedItem = -1;
    if (m_barField >= 0 && m_codeField >= 0) {
        chooser->addItem(QStringLiteral("Код(ШК)"));
        m_combinedItem = chooser->count() - 1;
        m_itemFields << -1;
        m_itemColumns << -1;
    }
    m_barColumn = m_barField >= 0 ? m_view->columnOfFieldIndex(m_barField, ColumnFilter::Shown) : -1;
    m_codeColumn = m_codeField >= 0 ? m_view->columnOfFieldIndex(m_codeField, ColumnFilter::Shown) : -1;
    m_combined = m_combinedItem >= 0;
    chooser->setCurrentIndex(m_combined ? m_combinedItem : 0);
    chooseDefaultSearch();
}

void ProsmCase::chooseDefaultSearch()
{
    if (m_barColumn >= 0) {
        m_searchField = m_barField;
        m_scrollColumn = m_barColumn;
    } else if (m_codeColumn >= 0) {
        m_searchField = m_codeField;
        m_scrollColumn = m_codeColumn;
    } else if (!m_itemFields.isEmpty()) {
        m_searchField = m_itemFields.first();
        m_scrollColumn = m_itemColumns.first();
    } else {
        m_searchField = -1;
        m_scrollColumn = -1;
    }
}

void ProsmCase::connectWindow()
{
    ProsmBrowserWin* win = m_win;
    connect(win, &ProsmBrowserWin::snUp, this, &ProsmCase::up);
    connect(win, &ProsmBrowserWin::snDown, this, &ProsmCase::down);
    connect(win, &ProsmBrowserWin::snValueChanged, this, &ProsmCase::valueChanged);
    connect(win, &ProsmBrowserWin::snCellClicked, this, &ProsmCase::cellClicked);
    connect(win, &ProsmBrowserWin::snCaseRec, this, &ProsmCase::caseRec);
    connect(win, &ProsmBrowserWin::snDeleteRec, this, &ProsmCase::deleteRec);
    connect(win, &ProsmBrowserWin::snAddRec, this, &ProsmCase::addRec);
    connect(win, &ProsmBrowserWin::snBack, this, &ProsmCase::back);
    if (m_kind != KindFile)
        return;
    auto* file = static_cast<ProsmCaseWin*>(win);
    connect(file, &ProsmCaseWin::snColChanged, this, &ProsmCase::colChanged);
    connect(file, &ProsmCaseWin::snHome, this, &ProsmCase::home);
    connect(file, &ProsmCaseWin::snEnd, this, &ProsmCase::end);
    connect(file, &ProsmCaseWin::snPgUp, this, &ProsmCase::pgUp);
    connect(file, &ProsmCaseWin::snSearch, this, &ProsmCase::search);
    connect(file, &ProsmCaseWin::snPgDown, this, &ProsmCase::pgDown);
    connect(file, &ProsmCaseWin::snBarRead, this, &ProsmCase::barRead);
}

void ProsmCase::mainTabCall(const TableDescr& table, qint32 startRecord)
{
    m_count = qMax(0, table.recordCount);
    scrollBarSetUp(m_scrollBar, *m_view, m_count);
    m_guard = false;
    // A start beyond the table would put the cursor on a row that shows no record.
    m_current = m_count > 0 ? qBound(0, startRecord, m_count - 1) : -1;
    m_top = -1;
    seeRecCur();
    if (m_count > 0) {
        m_chosen = m_current;
        selectCurrentRow();
        setChoice(true);
    } else {
        m_chosen = -1;
        m_currentRow = -1;
        selectCurrentRow();
        setChoice(false);
    }
    if (m_kind == KindFile)
        static_cast<ProsmCaseWin*>(m_win.data())->ColText->setFocus();
    m_guard = true;
    showScreen(m_win);
    m_guard = false;
    // The help kind keeps the flag: its window is the opener's to destroy, with the browser.
    if (m_kind != KindHelp)
        m_setUp = false;
}

void ProsmCase::seeRecCur()
{
    if (m_count <= m_rows) {
        m_top = 0;
    } else if (m_top != -1) {
        if (m_current < m_top)
            m_top = m_current;
        else if (m_current - m_top >= m_rows)
            m_top = qMax(0, m_current - m_rows + 1);
    } else if (m_count - m_current < m_rows) {
        m_top = m_count - m_rows;
    } else {
        m_top = m_current;
    }
    // Never a page that starts before the table or runs past its end.
    m_top = qBound(0, m_top, qMax(0, m_count - m_rows));
    logLine(QByteArrayLiteral("seeRecCur") + numbers({ m_count, m_current, m_top, m_rows }));
    seeFrom(m_file, *m_table, m_top, m_tabWid, *m_view, qMin(m_count - m_top, m_rows), m_scrollBar, m_guard);
    m_currentRow = m_current >= 0 && m_current < m_count ? m_current - m_top : -1;
}

void ProsmCase::selectCurrentRow()
{
    const bool wasGuarded = m_guard;
    m_guard = true;
    selCurRow(m_tabWid, m_currentRow);
    m_guard = wasGuarded;
}

void ProsmCase::setChoice(bool chosen)
{
    m_case->setEnabled(chosen && !m_caseDisabled);
    m_delete->setEnabled(chosen && !m_deleteDisabled);
}

void ProsmCase::pageMove(qint32 current)
{
    m_current = current;
    seeRecCur();
    selectCurrentRow();
    m_chosen = -1;
    setChoice(false);
}

void ProsmCase::home()
{
    if (m_win)
        pageMove(0);
}

void ProsmCase::end()
{
    if (m_win)
        pageMove(m_count - 1);
}

// A page move keeps one record of the previous page in view.
void ProsmCase::pgUp()
{
    if (m_win)
        pageMove(qMax(0, m_current - qMax(1, m_rows - 1)));
}

void ProsmCase::pgDown()
{
    if (m_win)
        pageMove(qMin(m_count - 1, m_current + qMax(1, m_rows - 1)));
}

void ProsmCase::up()
{
    if (!m_win)
        return;
    // With no current record (a click below the last one) the cursor goes to the first record.
    if (m_current < 0 || m_current >= m_count)
        m_current = m_count > 0 ? 0 : -1;
    else if (m_current > 0)
        --m_current;
    seeRecCur();
    selectCurrentRow();
    if (m_currentRow >= 0) {
        m_chosen = m_current;
        setChoice(true);
    }
}

void ProsmCase::down()
{
    if (!m_win)
        return;
    if (m_current < 0 || m_current >= m_count)
        m_current = m_count > 0 ? 0 : -1;
    else if (m_current < m_count - 1)
        ++m_current;
    seeRecCur();
    selectCurrentRow();
    if (m_currentRow >= 0) {
        m_chosen = m_current;
        setChoice(true);
    }
}

void ProsmCase::valueChanged(int value)
{
    logLine(QByteArrayLiteral("valueChanged") + numbers({ value }) + " noValCha" + numbers({ m_guard }));
    if (m_guard || !m_win)
        return;
    logLine(QByteArrayLiteral("vi") + numbers({ value }));
    if (m_count <= m_rows)
        m_top = 0;
    else if (m_count - value < m_rows)
        m_top = m_count - m_rows;
    else
        m_top = qMax(0, value);
    seeFrom(m_file, *m_table, m_top, m_tabWid, *m_view, qMin(m_count - m_top, m_rows), m_scrollBar, m_guard);
    m_currentRow = -1;
    selectCurrentRow();
    m_chosen = -1;
    setChoice(false);
}

void ProsmCase::cellClicked(int row, int column)
{
    if (m_guard || !m_win || row < 0)
        return;
    logLine(QByteArrayLiteral("cellClicked") + numbers({ row, column }));
    if (row < m_rows && m_top + row < m_count) {
        m_currentRow = row;
        m_current = m_top + row;
        m_chosen = m_current;
        setChoice(true);
    } else {
        // Below the last record: nothing is current or chosen.
        m_current = -1;
        m_chosen = -1;
        m_currentRow = -1;
        setChoice(false);
    }
    selectCurrentRow();
}

void ProsmCase::colChanged(int item)
{
    logLine(QByteArrayLiteral("col") + numbers({ item }));
    if (!m_win || m_kind != KindFile || item < 0 || item >= m_itemFields.size())
        return;
    if (item != m_combinedItem) {
        m_combined = false;
        m_searchField = m_itemFields[item];
        m_scrollColumn = m_itemColumns[item];
    } else {
        chooseDefaultSearch();
        m_combined = true;
    }
    if (m_scrollColumn >= 0)
        m_tabWid->horizontalScrollBar()->setValue(m_tabWid->horizontalHeader()->sectionPosition(m_scrollColumn));
    QLineEdit* text = static_cast<ProsmCaseWin*>(m_win.data())->ColText;
    text->selectAll();
    text->setFocus();
    m_chosen = -1;
    setChoice(false);
}

qint32 ProsmCase::scanField(int fieldIndex, const QByteArray& key, qint32 compareWidth)
{
    const FieldDescr& field = m_table->fields[fieldIndex];
    QByteArray record;
    return blockSearchFrom(m_file, m_table->recordLength, 0, field.offset, compareWidth, key, record);
}

void ProsmCase::search()
{
    if (!m_win || m_kind != KindFile)
        return;
    QLineEdit* input = static_cast<ProsmCaseWin*>(m_win.data())->ColText;
    const QByteArray text = fromUi(input->text());
    const QByteArray trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        input->setFocus();
        return;
    }

    // Every search starts at the first record; there is no search-next.
    qint32 found = -1;
    bool badPattern = false;
    const QList<FieldDescr>& fields = m_table->fields;
    if (m_combined && m_codeField >= 0 && m_barField >= 0 && trimmed.size() <= fields[m_codeField].length) {
        QByteArray code, bar;
        if (!textToFieldBytes(fields[m_codeField], text, code) || !textToFieldBytes(fields[m_barField], text, bar)) {
            badPattern = true;
        } else {
            const qint32 codeWidth = fields[m_codeField].width;
            const qint32 barWidth = fields[m_barField].width;
            switch (static_cast<SearchOrder>(appState().user.vvod.searchOrder)) {
            case SearchOrder::CodeThenBar:
                found = scanField(m_codeField, code, codeWidth);
                if (found < 0)
                    found = scanField(m_barField, bar, barWidth);
                break;
            case SearchOrder::BarThenCode:
                found = scanField(m_barField, bar, barWidth);
                if (found < 0)
                    found = scanField(m_codeField, code, codeWidth);
                break;
            case SearchOrder::CodeOnly:
            default:
                found = scanField(m_codeField, code, codeWidth);
                break;
            }
            m_pattern = code;
        }
    } else {
        // Also a text longer than a code under the combined item: that item searches the barcode
        // only while the barcode column is shown, else the code column, else its first item.
        const int fieldIndex = m_searchField;
        if (fieldIndex >= 0 && fieldIndex < fields.size()) {
            const FieldDescr& field = fields[fieldIndex];
            if (!textToFieldBytes(field, text, m_pattern)) {
                badPattern = true;
            } else {
                // Text and digit fields match by their beginning, every other type whole.
                qint32 width = field.width;
                if (field.type == FieldType::Text || field.type == FieldType::Digit)
                    width = static_cast<qint32>(qMin<qsizetype>(trimmed.size(), field.width));
                found = scanField(fieldIndex, m_pattern, width);
            }
        }
    }

    if (badPattern) {
        searchFailed(QStringLiteral("Неправильный\nобразец поиска"));
        return;
    }
    if (found < 0) {
        searchFailed(QStringLiteral("Запись не найдена"));
        return;
    }
    m_current = found;
    m_chosen = found;
    setChoice(true);
    seeRecCur();
    selectCurrentRow();
}

void ProsmCase::searchFailed(const QString& text)
{
    showMessage(IconWarning, m_title, text);
    if (!m_win)
        return;
    m_chosen = -1;
    setChoice(false);
    QLineEdit* input = static_cast<ProsmCaseWin*>(m_win.data())->ColText;
    input->selectAll();
    input->setFocus();
}

void ProsmCase::barRead(const QString& barcode)
{
    if (!m_win || m_kind != KindFile)
        return;
    QLineEdit* input = static_cast<ProsmCaseWin*>(m_win.data())->ColText;
    input->setText(barcode);
    input->selectAll();
    search();
}

void ProsmCase::caseRec()
{
    if (!m_win || m_caseDisabled || m_chosen < 0)
        return;
    logLine(QByteArrayLiteral("caseRec") + numbers({ m_chosen }));
    const qint32 chosen = m_chosen;
    destroyWindow();
    emit snCaseRec(chosen);
}

void ProsmCase::deleteRec()
{
    logLine(QByteArrayLiteral("deleteRec"));
    if (!m_win || m_deleteDisabled || m_chosen < 0)
        return;
    if (!m_localDelete) {
        emit snDelRec(m_chosen);
        return;
    }
    QByteArray deleted;
    if (!::deleteRec(m_file, *m_table, m_chosen, deleted)) {
        showMessage(
            IconWarning, toUi(m_table->pname) + QStringLiteral(".Удаление."), QStringLiteral("Ошибка удаления"));
        // The list is redrawn from the file as it now is.
        m_table->recordCount = recordCountOf(m_file, *m_table);
        if (!m_win)
            return;
    }
    m_count = m_table->recordCount;
    if (m_current >= m_count)
        m_current = m_count - 1;
    m_top = -1;
    logLine(QByteArrayLiteral("delete") + numbers({ m_count, m_current, m_top, m_rows }));
    seeRecCur();
    if (m_count > 0) {
        m_chosen = m_current;
    } else {
        m_chosen = -1;
        m_currentRow = -1;
        setChoice(false);
    }
    selectCurrentRow();
}

void ProsmCase::addRec()
{
    if (!m_win || m_addDisabled)
        return;
    destroyWindow();
    emit snAddRec();
}

void ProsmCase::back()
{
    if (!m_win)
        return;
    destroyWindow();
    emit snExit();
}

void ProsmCase::destroyWindow()
{
    if (m_setUp || !m_win)
        return;
    // The window is still inside the signal that brought us here: it goes from the event loop.
    m_win->hide();
    m_win->deleteLater();
    m_win = nullptr;
}
