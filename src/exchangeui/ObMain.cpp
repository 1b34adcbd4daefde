#include "ObMain.h"

#include "AppState.h"
#include "Codec.h"
#include "ConvFile.h"
#include "DescrRegistry.h"
#include "Dialogs.h"
#include "FieldCodec.h"
#include "FileList.h"
#include "IopLog.h"
#include "IopMsg.h"
#include "ObMainWin.h"
#include "ObmenWin.h"
#include "ProsmBrowserWin.h"
#include "ProsmCase.h"
#include "RecordFile.h"
#include "Reduction.h"
#include "ReplaceFile.h"
#include "RunLog.h"
#include "Transfer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QStringBuilder>

namespace {

const QString LoadTitle = QStringLiteral("Загрузка");
const QString UnloadTitle = QStringLiteral("Выгрузка");
const QString Incomplete = QStringLiteral("Неполное описание\nтаблиц в OrtSystem.ini");
const QString AlreadyThere = QStringLiteral("Справочник\nуже есть");
const QString Skip = QStringLiteral("Пропустить");
// Escape and Enter on a replace question keep what is there.
constexpr int SkipAnswer = 1;

const ObmenSettings& obmen()
{
    return appState().user.obmen;
}

QString workFolder()
{
    return toUi(appState().workDir);
}

int askFolder(const QString& title, const QString& text, const QString& first, const QString& second)
{
    return askChoice(title, text, first, second);
}

void showFolder(int icon, const QString& title, const QString& text)
{
    showMessage(icon, title, text);
}

const QString NotLoaded = QStringLiteral("Справочник не загружен.");
const QString NotUnloaded = QStringLiteral("Справочник не выгружен.");

// The change marker of a binary table, whatever letter case the office gave the table's name.
QString markerOf(const QString& binFile)
{
    return resolveFileCase(changeMarkerName(binFile));
}

} // namespace

ObMain::ObMain(QObject* parent)
    : QObject(parent)
{
}

ObMain::~ObMain()
{
    delete m_channel;
    delete m_chooser;
    delete m_obmenWin;
    delete m_menuWin;
}

ObMainWin* ObMain::menuWindow() const
{
    return m_menuWin;
}

ObmenWin* ObMain::exchangeWindow() const
{
    return m_obmenWin;
}

ProsmCase* ObMain::chooser() const
{
    return m_chooser;
}

// ---- The exchange menu ---------------------------------------------------------------------
void ObMain::obmMain()
{
    if (m_active)
        return;
    m_active = true;
    logLine(QByteArrayLiteral("obmMain"));
    m_channelKind = static_cast<Channel>(obmen().ioFtpLocal);
    m_menuWin = new ObMainWin;
    m_menuWin->setTitle(QStringLiteral("Обмен"));
    connect(m_menuWin, &ObMainWin::ObMainWinExit, this, &ObMain::obmExit);
    connect(m_menuWin, &ObMainWin::ObMainWinLoad, this, &ObMain::obmLoad);
    connect(m_menuWin, &ObMainWin::ObMainWinUnload, this, &ObMain::obmUnload);
    m_obmenWin = new ObmenWin;
    connect(m_obmenWin, &ObmenWin::AbortFtp, this, &ObMain::obmObmenAbort);
    openChannel();
    logLine(QStringLiteral("ObmGetPath ") + m_getPath);
    logLine(QStringLiteral("ObmPutPath ") + m_putPath);
    showScreen(m_menuWin);
}

bool ObMain::startExchange(bool load)
{
    const QString title = load ? LoadTitle : UnloadTitle;
    const QString work = workFolder();
    // Every load or unload starts with a channel of its own.
    openChannel();
    // Only a folder of this machine can be made; the office server's are known once it answers.
    const QString folder = m_channel->localFolder(load);
    if (!folder.isEmpty()
        && !checkFolder(folder, load ? QStringLiteral("Нет папки ввода") : QStringLiteral("Нет папки вывода"), title,
            askFolder, showFolder)) {
        obmExit();
        return false;
    }
    if (!checkFolder(work, QStringLiteral("Нет рабочей папки"), LoadTitle, askFolder, showFolder)
        || !QDir::setCurrent(work)) {
        obmExit();
        return false;
    }
    m_inputIsWork = m_channel->isWorkFolder(true);
    m_outputIsWork = m_channel->isWorkFolder(false);
    m_channel->begin(load);
    // Logs kept here or not yet collected by the office keep their numbers.
    iopRaiseAbove({ work, m_channel->localFolder(true), m_channel->localFolder(false) });
    m_running = true;
    m_load = load;
    m_looping = false;
    m_jobRunning = false;
    m_abortRequested = false;
    m_entries.clear();
    m_index = 0;
    m_cur = Entry();
    m_conv = new ConvFile(this);
    connect(m_conv, &ConvFile::dataTransferProgress, this, &ObMain::Progress);
    return true;
}

