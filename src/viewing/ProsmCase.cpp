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
#include "ScanFeed.h"
#include "Search.h"
#include "TableBinding.h"

#include <QScrollBar>
#include <QStringBuilder>
#include <QTableWidget>

#include <algorithm>

namespace {

// What a search returns when the whole file was read and nothing matched.
constexpr qint32 NotFound = -1;

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
    // Only the wait this browser asked for shows on it.
    connect(&ScanFeed::instance(), &ScanFeed::waitChanged, this, [this](bool waiting) {
        if (waiting || !m_scanWaiting)
            return;
        m_scanWaiting = false;
        if (ProsmCaseWin* win = searchWin())
            win->setScanWaiting(false);
    });
}

ProsmCase::~ProsmCase()
{
    ScanFeed::instance().release(this);
    if (m_scanWaiting)
        ScanFeed::instance().endWait();
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

void ProsmCase::mainTabFile(
    const QString& file, TableDescr& table, ViewDescr& view, const QString& title, const Options& options)
{
    logLine(QByteArrayLiteral("mainTabFile") + numbers({ options.startRecord }));
    openKind(KindFile, file, table, view, title, options);
}

void ProsmCase::mainTabHelp(
    const QString& file, TableDescr& table, ViewDescr& view, const QString& title, const Options& options)
{
    logLine(QByteArrayLiteral("mainTabHelp") + numbers({ options.startRecord }));
    openKind(KindHelp, file, table, view, title, options);
}

void ProsmCase::mainTabTab(
    const QString& file, TableDescr& table, ViewDescr& view, const QString& title, const Options& options)
{
    logLine(QByteArrayLiteral("mainTabTab") + numbers({ options.startRecord }));
    openKind(KindTab, file, table, view, title, options);
}

void ProsmCase::openKind(WindowKind kind, const QString& file, TableDescr& table, ViewDescr& view, const QString& title,
    const Options& options)
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
    case KindHelp: {
        auto* help = new ProsmHelpWin;
        help->showHelp(options.helpText);
        m_win = help;
        break;
    }
    case KindTab:
        m_win = new ProsmTabWin;
        break;
    }

    logLine(QByteArrayLiteral("mainTabSet"));
    mainTabSet(file, table, view, title, options);
    logLine(QByteArrayLiteral("/mainTabSet"));
    logLine(QByteArrayLiteral("mainTabCall"));
    mainTabCall(table, options.startRecord);
    logLine(QByteArrayLiteral("/mainTabCall"));
}

ProsmCaseWin* ProsmCase::searchWin() const
{
    return m_kind == KindFile ? qobject_cast<ProsmCaseWin*>(m_win.data()) : nullptr;
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

    m_win->setButtonTexts(options.caseText, options.deleteText, options.addText, options.backText);
    m_win->setAddEnabled(!m_addDisabled);
    if (m_caseDisabled && m_deleteDisabled && m_addDisabled) {
        // Nothing to choose, delete or add: the row of those buttons goes to the table.
        m_win->giveButtonRowToTable();
        logLine(QByteArrayLiteral("mainTabFile:resize")
            + numbers({ m_win->table()->height(), m_win->scrollBar()->height() }));
    }

    tabSetUp(m_win->table(), view, false);
    m_rows = view.rows;
    m_columns = static_cast<int>(view.columns.size());
    view.bind(table);
    m_win->setNameColumn(fitColumns(m_win->table(), table, view));
    m_win->setBrowseOnly();

    if (m_kind != KindTab)
        m_win->setWindowTitle(title);
    m_win->setTitle(title);

    if (ProsmCaseWin* win = searchWin())
        fillColumnChooser(win);
    connectWindow();
}

void ProsmCase::fillColumnChooser(ProsmCaseWin* win)
{
    m_barField = m_table->fieldIndex(QByteArrayLiteral("BAR"));
    m_codeField = m_table->fieldIndex(QByteArrayLiteral("CODE"));
    QStringList items;
    m_itemFields.clear();
    m_itemColumns.clear();
    m_itemTitles.clear();
    for (int c = 0; c < m_view->columns.size(); ++c) {
        const ColumnDescr& column = m_view->columns[c];
        if (column.shown != '+')
            continue;
        items << toUi(column.title);
        m_itemTitles << items.last();
        m_itemFields << column.fieldIndex;
        m_itemColumns << c;
    }
    m_combinedItem = -1;
    if (m_barField >= 0 && m_codeField >= 0) {
        items << QStringLiteral("Код(ШК)");
        m_combinedItem = static_cast<int>(items.size()) - 1;
        m_itemFields << -1;
        m_itemColumns << -1;
    }
    m_barColumn = m_barField >= 0 ? m_view->columnOfFieldIndex(m_barField, ColumnFilter::Shown) : -1;
    m_codeColumn = m_codeField >= 0 ? m_view->columnOfFieldIndex(m_codeField, ColumnFilter::Shown) : -1;
    m_combined = m_combinedItem >= 0;
    win->setSearchItems(items, m_combined ? m_combinedItem : 0);
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
    ProsmCaseWin* file = searchWin();
    if (!file)
        return;
    connect(file, &ProsmCaseWin::snColChanged, this, &ProsmCase::colChanged);
    connect(file, &ProsmCaseWin::snHome, this, &ProsmCase::home);
    connect(file, &ProsmCaseWin::snEnd, this, &ProsmCase::end);
    connect(file, &ProsmCaseWin::snPgUp, this, &ProsmCase::pgUp);
    connect(file, &ProsmCaseWin::snSearch, this, &ProsmCase::search);
    connect(file, &ProsmCaseWin::snPgDown, this, &ProsmCase::pgDown);
    connect(file, &ProsmCaseWin::snScan, this, &ProsmCase::scan);
    connect(file, &ProsmCaseWin::snScanCancel, &ScanFeed::instance(), &ScanFeed::endWait);
}

