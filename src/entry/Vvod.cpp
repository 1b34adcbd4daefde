#include "Vvod.h"

#include "AppState.h"
#include "Codec.h"
#include "CopyChooser.h"
#include "Cue.h"
#include "DescrRegistry.h"
#include "Dialogs.h"
#include "FieldCodec.h"
#include "FileIo.h"
#include "FileList.h"
#include "Index.h"
#include "ProsmAdd.h"
#include "ProsmBrowserWin.h"
#include "ProsmCase.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "ScanFeed.h"
#include "Search.h"
#include "TableFiles.h"
#include "Units.h"
#include "VvodRecWin.h"
#include "VvodWin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringBuilder>
#include <QtEndian>

#include <limits>

namespace {

const QString EntryTitle = QStringLiteral("Ввод данных");
const QString BadCode = QStringLiteral("Неправильный ШК/Код");
const QString NoItem = QStringLiteral("Товар отсутствует");
// Receiving: the goods exist, the receipt does not list them.
const QString NotOnReceipt = QStringLiteral("Нет в накладной");
// Longest code the entry line takes.
constexpr int MaxCodeChars = 32;
// A quantity with this many integer digits is more likely a code typed by a keyboard scanner.
constexpr int SuspectQuantityDigits = 6;
// With this many integer digits it can only be a code: the largest quantity has seven.
constexpr int CodeDigits = 8;
const QString ConfirmQuantity = QStringLiteral("Подтвердите количество");

const VvodSettings& vvodSettings()
{
    return appState().user.vvod;
}

QByteArray fieldText(const TableDescr& table, int field, const QByteArray& record)
{
    if (field < 0 || field >= table.fields.size())
        return QByteArray();
    return fieldToText(table.fields[field], record).trimmed();
}

// Hundredths as "12.50", in 64 bits: a price times a large quantity passes 32 bits.
QByteArray amountText(qint64 hundredths)
{
    const bool negative = hundredths < 0;
    const quint64 v = negative ? quint64(0) - quint64(hundredths) : quint64(hundredths);
    QByteArray cents = QByteArray::number(v % 100);
    if (cents.size() < 2)
        cents.prepend('0');
    return (negative ? QByteArrayLiteral("-") : QByteArray()) + QByteArray::number(v / 100) + '.' + cents;
}

QByteArray quantityText(qint64 thousandths)
{
    const bool negative = thousandths < 0;
    const quint64 v = negative ? quint64(0) - quint64(thousandths) : quint64(thousandths);
    QByteArray part = QByteArray::number(v % 1000);
    while (part.size() < 3)
        part.prepend('0');
    return (negative ? QByteArrayLiteral("-") : QByteArray()) + QByteArray::number(v / 1000) + '.' + part;
}

// The quantity as the entry line shows it: no trailing zeros ("1", "1.5").
QString editableQuantity(qint32 thousandths)
{
    return toUi(minimalDecimal(formatQuantity(thousandths)));
}

bool hasControlBytes(const QByteArray& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

int askBox(const QString& title, const QString& text, const QString& first, const QString& second)
{
    return askChoice(title, text, first, second);
}

// Why the quantity line's text cannot be taken as a quantity (empty when it can; value then holds
// it in thousandths). The reasons are short enough for the panel's title line.
QString quantityProblem(const QByteArray& text, qint32& value)
{
    if (text.isEmpty())
        return QStringLiteral("Введите количество");
    if (text.startsWith('-'))
        return QStringLiteral("Количество меньше нуля");
    qsizetype points = 0;
    for (const char c : text) {
        if (c == '.')
            ++points;
        else if (c < '0' || c > '9')
            return QStringLiteral("В количестве только цифры");
    }
    if (points > 1)
        return QStringLiteral("Неверное количество");
    const qsizetype point = text.indexOf('.');
    const qsizetype whole = point < 0 ? text.size() : point;
    if (whole == 0)
        return QStringLiteral("Неверное количество");
    if (point >= 0 && text.size() - point - 1 > 3)
        return QStringLiteral("Не больше 3 знаков после запятой");
    if (whole >= CodeDigits)
        return point < 0 ? QStringLiteral("Это штрихкод, не количество") : QStringLiteral("Слишком большое количество");
    value = quantityOrMinusOne(text);
    return value < 0 ? QStringLiteral("Слишком большое количество") : QString();
}

// The new item's keys go straight into the index files, so its next scan is an index hit instead
// of a goods scan and a rebuild. Only an index that covers every earlier record is extended.
void appendToIndexes(const QString& goodsFile, const TableDescr& goods, qint32 record, const QByteArray& bytes)
{
    for (const KeyRole role : { KeyRole::Bar, KeyRole::Code }) {
        const int field = keyFieldIndex(goods, role);
        if (field < 0)
            continue;
        const FieldDescr& f = goods.fields[field];
        QFile index(indexFileName(goodsFile, role));
        if (!index.exists() || index.size() != qint64(record) * f.width)
            continue;
        if (!index.open(QIODevice::Append) || index.write(bytes.mid(f.offset, f.width)) != f.width || !index.flush())
            logLine(QByteArrayLiteral("vvAddRec:index ") + QFile::encodeName(index.fileName()));
    }
}

} // namespace

Vvod::Vvod(QObject* parent)
    : QObject(parent)
    , m_copies(new CopyChooser(this))
{
    connect(m_copies, &CopyChooser::chosen, this, &Vvod::fileChosen);
    connect(m_copies, &CopyChooser::back, this, &Vvod::fileChoiceBack);
    connect(m_copies, &CopyChooser::failed, this, &Vvod::handBack);
    // Only the wait this panel asked for shows on it.
    connect(&ScanFeed::instance(), &ScanFeed::waitChanged, this, [this](bool waiting) {
        if (!waiting && m_scanWaiting) {
            m_scanWaiting = false;
            if (m_win)
                m_win->setScanWaiting(false);
        }
    });
}

Vvod::~Vvod()
{
    ScanFeed::instance().release(this);
    delete m_chooser;
    delete m_editor;
    delete m_copies;
    delete m_win;
}

VvodPanelWin* Vvod::panel() const
{
    return m_win;
}

ProsmCase* Vvod::chooser() const
{
    return m_chooser ? m_chooser.data() : m_copies->chooser();
}

ProsmAdd* Vvod::editor() const
{
    return m_editor ? m_editor.data() : m_copies->editor();
}

QString Vvod::resultName() const
{
    return toUi(m_res->pname);
}

QString Vvod::sourceName() const
{
    return toUi(m_src->pname);
}

bool Vvod::pickTables()
{
    DescrRegistry& registry = descrRegistry();
    m_receipt = appState().receiptMode();
    const QByteArray source = m_receipt ? QByteArrayLiteral("PRH") : QByteArrayLiteral("TVR");
    m_src = registry.table(source);
    m_res = registry.table(QByteArrayLiteral("RES"));
    m_tab = registry.table(QByteArrayLiteral("TAB"));
    m_wgt = registry.table(QByteArrayLiteral("WGT"));
    m_srcAddView = registry.view(source, fromUi(QStringLiteral("ДОБАВЛЕНИЕ")));
    m_resView = registry.view(QByteArrayLiteral("RES"), fromUi(QStringLiteral("ВВОД")));
    m_resCaseView = registry.view(QByteArrayLiteral("RES"), fromUi(QStringLiteral("ВЫБОР")));
    m_tabView = registry.view(QByteArrayLiteral("TAB"), fromUi(QStringLiteral("ПРОСМОТР")));
    m_srcCaseView = registry.view(source, fromUi(QStringLiteral("ПРОСМОТР")));
    if (m_wgt && m_wgt->recordLength <= 0)
        m_wgt = nullptr;
    return m_src && m_res;
}

bool Vvod::settingsComplete()
{
    const auto field = [](const TableDescr& t, const char* name) { return t.fieldIndex(QByteArray(name)); };
    m_srcBar = field(*m_src, "BAR");
    m_srcCode = field(*m_src, "CODE");
    if (m_srcBar < 0)
        m_srcBar = m_srcCode;
    if (m_srcCode < 0)
        m_srcCode = m_srcBar;
    m_srcPrice = field(*m_src, "PRICE");
    m_srcName = field(*m_src, "NAME");
    m_resBar = field(*m_res, "BAR");
    m_resCode = field(*m_res, "CODE");
    m_resName = field(*m_res, "NAME");
    m_resPrice = field(*m_res, "PRICE");
    m_resRest = field(*m_res, "REST");
    if (m_srcPrice >= 0 && m_src->fields[m_srcPrice].type != FieldType::Summa)
        m_srcPrice = -1;
    if (m_resPrice >= 0 && m_res->fields[m_resPrice].type != FieldType::Summa)
        m_resPrice = -1;
    const bool onDocument = appState().user.programm.enOnDocument;
    return tableLayoutOk(*m_src) && tableLayoutOk(*m_res) && m_resRest >= 0
        && m_res->fields[m_resRest].type == FieldType::Quantity && m_srcBar >= 0 && (m_resBar >= 0 || m_resCode >= 0)
        && m_srcCaseView && m_srcAddView && m_resView && m_resCaseView
        && (!onDocument || (m_tab && m_tabView && tableLayoutOk(*m_tab)));
}

void Vvod::vvMainMainCall()
{
    if (m_active)
        return;
    m_active = true;
    logLine(QByteArrayLiteral("vvMainMainCall"));
    const bool picked = pickTables();
    if (picked) {
        m_pnames[StepSource] = m_src->pname;
        m_pnames[StepResult] = m_res->pname;
        m_pnames[StepWeight] = m_wgt ? m_wgt->pname : QByteArray();
    }
    if (!picked || !settingsComplete()) {
        logLine(QByteArrayLiteral("vvMainMainCall: tables incomplete"));
        showMessage(IconCritical, EntryTitle, QStringLiteral("Неполное описание\nтаблиц в OrtSystem.ini"));
        handBack();
        return;
    }
    const QString work = toUi(appState().workDir);
    const ShowFn show = [](int icon, const QString& title, const QString& text) { showMessage(icon, title, text); };
    if (!checkFolder(work, QStringLiteral("Нет рабочей папки"), QStringLiteral("Ввод"), askBox, show)
        || !QDir::setCurrent(work)) {
        handBack();
        return;
    }
    m_srcFile = resolveFileCase(binFileName(*m_src));
    m_resFile = resolveFileCase(binFileName(*m_res));
    m_wgtFile = m_wgt ? resolveFileCase(binFileName(*m_wgt)) : QString();
    if (appState().user.programm.enOnDocument)
        chooseFile(StepSource);
    else
        panelStart();
}

void Vvod::vvMainMainSet()
{
    if (m_active)
        return;
    logLine(QByteArrayLiteral("vvMainMainSet"));
    // Tables, mode and files are bound afresh at each start from the settings in force; what
    // outlives a run is where the item chooser reopens, and a record number of the former goods
    // table means nothing in the new one.
    m_lastChosen = 0;
}

// ---- Leaving ------------------------------------------------------------------------------

void Vvod::handBack()
{
    ScanFeed::instance().release(this);
    if (m_scanWaiting)
        ScanFeed::instance().endWait();
    m_copies->close();
    closeChooser();
    closeEditor();
    if (m_win) {
        m_win->hide();
        m_win->deleteLater();
    }
    m_win = nullptr;
    m_tableWin = nullptr;
    m_recWin = nullptr;
    m_book.close();
    m_weights.clear();
    m_awaiting = false;
    m_mode = WriteNone;
    if (m_tab && m_tab->recordLength > 0)
        removeFileList(*m_tab);
    // A copy's number belongs to this session: later titles and the exchange logs name the table.
    if (m_src && !m_pnames[StepSource].isEmpty())
        m_src->pname = m_pnames[StepSource];
    if (m_res && !m_pnames[StepResult].isEmpty())
        m_res->pname = m_pnames[StepResult];
    if (m_wgt && !m_pnames[StepWeight].isEmpty())
        m_wgt->pname = m_pnames[StepWeight];
    m_selected = -1;
    m_lastBooked.clear();
    m_active = false;
    logLine(QByteArrayLiteral("vvWinExit"));
    appState().menuGate = true;
    emit returned();
}

void Vvod::vvWinExit()
{
    if (!m_win)
        return;
    // Escape and Enter stay with the item that awaits its quantity.
    if (m_awaiting
        && askChoice(EntryTitle, QStringLiteral("Количество не записано.\nВыйти?"), QStringLiteral("Выйти"),
               QStringLiteral("Остаться"), 1, 1)
            != 0) {
        m_win->editRest();
        return;
    }
    handBack();
}

void Vvod::closeChooser()
{
    if (!m_chooser)
        return;
    // The chooser may be inside one of its own signals: it goes from the event loop, and takes no
    // scan meanwhile.
    disconnect(m_chooser, nullptr, this, nullptr);
    ScanFeed::instance().release(m_chooser);
    m_chooser->deleteLater();
    m_chooser = nullptr;
}

void Vvod::closeEditor()
{
    if (!m_editor)
        return;
    disconnect(m_editor, nullptr, this, nullptr);
    m_editor->deleteLater();
    m_editor = nullptr;
}

void Vvod::reopenPanel()
{
    if (!m_win)
        return;
    m_win->setGuardOpen(true);
    m_win->raise();
    m_win->activateWindow();
}

bool Vvod::confirmDelete(const QString& title, const QString& text)
{
    // Escape and Enter keep the line.
    return askChoice(title, text, QStringLiteral("Да"), QStringLiteral("Нет"), 1, 1) == 0;
}

QByteArray Vvod::lineName(const QByteArray& record) const
{
    const QByteArray name = fieldText(*m_res, m_resName, record);
    if (!name.isEmpty())
        return name;
    const QByteArray bar = fieldText(*m_res, m_resBar, record);
    return bar.isEmpty() ? fieldText(*m_res, m_resCode, record) : bar;
}

// ---- File choice ---------------------------------------------------------------------------

DocKind Vvod::kindOf(FileStep step) const
{
    switch (step) {
    case StepSource:
        break;
    case StepWeight:
        return DocKind::WeightCodes;
    case StepResult:
        return DocKind::Results;
    }
    return m_receipt ? DocKind::Receipt : DocKind::Goods;
}

void Vvod::chooseFile(FileStep step)
{
    if (step == StepWeight && !m_wgt) {
        chooseFile(StepResult);
        return;
    }
    m_fileStep = step;
    CopyChooser::Options options;
    options.table = step == StepSource ? m_src : step == StepWeight ? m_wgt : m_res;
    options.kind = kindOf(step);
    options.list = m_tab;
    options.listView = m_tabView;
    options.numberView = m_tabView;
    CopyChooser::Texts& texts = options.texts;
    texts.title = texts.deleteTitle = EntryTitle;
    texts.listTitle = step == StepSource
        ? (m_receipt ? QStringLiteral("Выбор приходной накладной") : QStringLiteral("Выбор справочника товаров"))
        : step == StepWeight ? QStringLiteral("Выбор справочника вес.кодов")
                             : QStringLiteral("Выбор справочника остатков");
    texts.backText = step == StepWeight ? QStringLiteral("Дальше") : QStringLiteral("Назад");
    texts.numberTitle = toUi(m_tab->pname);
    texts.numberCaseText = QStringLiteral("Выбрать");
    texts.numberHelp = QStringLiteral("Заполните поле Номер\nи нажмите кнопку Выбрать");
    if (!m_copies->open(options))
        handBack();
}

void Vvod::fileChoiceBack()
{
    if (m_fileStep == StepWeight) {
        m_wgtFile.clear();
        chooseFile(StepResult);
        return;
    }
    handBack();
}

void Vvod::fileChosen(const QString& file, const QByteArray& number)
{
    logLine(QByteArrayLiteral("fileChosen ") + fromUi(file));
    // "Справочник остатков N 7": the table's own name, then the copy's number.
    TableDescr* table = m_fileStep == StepSource ? m_src : m_fileStep == StepWeight ? m_wgt : m_res;
    if (table && !number.isEmpty())
        table->pname = QByteArray(m_pnames[m_fileStep] + QByteArrayLiteral(" N ") + number).left(DescrNameMax);
    switch (m_fileStep) {
    case StepSource:
        m_srcFile = file;
        chooseFile(StepWeight);
        break;
    case StepWeight:
        m_wgtFile = file;
        chooseFile(StepResult);
        break;
    case StepResult:
        m_resFile = file;
        panelStart();
        break;
    }
}

// ---- The panel -----------------------------------------------------------------------------

void Vvod::panelStart()
{
    logLine(QByteArrayLiteral("vvMainTabSet"));
    if (!fileCheck()) {
        handBack();
        return;
    }
    loadWeightCodes();
    QString title = EntryTitle;
    if (m_receipt)
        title = receiptTitle();
    else if (appState().user.programm.enOnDocument)
        title += QLatin1Char('.') + resultName();
    if (vvodSettings().vvodPanel == 0) {
        m_tableWin = new VvodWin;
        m_win = m_tableWin;
        m_rows = m_tableWin->setUpTable(*m_resView, *m_res);
        m_resView->bind(*m_res);
        connect(m_tableWin, &VvodWin::snValCha, this, &Vvod::vvValCha);
        connect(m_tableWin, &VvodWin::snCellCli, this, &Vvod::vvCellCli);
        connect(m_tableWin, &VvodPanelWin::snStep, this, &Vvod::vvStep);
    } else {
        m_recWin = new VvodRecWin;
        m_win = m_recWin;
        m_rows = 0;
    }
    connect(m_win, &VvodPanelWin::snExit, this, &Vvod::vvWinExit);
    connect(m_win, &VvodPanelWin::snEsc, this, &Vvod::vvWinExit);
    connect(m_win, &VvodPanelWin::snBar, this, &Vvod::vvBarOk);
    connect(m_win, &VvodPanelWin::snRest, this, &Vvod::vvCntOk);
    connect(m_win, &VvodPanelWin::snCancel, this, &Vvod::vvCancel);
    connect(m_win, &VvodPanelWin::snSearch, this, &Vvod::vvCaseRec);
    connect(m_win, &VvodPanelWin::snScan, this, &Vvod::onScanKey);
    connect(m_win, &VvodPanelWin::snScanCancel, &ScanFeed::instance(), &ScanFeed::endWait);
    m_win->setTitle(title);
    showScreen(m_win);
    m_top = qMax<qint32>(0, m_book.count() - m_rows);
    m_current = -1;
    m_mode = WriteNone;
    clearEntry();
    refresh(Refresh::Redraw);
    m_win->setGuardOpen(true);
    // Codes from the scanner arrive by themselves and are taken as scans while the panel is in
    // front (a chooser over it claims them for itself).
    ScanFeed::instance().claim(
        this, [this] { return m_win && m_win->guardOpen() && m_win->isVisible(); },
        [this](const QString& text) { vvBarRead(text); });
}

bool Vvod::fileCheck()
{
    if (!QFileInfo(m_srcFile).isFile()) {
        const QString missing = m_receipt ? QStringLiteral("Приходная накладная\n отсутствует")
                                          : QStringLiteral("Справочник товаров\n отсутствует");
        if (askChoice(EntryTitle, missing, QStringLiteral("Создать"), QStringLiteral("Выйти")) != 0)
            return false;
        QFile created(m_srcFile);
        if (!created.open(QIODevice::WriteOnly)) {
            showMessage(IconCritical, EntryTitle, sourceName() + QStringLiteral("\n не создан"));
            return false;
        }
    }
    m_src->recordCount = recordCountOf(m_srcFile, *m_src);

    const QFileInfo result(m_resFile);
    if (result.isFile() && result.size() > 0) {
        // Escape keeps the results: losing a day's counts must take a deliberate answer.
        const int answer = askChoice(EntryTitle, QStringLiteral("Справочник остатков\n уже есть"),
            QStringLiteral("Продолжить"), QStringLiteral("Созд.новый"), 0);
        bool remove = answer == 1;
        // Escape and Enter keep unsent results.
        if (remove && QFile::exists(changeMarkerName(m_resFile)))
            remove = askChoice(EntryTitle, QStringLiteral("Остатки не выгружены.\nУдалить?"), QStringLiteral("Удалить"),
                         QStringLiteral("Отмена"), 1, 1)
                == 0;
        if (remove) {
            logLine(QByteArrayLiteral("vvMainTabSet: new result table"));
            // The table goes first: should its marker then stay, it marks nothing. A table that
            // stays would be counted on as if new.
            const QString marker = changeMarkerName(m_resFile);
            const bool tableGone = QFile::remove(m_resFile) || !QFileInfo::exists(m_resFile);
            if (!tableGone || (!QFile::remove(marker) && QFileInfo::exists(marker))) {
                logLine(QStringLiteral("vvMainTabSet:remove ") + (tableGone ? marker : m_resFile));
                showMessage(IconCritical, EntryTitle, QStringLiteral("Справочник остатков\n не удалён"));
                return false;
            }
            // Gone for good before counting starts anew: a power loss must not bring them back.
            if (!syncFolder(QFileInfo(m_resFile).absolutePath()))
                logLine(QByteArrayLiteral("vvMainTabSet: folder not flushed after removing the old result table"));
        }
    }
    if (!QFileInfo::exists(m_resFile)) {
        QFile created(m_resFile);
        if (!created.open(QIODevice::WriteOnly)) {
            showMessage(IconCritical, EntryTitle, QStringLiteral("Справочник остатков\n не создан"));
            return false;
        }
    }
    if (!m_book.open(m_resFile, *m_res)) {
        logLine(QStringLiteral("vvMainTabSet:open ") + m_resFile + QStringLiteral(" ") + m_book.errorString());
        showMessage(IconCritical, EntryTitle, QStringLiteral("Справочник остатков\n не открыт"));
        return false;
    }
    m_res->recordCount = m_book.count();
    return true;
}

void Vvod::loadWeightCodes()
{
    m_weights.clear();
    if (!m_wgt || m_wgtFile.isEmpty() || !QFileInfo::exists(m_wgtFile))
        return;
    RunLog::instance().stamped(QStringLiteral("Обработка справочника ") + toUi(m_wgt->pname));
    RunLog::instance().write(QByteArrayLiteral("\r\n"));
    if (!m_weights.load(*m_wgt, m_wgtFile))
        showMessage(IconCritical, QStringLiteral("Весовые коды"), QStringLiteral("Ошибки\nпри преобразовании"));
}

void Vvod::clearEntry()
{
    m_awaiting = false;
    m_mode = WriteNone;
    m_pendingKey.clear();
    if (!m_win)
        return;
    m_win->setBarText(QString());
    m_win->setPriceText(QString());
    m_win->setRestText(QString());
    m_win->leaveRest();
    m_win->focusBar();
    m_win->clearNote();
    if (m_recWin) {
        m_recWin->setCancelText(QStringLiteral("Просмотр"));
        refreshRecord();
    }
}

void Vvod::noteItem(const QByteArray& resRecord, const QString& prefix)
{
    if (!m_win)
        return;
    const qint64 counted = m_book.itemRest(resRecord);
    const auto shown = [](qint64 thousandths) { return toUi(minimalDecimal(quantityText(thousandths))); };
    if (m_receipt) {
        // Receiving: what the receipt lists beside what has come so far; the numbers stay whole
        // however long the name is.
        m_win->showNote(prefix + toUi(lineName(resRecord)), VvodPanelWin::Note::Item,
            QStringLiteral(": по накладной ") + shown(receiptQuantity(resRecord)) + QStringLiteral(", принято ")
                + shown(counted));
        return;
    }
    m_win->showNote(
        prefix + toUi(lineName(resRecord)) + QStringLiteral(": ") + shown(counted), VvodPanelWin::Note::Item);
}

bool Vvod::inGoods(const QByteArray& code) const
{
    const TableDescr* goods = descrRegistry().table(QByteArrayLiteral("TVR"));
    if (!goods || goods->recordLength <= 0)
        return false;
    const QString file = resolveFileCase(binFileName(*goods));
    QByteArray record;
    return searchTvr(code, SearchOrder(vvodSettings().searchOrder), false, file, *goods, file, *goods, record).record
        >= 0;
}

qint64 Vvod::receiptQuantity(const QByteArray& resRecord) const
{
    const int rest = m_src->fieldIndex(QByteArrayLiteral("REST"));
    if (rest < 0 || m_src->fields[rest].type != FieldType::Quantity)
        return 0;
    // The receipt's lines of the item: by barcode where the line has one, else by code.
    const int srcBar = m_src->fieldIndex(QByteArrayLiteral("BAR"));
    const bool byBar = srcBar >= 0 && !fieldText(*m_res, m_resBar, resRecord).isEmpty();
    const int srcKey = byBar ? srcBar : m_src->fieldIndex(QByteArrayLiteral("CODE"));
    const QByteArray key = fieldText(*m_res, byBar ? m_resBar : m_resCode, resRecord);
    if (srcKey < 0 || key.isEmpty())
        return 0;
    // Read at once: this runs on every scan, and a receipt is one document.
    const qsizetype length = m_src->recordLength;
    QFile file(resolveFileCase(m_srcFile));
    if (length <= 0 || !file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray all = file.readAll();
    qint64 sum = 0;
    for (qsizetype at = 0; at + length <= all.size(); at += length) {
        const QByteArray record = QByteArray::fromRawData(all.constData() + at, length);
        if (fieldText(*m_src, srcKey, record) == key)
            sum += qFromLittleEndian<qint32>(record.constData() + m_src->fields[rest].offset);
    }
    return sum;
}

QString Vvod::receiptTitle() const
{
    // "Приход: Накладная N 7" for a numbered receipt, else the receipt table's own name.
    const QByteArray name = m_src->pname;
    const QByteArray base = m_pnames[StepSource];
    if (!base.isEmpty() && name.startsWith(QByteArray(base + " N ")))
        return QStringLiteral("Приход: Накладная") + toUi(name.mid(base.size()));
    return QStringLiteral("Приход: ") + toUi(name);
}

void Vvod::refresh(Refresh how)
{
    if (m_tableWin)
        refreshTable(how);
    else if (m_recWin)
        refreshRecord();
}

QByteArray Vvod::displayRecord(const QByteArray& record) const
{
    // A line without a name shows its barcode (or code) there instead of an empty cell.
    if (m_resName < 0 || !fieldText(*m_res, m_resName, record).isEmpty())
        return record;
    const QByteArray key = m_resBar >= 0 ? fieldText(*m_res, m_resBar, record) : fieldText(*m_res, m_resCode, record);
    QByteArray shown = record;
    textToField(m_res->fields[m_resName], key, shown);
    return shown;
}

void Vvod::refreshTable(Refresh how)
{
    const qint32 count = m_book.count();
    const qint32 lastTop = qMax<qint32>(0, count - m_rows);
    if (how == Refresh::Appended)
        m_top = lastTop;
    else if (how == Refresh::Overwritten && m_current >= 0) {
        if (m_current < m_top)
            m_top = m_current;
        else if (m_current >= m_top + m_rows)
            m_top = m_current - m_rows + 1;
    }
    m_top = qBound<qint32>(0, m_top, lastTop);
    QByteArray record;
    for (int r = 0; r < m_rows; ++r) {
        if (m_top + r < count && m_book.read(m_top + r, record))
            m_tableWin->showRow(r, displayRecord(record), *m_res, *m_resView, nullptr);
        else
            m_tableWin->clearRow(r);
    }
    m_tableWin->setScroll(lastTop, m_top);
    const bool shown = m_current >= m_top && m_current < m_top + m_rows && m_current < count;
    if (how != Refresh::Redraw && shown)
        m_tableWin->selectRow(m_current - m_top);
}

void Vvod::refreshRecord()
{
    const VvodSettings& s = vvodSettings();
    if (m_mode == WriteNone && !m_lastBooked.isEmpty()) {
        // The last booking stays on screen until the next code: the operator checks it there.
        m_recWin->setCode(toUi(fieldText(*m_res, m_resCode, m_lastBooked)));
        m_recWin->setName(toUi(fieldText(*m_res, m_resName, m_lastBooked)));
        const qint64 item = s.enSumRepeated ? m_book.rest(m_lastBooked) : m_book.itemRest(m_lastBooked);
        m_recWin->setDocTovRest(toUi(quantityText(item)));
        m_recWin->setSumTovRest(toUi(amountText(qint64(m_book.price(m_lastBooked)) * item / 1000)));
    } else if (m_mode == WriteNone) {
        m_recWin->setCode(QString());
        m_recWin->setName(QString());
        m_recWin->setDocTovRest(QString());
        m_recWin->setSumTovRest(QString());
    } else {
        const QByteArray bar = fieldText(*m_res, m_resBar, m_resRecord);
        m_recWin->setBarText(toUi(bar.isEmpty() ? fieldText(*m_res, m_resCode, m_resRecord) : bar));
        m_recWin->setPriceText(m_resPrice >= 0 ? toUi(formatSumma(m_book.price(m_resRecord))) : QString());
        m_recWin->setRestText(editableQuantity(m_proposed));
        m_recWin->setCode(toUi(fieldText(*m_res, m_resCode, m_resRecord)));
        m_recWin->setName(toUi(fieldText(*m_res, m_resName, m_resRecord)));
        const qint64 item = s.enSumRepeated ? m_book.rest(m_resRecord) : m_book.itemRest(m_resRecord);
        m_recWin->setDocTovRest(toUi(quantityText(item)));
        m_recWin->setSumTovRest(toUi(amountText(qint64(m_book.price(m_resRecord)) * item / 1000)));
    }
    m_recWin->setDocLin(QString::number(m_book.count()));
    m_recWin->setDocSum(s.enSumDocum ? toUi(amountText(m_book.documentSum())) : QStringLiteral("Нет учёта"));
}

// ---- Entering a code -----------------------------------------------------------------------

void Vvod::onScanKey()
{
    // The next code that arrives is taken; until then the panel says so and stays usable.
    if (!m_win || !m_win->guardOpen() || !ScanFeed::instance().startWait())
        return;
    m_scanWaiting = true;
    m_win->setScanWaiting(true);
}

void Vvod::vvBarRead(const QString& text)
{
    if (!m_win || !m_win->guardOpen())
        return;
    const QByteArray code = fromUi(text).trimmed();
    logLine(QByteArrayLiteral("vvBarRead ") + code.left(64));
    if (m_awaiting) {
        // The item on screen still waits for its quantity: a new code must not silently replace it.
        // Where the operator chose so, the scan confirms the quantity shown and goes on.
        if (!vvodSettings().enScanConfirms) {
            keepPending("vvBarRead");
            return;
        }
        logLine(QByteArrayLiteral("vvBarRead: confirms ") + m_pendingKey);
        if (!bookPending())
            return;
    }
    if (code.size() > MaxCodeChars || hasControlBytes(code)) {
        refuse(BadCode);
        return;
    }
    // The entry line shows what was scanned; the code itself goes on as it was read.
    m_win->setBarText(toUi(code));
    enterCode(code);
}

void Vvod::vvBarOk()
{
    if (!m_win)
        return;
    // What the operator typed, or what a scan left there.
    const QByteArray text = fromUi(m_win->barText()).trimmed();
    if (m_awaiting) {
        if (!text.isEmpty() && text != m_pendingKey) {
            m_win->setBarText(toUi(m_pendingKey));
            keepPending("vvBarOk");
            return;
        }
        m_win->editRest();
        return;
    }
    // Return on an empty line opens the line the keypad selected.
    if (text.isEmpty() && m_tableWin && m_selected >= 0) {
        pickRow(m_selected);
        return;
    }
    enterCode(text);
}

void Vvod::keepPending(const char* what)
{
    logLine(QByteArray(what) + QByteArrayLiteral(": quantity awaited for ") + m_pendingKey);
    playCue(Cue::Refused);
    m_win->showNote(ConfirmQuantity, VvodPanelWin::Note::Refusal);
    m_win->editRest();
}

void Vvod::enterCode(const QByteArray& code)
{
    if (code.isEmpty()) {
        m_win->focusBar();
        return;
    }
    // A new code: the last booking leaves the screen, the keypad's selection goes.
    m_lastBooked.clear();
    m_selected = -1;
    if (code.size() > MaxCodeChars || hasControlBytes(code)) {
        refuse(BadCode);
        return;
    }
    lookUp(code);
}

void Vvod::refuse(const QString& text)
{
    logLine(QStringLiteral("vvBarOk:refused ") + text);
    playCue(Cue::Refused);
    showMessage(IconWarning, EntryTitle, text);
    clearEntry();
}

void Vvod::lookUp(const QByteArray& code)
{
    const VvodSettings& s = vvodSettings();
    if (s.enWeightBarCode && m_weights.count() > 0 && code.size() <= 31) {
        QByteArray key = code;
        const qint32 weight = m_weights.match(key);
        logLine(QByteArrayLiteral("vvBarOk:weight ") + QByteArray::number(weight) + ' ' + key);
        // A label that decodes to a key the goods lack may still be an ordinary barcode.
        if (weight >= 0 && (lookUpAs(key, weight, true) || lookUpAs(code, s.quantityIncr, false)))
            return;
        if (weight >= 0) {
            // A weighing of goods not yet known: the goods item is the decoded key, never the label.
            m_win->setBarText(toUi(key));
            m_newItemDefault = weight;
            notFound(key);
            return;
        }
    }
    m_newItemDefault = s.quantityIncr;
    if (!lookUpAs(code, s.quantityIncr, false))
        notFound(code);
}

bool Vvod::lookUpAs(const QByteArray& code, qint32 defaultQuantity, bool weighed)
{
    QByteArray record;
    const TvrHit hit = searchTvr(
        code, SearchOrder(vvodSettings().searchOrder), m_receipt, m_srcFile, *m_src, m_srcFile, *m_src, record);
    if (hit.record == SearchFileError) {
        playCue(Cue::Refused);
        showMessage(IconCritical, EntryTitle, sourceName() + QStringLiteral("\nне читается"));
        clearEntry();
        return true;
    }
    if (hit.record < 0)
        return false;
    m_default = defaultQuantity;
    // A weight label shows the item's own code it decoded to.
    if (weighed)
        m_win->setBarText(toUi(code));
    itemStep(record, hit.fieldIndex, code);
    quantityStepIfSkipped();
    return true;
}

void Vvod::notFound(const QByteArray& code)
{
    logLine(QByteArrayLiteral("vvBarOk:not found ") + code);
    playCue(Cue::NotFound);
    const QString text = m_receipt && inGoods(code) ? NotOnReceipt : NoItem;
    if (!vvodSettings().enAddItem) {
        showMessage(IconWarning, EntryTitle, text);
        clearEntry();
        return;
    }
    if (askChoice(EntryTitle, text, QStringLiteral("Добавить"), QStringLiteral("Пропустить")) == 0)
        vvAddRec(code);
    else
        clearEntry();
}

void Vvod::itemStep(const QByteArray& sourceRecord, int keyField, const QByteArray& code)
{
    // The result line of the same item is found by the same kind of key the item was found by.
    const bool byCode = keyField >= 0 && m_src->fields[keyField].name == "CODE";
    int resField = byCode ? m_resCode : m_resBar;
    if (resField < 0)
        resField = byCode ? m_resBar : m_resCode;
    const QByteArray key = fieldText(*m_src, keyField, sourceRecord);
    QByteArray found;
    QByteArray whole;
    // A key the result field cannot hold whole would be cut and match another item's line.
    const bool fits = !key.isEmpty() && resField >= 0 && searchKeyBytes(m_res->fields[resField], key, whole);
    const qint32 n = fits ? blockSearch(m_resFile, *m_res, resField, key, found) : -1;
    if (n == SearchFileError) {
        showMessage(IconCritical, EntryTitle, resultName() + QStringLiteral("\nне читается"));
        clearEntry();
        return;
    }
    if (n >= 0 && vvodSettings().enSumRepeated) {
        m_mode = WriteOverwrite;
        m_current = n;
        m_resRecord = found;
        m_previous = m_book.rest(found);
        logLine(QByteArrayLiteral("oldtov"));
    } else {
        // A new line starts from the table's defaults, so a field the source lacks never carries
        // the previous line's value.
        m_mode = WriteAppend;
        m_current = -1;
        m_resRecord = defaultRecord(*m_res);
        transferRecord(*m_src, sourceRecord, *m_res, m_resRecord);
        textToField(m_res->fields[m_resRest], QByteArrayLiteral("0.000"), m_resRecord);
        m_previous = 0;
        logLine(QByteArrayLiteral("newtov"));
    }
    m_addToPrevious = true;
    m_proposed = m_default;
    m_win->setPriceText(QString());
    if (m_srcPrice >= 0) {
        const FieldDescr& price = m_src->fields[m_srcPrice];
        m_win->setPriceText(toUi(formatSumma(qFromLittleEndian<qint32>(sourceRecord.constData() + price.offset))));
    }
    logLine(QByteArrayLiteral("cntNew ") + QByteArray::number(m_proposed) + ' ' + QByteArray::number(m_previous) + ' '
        + QByteArray::number(m_default));
    logLine(QByteArrayLiteral("recCur ") + QByteArray::number(m_current));
    refresh(m_mode == WriteOverwrite ? Refresh::Overwritten : Refresh::Redraw);
    if (m_tableWin && m_mode == WriteAppend)
        m_tableWin->showPendingName(toUi(lineName(m_resRecord)));
    showQuantity(code);
    // The operator sees what was found, and how much of it is counted, before confirming.
    noteItem(m_resRecord, QString());
}

void Vvod::showQuantity(const QByteArray& code)
{
    m_awaiting = true;
    m_pendingKey = code;
    m_win->setRestText(editableQuantity(m_proposed));
    m_win->editRest();
    if (m_recWin)
        m_recWin->setCancelText(QStringLiteral("Отмена"));
}

void Vvod::quantityStepIfSkipped()
{
    // A proposed 0 (a label without weight, no increment set) is always asked for.
    if (m_awaiting && vvodSettings().enQuantitySkip && m_proposed != 0)
        vvCntOk();
}

void Vvod::vvCntOk()
{
    if (!m_win)
        return;
    if (!m_awaiting) {
        clearEntry();
        return;
    }
    bookPending();
}

void Vvod::refuseQuantity(const QString& reason, const QByteArray& typed)
{
    logLine(QStringLiteral("vvCntOk:refused ") + reason + QStringLiteral(" ") + toUi(typed.left(64)));
    playCue(Cue::Refused);
    m_win->showNote(reason, VvodPanelWin::Note::Refusal);
    m_win->setRestText(QString());
    m_win->editRest();
}

bool Vvod::bookPending()
{
    const QByteArray text = typedDecimal(fromUi(m_win->restText()).trimmed());
    qint32 entered = -1;
    const QString problem = quantityProblem(text, entered);
    if (!problem.isEmpty()) {
        refuseQuantity(problem, text);
        return false;
    }
    const qint64 total = (m_addToPrevious ? qint64(m_previous) : 0) + entered;
    if (total > std::numeric_limits<qint32>::max()) {
        refuseQuantity(
            QStringLiteral("Итог больше ") + toUi(minimalDecimal(formatQuantity(std::numeric_limits<qint32>::max()))),
            text);
        return false;
    }
    // A keyboard scanner typing into the quantity line would book a code as a quantity.
    const qsizetype point = text.indexOf('.');
    if ((point < 0 ? text.size() : point) >= SuspectQuantityDigits
        && askChoice(EntryTitle, QStringLiteral("Количество ") + toUi(text) + QStringLiteral("\nЗаписать?"),
               QStringLiteral("Записать"), QStringLiteral("Отмена"), 1, 1)
            != 0) {
        m_win->setRestText(QString());
        m_win->editRest();
        return false;
    }
    QByteArray record = m_resRecord;
    textToField(m_res->fields[m_resRest], formatQuantity(qint32(total)), record);
    const bool append = m_mode == WriteAppend;
    const qint32 n = append ? m_book.count() : m_current;
    if (n < 0 || !m_book.put(n, record)) {
        logLine(QStringLiteral("vvCntOk:write ") + m_resFile + QStringLiteral(" ") + m_book.errorString());
        showMessage(IconCritical, EntryTitle, QStringLiteral("Ошибка записи"));
        clearEntry();
        return false;
    }
    logLine(QByteArrayLiteral("vvCntOk ") + QByteArray::number(n) + ' ' + QByteArray::number(total));
    m_current = n;
    m_resRecord = record;
    m_lastBooked = record;
    m_res->recordCount = m_book.count();
    m_mode = WriteNone;
    refresh(append ? Refresh::Appended : Refresh::Overwritten);
    clearEntry();
    noteItem(record, QStringLiteral("Записано "));
    return true;
}

// ---- The table panel -----------------------------------------------------------------------

void Vvod::vvCellCli(int row, int column)
{
    Q_UNUSED(column);
    if (!m_tableWin || !m_win->guardOpen())
        return;
    if (m_awaiting) {
        // The tap would drop the item on screen: it stays, the table shows it again.
        refresh(Refresh::Redraw);
        if (m_current >= m_top && m_current < m_top + m_rows && m_mode != WriteAppend)
            m_tableWin->selectRow(m_current - m_top);
        keepPending("vvCellCli");
        return;
    }
    pickRow(m_top + row);
}

void Vvod::pickRow(qint32 n)
{
    QByteArray record;
    // A click below the last record picks nothing.
    if (n < m_top || n >= m_book.count() || !m_book.read(n, record)) {
        m_selected = -1;
        clearEntry();
        return;
    }
    m_selected = -1;
    m_lastBooked.clear();
    const int row = n - m_top;
    m_current = n;
    m_resRecord = record;
    m_mode = WriteNone; // a picked row is overwritten
    m_previous = m_book.rest(record);
    m_addToPrevious = false;
    m_proposed = m_previous;
    const QByteArray bar = fieldText(*m_res, m_resBar, record);
    const QByteArray code = bar.isEmpty() ? fieldText(*m_res, m_resCode, record) : bar;
    m_win->setBarText(toUi(code));
    m_win->setPriceText(m_resPrice >= 0 ? toUi(formatSumma(m_book.price(record))) : QString());
    m_tableWin->selectRow(row);
    showQuantity(code);
    noteItem(record, QString());
}

void Vvod::vvStep(int delta)
{
    if (!m_tableWin || !m_win->guardOpen() || m_awaiting)
        return;
    const qint32 count = m_book.count();
    if (count == 0)
        return;
    // The first step from nothing selected lands on the last line, where the newest booking is.
    m_selected = m_selected < 0 ? count - 1 : qBound<qint32>(0, m_selected + delta, count - 1);
    if (m_selected < m_top)
        m_top = m_selected;
    else if (m_selected >= m_top + m_rows)
        m_top = m_selected - m_rows + 1;
    refresh(Refresh::Redraw);
    m_tableWin->selectRow(m_selected - m_top);
    QByteArray record;
    if (m_book.read(m_selected, record))
        m_win->showNote(
            toUi(lineName(record)) + QStringLiteral(": ") + toUi(minimalDecimal(quantityText(m_book.rest(record)))),
            VvodPanelWin::Note::Item);
    m_win->focusBar();
}

void Vvod::vvValCha(int value)
{
    if (!m_tableWin)
        return;
    const qint32 count = m_book.count();
    m_top = count <= m_rows ? 0 : (qint64(value) + m_rows > count ? count - m_rows : value);
    refresh(Refresh::Redraw);
    if (m_awaiting) {
        // Scrolling only looks: the item on screen still awaits its quantity.
        if (m_mode != WriteAppend && m_current >= m_top && m_current < m_top + m_rows)
            m_tableWin->selectRow(m_current - m_top);
        else
            m_tableWin->selectRow(-1);
        m_win->editRest();
        return;
    }
    m_tableWin->selectRow(-1);
    m_selected = -1;
    clearEntry();
}

void Vvod::vvCancel()
{
    if (!m_win)
        return;
    if (m_awaiting) {
        // The operator's own choice to drop the item; the panel says it was dropped.
        logLine(QByteArrayLiteral("vvCancel ") + m_pendingKey);
        clearEntry();
        refresh(Refresh::Redraw);
        m_win->showNote(QStringLiteral("Ввод отменён"), VvodPanelWin::Note::Item);
        return;
    }
    vvProsmRow();
}

// ---- Row chooser ---------------------------------------------------------------------------

void Vvod::vvProsmRow()
{
    const qint32 count = m_book.count();
    if (count == 0) {
        showMessage(IconWarning, resultName(), QStringLiteral("Справочник пуст"));
        return;
    }
    m_win->setGuardOpen(false);
    m_chooser = new ProsmCase(this);
    connect(m_chooser, &ProsmCase::snCaseRec, this, &Vvod::rowChosen);
    connect(m_chooser, &ProsmCase::snDelRec, this, &Vvod::rowDelete);
    connect(m_chooser, &ProsmCase::snExit, this, [this] {
        closeChooser();
        reopenPanel();
        clearEntry();
    });
    // Adding a line means choosing goods for it.
    connect(m_chooser, &ProsmCase::snAddRec, this, [this] {
        closeChooser();
        vvCaseRec();
    });
    ProsmCase::Options options;
    options.caseText = QStringLiteral("Выбрать");
    options.deleteText = QStringLiteral("Удалить");
    options.addText = QStringLiteral("Добавить");
    options.backText = QStringLiteral("Назад");
    options.startRecord = count - 1;
    m_chooser->mainTabFile(m_resFile, *m_res, *m_resCaseView, resultName(), options);
}

void Vvod::rowChosen(int record)
{
    closeChooser();
    reopenPanel();
    QByteArray row;
    if (!m_book.read(record, row)) {
        clearEntry();
        return;
    }
    m_current = record;
    m_mode = WriteOverwrite;
    m_resRecord = row;
    m_previous = m_book.rest(row);
    m_addToPrevious = false;
    m_proposed = m_previous;
    const QByteArray bar = fieldText(*m_res, m_resBar, row);
    const QByteArray code = bar.isEmpty() ? fieldText(*m_res, m_resCode, row) : bar;
    m_win->setBarText(toUi(code));
    m_win->setPriceText(m_resPrice >= 0 ? toUi(formatSumma(m_book.price(row))) : QString());
    refresh(Refresh::Overwritten);
    showQuantity(code);
}

void Vvod::rowDelete(int record)
{
    // The question names the line, so the operator sees which one goes.
    QByteArray line;
    if (!m_chooser || !m_book.read(record, line))
        return;
    const QString question = QStringLiteral("Удалить\n") + toUi(lineName(line)) + QLatin1Char('\n')
        + toUi(minimalDecimal(quantityText(m_book.rest(line)))) + QLatin1Char('?');
    if (!confirmDelete(resultName(), question))
        return;
    closeChooser();
    QByteArray deleted;
    if (!deleteRec(m_resFile, *m_res, record, deleted))
        showMessage(IconWarning, resultName() + QStringLiteral(".Удаление."), QStringLiteral("Ошибка удаления"));
    if (!m_book.reload()) {
        showMessage(IconCritical, EntryTitle, QStringLiteral("Справочник остатков\n не открыт"));
        handBack();
        return;
    }
    m_current = -1;
    refresh(Refresh::Redraw);
    if (m_book.count() > 0) {
        vvProsmRow();
        return;
    }
    reopenPanel();
    clearEntry();
}

// ---- Choosing an item, new items -----------------------------------------------------------

void Vvod::vvCaseRec()
{
    if (!m_win || m_chooser || m_editor)
        return;
    if (m_awaiting) {
        // "Подбор" closed the guard on its way here.
        m_win->setGuardOpen(true);
        keepPending("vvCaseRec");
        return;
    }
    clearEntry();
    openItemChooser(m_lastChosen);
}

void Vvod::openItemChooser(qint32 startRecord)
{
    m_win->setGuardOpen(false);
    m_chooser = new ProsmCase(this);
    connect(m_chooser, &ProsmCase::snCaseRec, this, &Vvod::itemChosen);
    connect(m_chooser, &ProsmCase::snAddRec, this, &Vvod::itemChooserAdd);
    connect(m_chooser, &ProsmCase::snExit, this, [this] {
        closeChooser();
        reopenPanel();
        clearEntry();
    });
    ProsmCase::Options options;
    options.caseText = QStringLiteral("Выбрать");
    // Goods are picked here, not deleted: one slip of the stylus would lose an item of the
    // directory in the middle of the count.
    options.deleteDisabled = true;
    // Without EnAddItem the operator does not add goods, so the button is not offered.
    options.addText = vvodSettings().enAddItem ? QStringLiteral("Добавить") : QString();
    options.backText = QStringLiteral("Назад");
    options.startRecord = qMax<qint32>(0, startRecord);
    m_chooser->mainTabFile(m_srcFile, *m_src, *m_srcCaseView, QStringLiteral("Подбор товара"), options);
}

void Vvod::itemChosen(int record)
{
    closeChooser();
    reopenPanel();
    m_lastChosen = record;
    m_default = vvodSettings().quantityIncr;
    getViewRec(record);
}

void Vvod::itemChooserAdd()
{
    closeChooser();
    openNewItemForm(defaultRecord(*m_src),
        QStringLiteral("Заполните реквизиты товара,\nкак минимум код и\nштрихкод,\nи нажмите кнопку Записать"),
        QStringLiteral("Записать"), true);
}

void Vvod::getViewRec(int record)
{
    QByteArray row;
    if (record < 0 || !readRec(m_srcFile, *m_src, record, row)) {
        showMessage(IconWarning, EntryTitle, NoItem);
        clearEntry();
        return;
    }
    int keyField = m_srcBar;
    QByteArray key = fieldText(*m_src, m_srcBar, row);
    if (key.isEmpty()) {
        keyField = m_srcCode;
        key = fieldText(*m_src, m_srcCode, row);
    }
    m_win->setBarText(toUi(key));
    itemStep(row, keyField, key);
    quantityStepIfSkipped();
}

void Vvod::vvAddRec(const QByteArray& code)
{
    const qint32 codeLength = m_src->fields[m_srcCode].length;
    const bool barcode = code.size() > codeLength;
    const FieldDescr& key = m_src->fields[barcode ? m_srcBar : m_srcCode];
    QByteArray record = defaultRecord(*m_src);
    // The key is held to the limit the lookup holds it to: a key that could be found can be added,
    // and one longer than its field would be cut to fit and name another item.
    QByteArray keyBytes;
    if (!searchKeyBytes(key, code, keyBytes) || !textToField(key, code, record)) {
        refuse(BadCode);
        return;
    }
    const QString help = barcode
        ? QStringLiteral("Заполните реквизиты товара,\nкак минимум код,\nи нажмите кнопку Выбрать")
        : QStringLiteral("Заполните реквизиты товара,\nкак минимум штрихкод,\nи нажмите кнопку Выбрать");
    openNewItemForm(record, help, QStringLiteral("Выбрать"), false);
}

void Vvod::openNewItemForm(const QByteArray& initial, const QString& help, const QString& caseText, bool backToChooser)
{
    if (m_editor)
        return;
    m_win->setGuardOpen(false);
    m_editor = new ProsmAdd(this);
    connect(m_editor, &ProsmAdd::snCaseRec, this,
        [this, backToChooser](int record) { newItemDone(record, backToChooser); });
    connect(m_editor, &ProsmAdd::snExit, this, [this, backToChooser] {
        closeEditor();
        if (backToChooser) {
            openItemChooser(m_lastChosen);
            return;
        }
        reopenPanel();
        clearEntry();
    });
    m_editor->open(
        m_srcFile, *m_src, *m_srcAddView, sourceName() + QStringLiteral(". Новый товар."), caseText, help, initial, -1);
}

void Vvod::newItemDone(int record, bool backToChooser)
{
    closeEditor();
    QByteArray row;
    if (!m_receipt && readRec(m_srcFile, *m_src, record, row))
        appendToIndexes(m_srcFile, *m_src, record, row);
    if (backToChooser) {
        m_lastChosen = record;
        openItemChooser(record);
        return;
    }
    reopenPanel();
    // A new item from a weight label books its weight.
    m_default = m_newItemDefault;
    getViewRec(record);
}