void ObMain::obmLoad()
{
    if (!m_active || m_running)
        return;
    logLine(QByteArrayLiteral("obmLoad"));
    const bool onDocument = appState().user.programm.enOnDocument;
    if (onDocument && !exchangeListReady()) {
        showMessage(IconCritical, LoadTitle, Incomplete);
        return;
    }
    if (!startExchange(true))
        return;
    if (onDocument) {
        ldCaseList();
        return;
    }
    // Without numbered documents the current directories are loaded, under their own names.
    m_entries = fixedLoadSelection(appState().receiptMode());
    if (m_entries.isEmpty()) {
        showMessage(IconCritical, LoadTitle, Incomplete);
        obmObmenExit();
        return;
    }
    obmListLoad();
}

void ObMain::ldCaseList()
{
    if (!m_running)
        return;
    m_load = true;
    m_obmenWin->showStep(LoadTitle, QStringLiteral("Входная папка"));
    showScreen(m_obmenWin);
    QFile::remove(QDir(workFolder()).filePath(textFileName(*exchangeListTable())));
    runJob(exchangeJob(JobKind::List));
}

void ObMain::listed(const ExchangeJob& job)
{
    m_obmenWin->hide();
    const QString folderTitle = QStringLiteral("Входная папка");
    if (job.outcome == JobOutcome::Failed || !writeLoadList(job.listing, *exchangeListTable())) {
        showMessage(IconCritical, folderTitle,
            job.outcome == JobOutcome::Failed ? job.reason : QStringLiteral("Загрузка\nошибки"));
        obmObmenExit();
        return;
    }
    openSelector(true, 0);
}

void ObMain::obmUnload()
{
    if (!m_active || m_running)
        return;
    logLine(QByteArrayLiteral("obmUnload"));
    if (!exchangeListReady()) {
        showMessage(IconCritical, UnloadTitle, Incomplete);
        return;
    }
    if (!startExchange(false))
        return;
    const ProgrammSettings& programm = appState().user.programm;
    if (!buildUnloadList(*exchangeListTable(), programm.programm, programm.enOnDocument, obmen().enCaseChanged)) {
        showMessage(IconCritical, UnloadTitle, QStringLiteral("Список файлов\nне создан"));
        obmObmenExit();
        return;
    }
    openSelector(false, 0);
}

void ObMain::obmListLoad()
{
    startEntries(true);
}

void ObMain::obmListUnload()
{
    startEntries(false);
}

void ObMain::startEntries(bool load)
{
    if (!m_running)
        return;
    if (m_entries.isEmpty()) {
        obmObmenExit();
        return;
    }
    m_load = load;
    m_looping = true;
    m_index = 0;
    // Logs an earlier exchange could not deliver go to the office after this one's entries.
    m_keptLogs = keptIopLogs(workFolder());
    m_obmenWin->showStep(load ? LoadTitle : UnloadTitle, QString());
    showScreen(m_obmenWin);
    QMetaObject::invokeMethod(this, &ObMain::nextEntry, Qt::QueuedConnection);
}

// ---- Selectors -----------------------------------------------------------------------------

namespace {

// "Выбрать" toggles a row's mark: the operator must see it, whatever the office's view hides.
ViewDescr markedFirst(const ViewDescr& view)
{
    ViewDescr shown = view;
    const int at = shown.columnOfField(QByteArrayLiteral("FLAG"));
    ColumnDescr mark;
    if (at >= 0)
        mark = shown.columns.takeAt(at);
    mark.fieldName = QByteArrayLiteral("FLAG");
    mark.title = fromUi(QStringLiteral("Отм"));
    mark.width = qMax(mark.width, 28);
    mark.shown = '+';
    mark.alignment = Qt::AlignCenter;
    shown.columns.prepend(mark);
    return shown;
}

} // namespace