void ProsmCase::mainTabCall(const TableDescr& table, qint32 startRecord)
{
    m_count = qMax(0, table.recordCount);
    scrollBarSetUp(m_win->scrollBar(), *m_view, m_count);
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
    if (ProsmCaseWin* win = searchWin())
        win->focusSearch();
    m_guard = true;
    showScreen(m_win);
    m_guard = false;
    // Codes from the scanner arrive by themselves and are searched for while the search row is
    // in front.
    if (searchWin())
        ScanFeed::instance().claim(
            this,
            [this] {
                const ProsmCaseWin* win = searchWin();
                return win && win->isVisible();
            },
            [this](const QString& text) { barRead(text); });
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
    seeFrom(
        m_file, *m_table, m_top, m_win->table(), *m_view, qMin(m_count - m_top, m_rows), m_win->scrollBar(), m_guard);
    m_currentRow = m_current >= 0 && m_current < m_count ? m_current - m_top : -1;
}

void ProsmCase::selectCurrentRow()
{
    const bool wasGuarded = m_guard;
    m_guard = true;
    selCurRow(m_win->table(), m_currentRow);
    m_guard = wasGuarded;
}

void ProsmCase::setChoice(bool chosen)
{
    m_win->setChoiceEnabled(chosen && !m_caseDisabled, chosen && !m_deleteDisabled);
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
    seeFrom(
        m_file, *m_table, m_top, m_win->table(), *m_view, qMin(m_count - m_top, m_rows), m_win->scrollBar(), m_guard);
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
    ProsmCaseWin* win = searchWin();
    if (!win || item < 0 || item >= m_itemFields.size())
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
        win->scrollToColumn(m_scrollColumn);
    win->selectSearchText();
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
    ProsmCaseWin* win = searchWin();
    if (!win)
        return;
    const QByteArray text = fromUi(win->searchText());
    const QByteArray trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        win->focusSearch();
        return;
    }

    // Every search starts at the first record; there is no search-next.
    qint32 found = NotFound;
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
                if (found == NotFound)
                    found = scanField(m_barField, bar, barWidth);
                break;
            case SearchOrder::BarThenCode:
                found = scanField(m_barField, bar, barWidth);
                if (found == NotFound)
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
        searchFailed(badPatternText(toUi(trimmed)));
        return;
    }
    if (found == SearchFileError) {
        searchFailed(QStringLiteral("Ошибка чтения\nфайла"));
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

QString ProsmCase::badPatternText(const QString& text) const
{
    const QString refused = QStringLiteral("Неправильный\nобразец поиска");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); }))
        return refused;
    // Letters can only be found under a text item: the operator is told which one to choose.
    for (int i = 0; i < m_itemFields.size(); ++i) {
        const int field = m_itemFields[i];
        if (field >= 0 && m_table->fields[field].type == FieldType::Text)
            return refused + QStringLiteral(".\nДля букв выберите\n«") + m_itemTitles[i] + QStringLiteral("»");
    }
    return refused;
}

void ProsmCase::searchFailed(const QString& text)
{
    showMessage(IconWarning, m_title, text);
    ProsmCaseWin* win = searchWin();
    if (!win)
        return;
    m_chosen = -1;
    setChoice(false);
    win->selectSearchText();
}

void ProsmCase::barRead(const QString& barcode)
{
    ProsmCaseWin* win = searchWin();
    if (!win)
        return;
    win->setSearchText(barcode);
    search();
}

void ProsmCase::scan()
{
    ProsmCaseWin* win = searchWin();
    // The next code that arrives is searched for; until then the window says so and stays usable.
    if (!win || !ScanFeed::instance().startWait())
        return;
    m_scanWaiting = true;
    win->setScanWaiting(true);
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
    ScanFeed::instance().release(this);
    if (m_scanWaiting)
        ScanFeed::instance().endWait();
    // The window is still inside the signal that brought us here: it goes from the event loop.
    m_win->hide();
    m_win->deleteLater();
    m_win = nullptr;
}