void ObMain::openSelector(bool load, int row)
{
    closeChooser();
    if (!m_running)
        return;
    TableDescr& tab = *exchangeListTable();
    tab.recordCount = recordCountOf(binFileName(tab), tab);
    m_chooser = new ProsmCase(this);
    if (load) {
        connect(m_chooser, &ProsmCase::snExit, this, &ObMain::obmCaseExit);
        connect(m_chooser, &ProsmCase::snCaseRec, this, &ObMain::ldCaseFile);
        connect(m_chooser, &ProsmCase::snAddRec, this, &ObMain::ldCaseExit);
    } else {
        connect(m_chooser, &ProsmCase::snExit, this, &ObMain::obmCaseExit);
        connect(m_chooser, &ProsmCase::snCaseRec, this, &ObMain::unldCaseFile);
        connect(m_chooser, &ProsmCase::snAddRec, this, &ObMain::unCaseExit);
    }
    ProsmCase::Options options;
    options.backText = QStringLiteral("Назад");
    options.addText = load ? QStringLiteral("Загрузить") : QStringLiteral("Выгрузить");
    options.caseText = QStringLiteral("Выбрать");
    options.startRecord = qMax(0, row);
    m_selectorView = markedFirst(*exchangeListView());
    m_chooser->mainTabTab(binFileName(tab), tab, m_selectorView,
        load ? QStringLiteral("Выбор справочников для загрузки") : QStringLiteral("Выбор справочников для выгрузки"),
        options);
}

void ObMain::closeChooser()
{
    if (!m_chooser)
        return;
    // The chooser may be inside one of its own signals: it goes from the event loop.
    disconnect(m_chooser, nullptr, this, nullptr);
    m_chooser->deleteLater();
    m_chooser = nullptr;
}

void ObMain::ldCaseFile(int row)
{
    closeChooser();
    ldCaseNextFile(toggleMark(*exchangeListTable(), row) ? row : 0);
}

void ObMain::ldCaseNextFile(int row)
{
    openSelector(true, row);
}

void ObMain::unldCaseFile(int row)
{
    closeChooser();
    unldCaseNextFile(toggleMark(*exchangeListTable(), row) ? row : 0);
}

void ObMain::unldCaseNextFile(int row)
{
    openSelector(false, row);
}

void ObMain::ldCaseExit()
{
    confirmSelection(true);
}

void ObMain::unCaseExit()
{
    confirmSelection(false);
}

void ObMain::confirmSelection(bool load)
{
    closeChooser();
    QList<SelectionEntry> entries;
    bool overflow = false;
    if (!readSelection(*exchangeListTable(), entries, overflow)) {
        obmCaseExit();
        return;
    }
    if (overflow)
        showMessage(IconWarning, load ? LoadTitle : UnloadTitle,
            QStringLiteral("Отмечено больше %1.\nБудут переданы\nпервые %1").arg(MaxSelection));
    m_entries = entries;
    if (load)
        obmListLoad();
    else
        obmListUnload();
}

void ObMain::obmCaseExit()
{
    closeChooser();
    obmObmenExit();
}

void ObMain::obmObmenAbort()
{
    if (!m_running)
        return;
    logLine(QByteArrayLiteral("obmObmenAbort"));
    if (m_jobRunning) {
        // The channel breaks off what it can; the job's result says how it ended.
        m_abortRequested = true;
        m_channel->abort();
        return;
    }
    if (m_looping) {
        // Between two jobs (a box of a step is open): the entry in hand is finished, then the
        // exchange ends.
        m_abortRequested = true;
        return;
    }
    obmObmenExit();
}

void ObMain::obmObmenExit()
{
    if (!m_running)
        return;
    m_running = false;
    m_looping = false;
    m_jobRunning = false;
    m_abortRequested = false;
    logLine(QByteArrayLiteral("obmObmenExit"));
    dropChannel();
    closeChooser();
    m_entries.clear();
    m_cur = Entry();
    if (m_obmenWin)
        m_obmenWin->hide();
    if (m_conv) {
        m_conv->deleteLater();
        m_conv = nullptr;
    }
    if (m_menuWin) {
        m_menuWin->show();
        m_menuWin->activateWindow();
    }
}

void ObMain::obmExit()
{
    // While entries run an exchange log may be open: the menu waits for the exchange to end.
    if (!m_active || m_looping)
        return;
    obmObmenExit();
    logLine(QByteArrayLiteral("obmExit"));
    closeChooser();
    // The windows may be inside their own signal: they go from the event loop.
    for (QWidget* window : { static_cast<QWidget*>(m_obmenWin.data()), static_cast<QWidget*>(m_menuWin.data()) }) {
        if (window) {
            window->hide();
            window->deleteLater();
        }
    }
    m_obmenWin = nullptr;
    m_menuWin = nullptr;

    // Text files in the work folder are the exchange's own only when no exchange folder is the
    // work folder; otherwise they are the office's directories or the delivered results.
    removeExchangeLeftovers(workFolder(), !m_inputIsWork && !m_outputIsWork);
    handBack();
}

void ObMain::handBack()
{
    m_active = false;
    appState().menuGate = true;
    emit returned();
}

// ---- The channel ---------------------------------------------------------------------------

void ObMain::openChannel()
{
    dropChannel();
    ChannelSetup setup = channelSetup(m_channelKind, appState().user, workFolder());
    setup.listTable = exchangeListTable();
    setup.receiptMode = appState().receiptMode();
    setup.enCaseChanged = obmen().enCaseChanged;
    setup.ftpPort = m_ftpPort;
    m_channel = makeExchangeChannel(setup).release();
    m_channel->setParent(this);
    connect(m_channel, &ExchangeChannel::finished, this, &ObMain::jobFinished);
    connect(m_channel, &ExchangeChannel::progress, this, &ObMain::Progress);
    connect(m_channel, &ExchangeChannel::statusChanged, this, &ObMain::setState);
    m_getPath = setup.input;
    m_putPath = setup.output;
    m_inputIsWork = m_channel->isWorkFolder(true);
    m_outputIsWork = m_channel->isWorkFolder(false);
    if (m_obmenWin)
        m_obmenWin->setAbortVisible(m_channel->canBreakOff());
}

void ObMain::dropChannel()
{
    if (!m_channel)
        return;
    // It may be inside one of its own signals: it goes from the event loop (and ends its
    // connection on the way).
    disconnect(m_channel, nullptr, this, nullptr);
    m_channel->deleteLater();
    m_channel = nullptr;
}

void ObMain::runJob(const ExchangeJob& job)
{
    m_jobRunning = true;
    m_obmenWin->resetProgress();
    // Only a transfer that can be broken off offers the abort button.
    m_obmenWin->setAbortVisible(m_channel->canBreakOff());
    if (!m_obmenWin->isVisible())
        showScreen(m_obmenWin);
    m_channel->start(job);
}

void ObMain::jobFinished(const ExchangeJob& job)
{
    m_jobRunning = false;
    if (!m_running)
        return;
    if (job.kind == JobKind::Close) {
        obmObmenExit();
        return;
    }
    if (job.outcome == JobOutcome::Aborted) {
        if (m_looping)
            entryAborted();
        else
            closeChannel();
        return;
    }
    switch (job.kind) {
    case JobKind::List:
        if (m_abortRequested)
            closeChannel();
        else
            listed(job);
        return;
    case JobKind::Lookup:
        unloadLookedUp(job);
        return;
    case JobKind::Fetch:
        fetched(job);
        return;
    case JobKind::Deliver:
        delivered(job);
        return;
    case JobKind::DeliverLog:
        logDelivered(job);
        return;
    case JobKind::ActOnSource:
        sourceActed(job);
        return;
    case JobKind::Close:
        return;
    }
}

void ObMain::closeChannel()
{
    runJob(exchangeJob(JobKind::Close));
}

void ObMain::Progress(qint64 done, qint64 total)
{
    if (m_obmenWin)
        m_obmenWin->setProgress(done, total);
}

void ObMain::setState(const QString& text)
{
    if (m_obmenWin)
        m_obmenWin->setState(text);
}

void ObMain::showBox(int icon, const QString& text)
{
    showMessage(icon, m_cur.title.isEmpty() ? (m_load ? LoadTitle : UnloadTitle) : m_cur.title, text);
}

bool ObMain::askReplace(const QString& text, const QString& replaceText)
{
    return askChoice(m_cur.title, text, replaceText, Skip, SkipAnswer, SkipAnswer) == 0;
}

// ---- The entry's steps ---------------------------------------------------------------------

void ObMain::nextEntry()
{
    if (!m_running || !m_looping)
        return;
    if (m_index >= m_entries.size()) {
        deliverKeptLog();
        return;
    }
    // Skipped or refused entries go straight on to the next one, without a log.
    if (!takeEntry()) {
        endEntry();
        return;
    }
    if (m_load) {
        loadBegin();
        return;
    }
    runJob(exchangeJob(JobKind::Lookup, m_cur.name, m_cur.transfer, false));
}

bool ObMain::takeEntry()
{
    const SelectionEntry& entry = m_entries.at(m_index);
    m_cur = Entry();
    m_cur.kind = docKindOf(entry.type);
    const QString name = toUi(entry.name);
    QByteArray number = entry.number.trimmed();
    // The list shows a missing number as "Б/Н"; the title then has no number.
    if (number == fromUi(QStringLiteral("Б/Н")))
        number.clear();
    m_obmenWin->setFileCounter(m_index + 1, static_cast<int>(m_entries.size()));
    m_obmenWin->resetProgress();
    setState(QString());
    if (!m_cur.kind) {
        m_cur.logTitle = entry.name;
    } else {
        m_cur.table = directoryTable(entry.type);
        m_cur.logTitle = m_cur.table ? m_cur.table->pname : QByteArray();
        if (!number.isEmpty())
            m_cur.logTitle += ' ' + number;
    }
    m_cur.title = toUi(m_cur.logTitle);
    m_obmenWin->setDirectory(m_cur.title.isEmpty() ? name : m_cur.title);

    EntryFiles files;
    if (!entryFiles(entry, m_cur.table, m_load, workFolder(), files)) {
        // Settings without this table's description: the entry cannot be exchanged.
        logLine(QStringLiteral("obmEntry: no description ") + name);
        if (m_cur.title.isEmpty())
            m_cur.title = name;
        showBox(IconCritical, Incomplete);
        return false;
    }
    m_cur.name = files.name;
    m_cur.transfer = files.transfer;
    m_cur.bin = files.bin;
    return true;
}

// Closes the entry's log with text and delivers it.
void ObMain::closeLog(const QString& text)
{
    finishLog(text);
    deliverLog();
}

void ObMain::finishLog(const QString& text)
{
    iopFinish(text);
    m_cur.logFinished = true;
}

void ObMain::loadBegin()
{
    // An "other document" read where it lies replaces nothing.
    const bool readInPlace = !m_cur.kind && m_inputIsWork;
    const bool exists = !readInPlace && QFileInfo::exists(m_cur.bin);
    if (exists && !obmen().enLoadReplace) {
        if (!askReplace(AlreadyThere, QStringLiteral("Загрузить"))) {
            endEntry();
            return;
        }
    } else if (exists && m_cur.kind && *m_cur.kind != DocKind::WeightCodes && QFileInfo::exists(markerOf(m_cur.bin))) {
        // Counted or edited on the terminal and not yet unloaded: replacing it loses that work.
        if (!askReplace(QStringLiteral("Справочник изменён\nи не выгружен"), QStringLiteral("Загрузить"))) {
            endEntry();
            return;
        }
    }
    m_obmenWin->setWindowTitle(LoadTitle);
    iopStart(m_cur.logTitle, true);
    m_cur.logStarted = true;
    runJob(exchangeJob(JobKind::Fetch, m_cur.name, m_cur.transfer));
}

void ObMain::fetched(const ExchangeJob& job)
{
    m_cur.transfer = job.local;
    m_cur.inPlace = job.inPlace;
    if (!m_cur.kind)
        m_cur.bin = m_cur.transfer;
    if (job.outcome == JobOutcome::Failed) {
        // Nothing half-fetched stays: the channel left no file, and a text copy of ours goes.
        if (m_cur.kind && !m_cur.inPlace)
            QFile::remove(m_cur.transfer);
        if (!job.logText.isEmpty())
            iopMsg(job.logText);
        showBox(IconCritical, job.reason);
        closeLog(NotLoaded);
        return;
    }
    m_cur.finalText = reduce();
    actOnSource();
}

QString ObMain::reduce()
{
    const bool always = obmen().loadMessage == 1;
    if (!m_cur.kind) {
        // Any other document is taken as it is.
        m_cur.done = true;
        if (always)
            showBox(IconInformation, QStringLiteral("Загрузка\nвыполнена\nуспешно"));
        return QStringLiteral("Справочник загружен успешно.");
    }
    // The state line speaks of the directory, not of the steps inside the program.
    setState(QStringLiteral("Справочник\nобрабатывается"));
    m_obmenWin->setAbortVisible(false);
    // An empty office file may come as no file at all.
    const ReduceResult result = QFileInfo(m_cur.transfer).size() <= 0
        ? ReduceResult::Empty
        : reduceText(*m_conv, docKindCode(*m_cur.kind), m_cur.transfer, m_cur.bin, *m_cur.table);
    if (!m_cur.inPlace)
        QFile::remove(m_cur.transfer);
    if (result == ReduceResult::Empty) {
        setState(QStringLiteral("Справочник\nпуст"));
        iopMsg(QStringLiteral("Нет справочника"));
        showBox(IconCritical, QStringLiteral("Нет\nсправочника"));
        return NotLoaded;
    }
    // The table was replaced (its change marker went with it): the office's file was taken.
    m_cur.done = result == ReduceResult::Ok || result == ReduceResult::BadLines;
    if (result == ReduceResult::Failed) {
        // Refused as a whole: the old table stays and nothing was loaded.
        setState(QStringLiteral("Справочник\nне загружен"));
        showBox(IconCritical, QStringLiteral("Загрузка\nошибки"));
        return NotLoaded;
    }
    if (result == ReduceResult::BadLines) {
        setState(QStringLiteral("Загружен\nс ошибками"));
        showBox(IconWarning, QStringLiteral("Редукция\nошибки"));
        showBox(IconInformation, QStringLiteral("Загрузка\nвыполнена\nс ошибками"));
        return QStringLiteral("Справочник загружен с ошибками.");
    }
    setState(QStringLiteral("Справочник\nготов"));
    if (always)
        showBox(IconInformation, QStringLiteral("Загрузка\nвыполнена\nуспешно"));
    return QStringLiteral("Справочник загружен успешно.");
}

void ObMain::unloadLookedUp(const ExchangeJob& job)
{
    // Results the office has not collected yet are not overwritten unasked.
    const bool replace = !job.exists || askReplace(AlreadyThere, QStringLiteral("Заменить"));
    m_obmenWin->setWindowTitle(UnloadTitle);
    iopStart(m_cur.logTitle, false);
    m_cur.logStarted = true;
    if (!replace) {
        closeLog(NotUnloaded);
        return;
    }
    if (!m_cur.kind && !QFileInfo(m_cur.bin).isFile()) {
        showBox(IconCritical, QStringLiteral("Выгрузка\nСправочник\nне открыт"));
        closeLog(NotUnloaded);
        return;
    }
    if (m_cur.kind) {
        setState(QStringLiteral("Готовится\nфайл для офиса"));
        m_obmenWin->setAbortVisible(false);
        const bool converted = convertForUnload(*m_conv, m_cur.bin, m_cur.transfer, *m_cur.table);
        if (!converted) {
            setState(QStringLiteral("Файл для офиса\nне создан"));
            showBox(IconCritical, QStringLiteral("Конвертация\nошибки"));
            closeLog(NotUnloaded);
            return;
        }
        setState(QStringLiteral("Файл для офиса\nготов"));
    }
    runJob(exchangeJob(JobKind::Deliver, m_cur.name, m_cur.transfer, false));
}

void ObMain::delivered(const ExchangeJob& job)
{
    m_cur.inPlace = job.inPlace;
    if (job.outcome == JobOutcome::Failed) {
        // The office must not take a log for a directory it may not have got whole; it stays here.
        m_cur.keepLog = job.partial;
        showBox(IconCritical, job.reason);
        if (!job.logText.isEmpty())
            iopMsg(job.logText);
        closeLog(NotUnloaded);
        return;
    }
    m_cur.done = true;
    // Delivered: the table holds no unsent changes any more.
    removeFilesDurably({ markerOf(m_cur.bin) });
    if (obmen().unloadMessage == 1)
        showBox(IconInformation, QStringLiteral("Выгрузка\nвыполнена\nуспешно"));
    finishLog(QStringLiteral("Справочник выгружен успешно."));
    deliverLog();
}

void ObMain::deliverLog()
{
    const QString log = iopFileName();
    if (!m_cur.logStarted || log.isEmpty()) {
        afterLog();
        return;
    }
    if (m_cur.keepLog) {
        logLine(QStringLiteral("obmIop: not sent after a broken upload, kept ") + log);
        afterLog();
        return;
    }
    if (!QFileInfo(log).isFile()) {
        // Never written (it could not be opened): nothing to deliver.
        iopRelease();
        afterLog();
        return;
    }
    runJob(exchangeJob(JobKind::DeliverLog, fromUi(QFileInfo(log).fileName()), log, m_load));
}

void ObMain::logDelivered(const ExchangeJob& job)
{
    const bool kept = m_index >= m_entries.size();
    if (job.outcome == JobOutcome::Failed)
        logLine(
            QStringLiteral("obmIop: not delivered, kept ") + job.local + QStringLiteral(": ") + oneLine(job.reason));
    else if (kept && !job.inPlace && !QFile::remove(job.local))
        logLine(QStringLiteral("obmIop: delivered, not removed ") + job.local);
    else if (!kept && !job.inPlace)
        iopRelease();
    if (kept)
        deliverKeptLog();
    else
        afterLog();
}

void ObMain::deliverKeptLog()
{
    if (m_abortRequested || m_keptLogs.isEmpty()) {
        closeChannel();
        return;
    }
    const KeptLog log = m_keptLogs.takeFirst();
    runJob(exchangeJob(JobKind::DeliverLog, fromUi(QFileInfo(log.path).fileName()), log.path, log.load));
}

void ObMain::afterLog()
{
    if (!m_load) {
        if (m_cur.done)
            applySourceAction(static_cast<SourceAction>(obmen().unloadAct), m_cur.bin);
        // A text delivered where it lies (the output folder is the work folder) is the delivery.
        if (m_cur.kind && !m_cur.inPlace)
            QFile::remove(m_cur.transfer);
    }
    endEntry();
}

void ObMain::actOnSource()
{
    // The office's file is only marked as taken when its directory really was loaded; an "other
    // document" read where it lies has no copy but that one. The log tells what became of it.
    const SourceAction action = static_cast<SourceAction>(obmen().loadAct);
    if (!m_cur.done || action == SourceAction::Keep || (!m_cur.kind && m_cur.inPlace)) {
        closeLog(m_cur.finalText);
        return;
    }
    ExchangeJob job = exchangeJob(JobKind::ActOnSource, m_cur.name, m_cur.transfer);
    job.action = action;
    runJob(job);
}

void ObMain::sourceActed(const ExchangeJob& job)
{
    if (job.outcome == JobOutcome::Failed && job.sourceChanged) {
        // The office put another file under that name after the copy: it is theirs to keep.
        iopMsg(QStringLiteral("Справочник изменён в офисе и оставлен"));
    } else if (job.outcome == JobOutcome::Failed) {
        logLine(QStringLiteral("obmSource: after-load action failed: ") + oneLine(job.reason));
    }
    closeLog(m_cur.finalText);
}

void ObMain::endEntry()
{
    m_cur = Entry();
    ++m_index;
    // An abort asked for while the entry ran ends the exchange now that the entry is whole.
    if (m_abortRequested) {
        closeChannel();
        return;
    }
    QMetaObject::invokeMethod(this, &ObMain::nextEntry, Qt::QueuedConnection);
}

void ObMain::entryAborted()
{
    if (m_cur.logStarted && !m_cur.logFinished) {
        iopMsg(m_load ? QStringLiteral("Загрузка прервана") : QStringLiteral("Выгрузка прервана"));
        finishLog(m_load ? NotLoaded : NotUnloaded);
        // The channel left no file behind; the directory's text copy of ours goes.
        if (m_cur.kind && !m_cur.inPlace && !m_cur.transfer.isEmpty())
            QFile::remove(m_cur.transfer);
    }
    // The log of a broken-off entry stays on the terminal: it was not delivered.
    if (m_cur.logStarted)
        logLine(QStringLiteral("obmIop: not delivered after an abort, kept ") + iopFileName());
    m_cur = Entry();
    closeChannel();
}
