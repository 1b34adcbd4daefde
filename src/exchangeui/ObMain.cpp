#include "ObMain.h"

#include "AppState.h"
#include "Codec.h"
#include "ConvFile.h"
#include "DescrRegistry.h"
#include "Dialogs.h"
#include "FieldCodec.h"
#include "FileList.h"
#include "FtpClient.h"
#include "IopLog.h"
#include "IopMsg.h"
#include "ObMainWin.h"
#include "ObmenWin.h"
#include "PathMacros.h"
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
// Escape on a replace question keeps what is there.
constexpr int SkipAnswer = 1;

const ObmenSettings& obmen()
{
    return appState().user.obmen;
}

QString workFolder()
{
    return toUi(appState().workDir);
}

QString joined(const QString& folder, const QString& name)
{
    return QDir::cleanPath(folder + QLatin1Char('/') + name);
}

// The table of a directory type code (1 goods, 2 receipt, 3 results, 4 weight codes).
TableDescr* tableOfType(qint32 type)
{
    static const char* const extensions[] = { nullptr, "TVR", "PRH", "RES", "WGT" };
    if (type < 1 || type > 4)
        return nullptr;
    return descrRegistry().table(QByteArray(extensions[type]));
}

// A described table: a record layout and a name to build file names from.
bool described(const TableDescr* table)
{
    return table && table->recordLength > 0 && !table->workName.isEmpty() && tableLayoutOk(*table);
}

int askFolder(const QString& title, const QString& text, const QString& first, const QString& second)
{
    return askChoice(title, text, first, second);
}

void showFolder(int icon, const QString& title, const QString& text)
{
    showMessage(icon, title, text);
}

// A box's text as one line of a log.
QString oneLine(const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

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
    m_channel = static_cast<Channel>(obmen().ioFtpLocal);
    m_menuWin = new ObMainWin;
    m_menuWin->setTitle(QStringLiteral("Обмен"));
    connect(m_menuWin, &ObMainWin::ObMainWinExit, this, &ObMain::obmExit);
    connect(m_menuWin, &ObMainWin::ObMainWinLoad, this, &ObMain::obmLoad);
    connect(m_menuWin, &ObMainWin::ObMainWinUnload, this, &ObMain::obmUnload);
    m_obmenWin = new ObmenWin;
    // Only an FTP transfer can be broken off; the folder channels finish their entry first.
    m_obmenWin->setAbortVisible(m_channel == Channel::FtpClient);
    connect(m_obmenWin, &ObmenWin::AbortFtp, this, &ObMain::obmObmenAbort);
    computeFolders();
    showScreen(m_menuWin);
}

void ObMain::computeFolders()
{
    const UserSettings& user = appState().user;
    QByteArray root, input, output;
    switch (m_channel) {
    case Channel::FtpClient:
        root = user.ftpClient.root;
        input = user.ftpClient.input;
        output = user.ftpClient.output;
        break;
    case Channel::FtpServer:
        root = user.ftpServer.root;
        input = user.ftpServer.input;
        output = user.ftpServer.output;
        break;
    case Channel::LocalDir:
    default:
        root = user.localDir.root;
        input = user.localDir.input;
        output = user.localDir.output;
        break;
    }
    QString rootPath = folderSettingPath(root);
    if (m_channel != Channel::FtpClient)
        rootPath = localExchangeRoot(root, m_channel == Channel::FtpServer);
    m_getPath = rootPath + QLatin1Char('/') + folderSettingPath(input);
    m_putPath = rootPath + QLatin1Char('/') + folderSettingPath(output);
    logLine(QStringLiteral("ObmGetPath ") + m_getPath);
    logLine(QStringLiteral("ObmPutPath ") + m_putPath);
}

void ObMain::updateWorkFolderFlags()
{
    // By the folders themselves, not their spelling: "work/", "work/." and a link are the same.
    const bool local = m_channel != Channel::FtpClient;
    m_inputIsWork = local && sameFolder(m_getPath, workFolder());
    m_outputIsWork = local && sameFolder(m_putPath, workFolder());
}

TableDescr* ObMain::listTable() const
{
    return descrRegistry().table(QByteArrayLiteral("TAB"));
}

ViewDescr* ObMain::listView() const
{
    DescrRegistry& registry = descrRegistry();
    ViewDescr* view = registry.view(QByteArrayLiteral("TAB"), fromUi(QStringLiteral("ЗАГРУЗКА")));
    if (!view || view->columns.isEmpty())
        view = registry.view(QByteArrayLiteral("TAB"), fromUi(QStringLiteral("ПРОСМОТР")));
    return view;
}

bool ObMain::listReady() const
{
    const TableDescr* tab = listTable();
    const ViewDescr* view = listView();
    if (!described(tab) || !view || view->columns.isEmpty())
        return false;
    for (const char* field : { "NAME", "TYPE", "SPTYPE", "NUMBER", "FLAG" })
        if (tab->fieldIndex(QByteArray(field)) < 0)
            return false;
    return true;
}

bool ObMain::startExchange(bool load)
{
    const QString title = load ? LoadTitle : UnloadTitle;
    // The office server's folders are only known to exist once the server answers.
    if (!ftpChannel()
        && !checkFolder(load ? m_getPath : m_putPath,
            load ? QStringLiteral("Нет папки ввода") : QStringLiteral("Нет папки вывода"), title, askFolder,
            showFolder)) {
        obmExit();
        return false;
    }
    const QString work = workFolder();
    if (!checkFolder(work, QStringLiteral("Нет рабочей папки"), LoadTitle, askFolder, showFolder)
        || !QDir::setCurrent(work)) {
        obmExit();
        return false;
    }
    updateWorkFolderFlags();
    // A copy into the exchange folder that a crash cut short leaves a temporary of ours there.
    if (!ftpChannel())
        removeStaleTemporaries(load ? m_getPath : m_putPath);
    m_running = true;
    m_load = load;
    m_listMode = false;
    m_looping = false;
    m_abortRequested = false;
    m_entries.clear();
    m_index = 0;
    m_step = StepBegin;
    m_cur = Current();
    m_conv = new ConvFile(this);
    connect(m_conv, &ConvFile::dataTransferProgress, this, &ObMain::Progress);
    if (ftpChannel())
        newFtp();
    return true;
}

void ObMain::obmLoad()
{
    if (!m_active || m_running)
        return;
    logLine(QByteArrayLiteral("obmLoad"));
    const bool onDocument = appState().user.programm.enOnDocument;
    if (onDocument && !listReady()) {
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
    m_listMode = true;
    m_load = true;
    m_obmenWin->showStep(LoadTitle, QStringLiteral("Входная папка"));
    showScreen(m_obmenWin);
    if (ftpChannel()) {
        ftpList();
        return;
    }
    const bool built = buildLoadList(m_getPath, *listTable(), appState().receiptMode(), obmen().enCaseChanged);
    m_obmenWin->hide();
    m_listMode = false;
    if (!built) {
        showMessage(IconCritical, QStringLiteral("Входная папка"), QStringLiteral("Загрузка\nошибки"));
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
    if (!listReady()) {
        showMessage(IconCritical, UnloadTitle, Incomplete);
        return;
    }
    if (!startExchange(false))
        return;
    const ProgrammSettings& programm = appState().user.programm;
    if (!buildUnloadList(*listTable(), programm.programm, programm.enOnDocument, obmen().enCaseChanged)) {
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
    m_listMode = false;
    m_looping = true;
    m_step = StepBegin;
    m_index = 0;
    m_obmenWin->showStep(load ? LoadTitle : UnloadTitle, QString());
    showScreen(m_obmenWin);
    queueStep();
}

// ---- Selectors -----------------------------------------------------------------------------

void ObMain::openSelector(bool load, int row)
{
    closeChooser();
    if (!m_running)
        return;
    TableDescr& tab = *listTable();
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
    m_chooser->mainTabTab(binFileName(tab), tab, *listView(),
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
    ldCaseNextFile(toggleMark(*listTable(), row) ? row : 0);
}

void ObMain::ldCaseNextFile(int row)
{
    openSelector(true, row);
}

void ObMain::unldCaseFile(int row)
{
    closeChooser();
    unldCaseNextFile(toggleMark(*listTable(), row) ? row : 0);
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
    if (!readSelection(*listTable(), entries, overflow)) {
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

// ---- Ending --------------------------------------------------------------------------------

void ObMain::obmObmenAbort()
{
    if (!m_running)
        return;
    logLine(QByteArrayLiteral("obmObmenAbort"));
    if (ftpChannel()) {
        abortFtp();
        return;
    }
    if (m_looping) {
        // A folder copy is not broken off halfway: the entry in hand is finished, then the
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
    m_listMode = false;
    m_abortRequested = false;
    m_waitFtp = false;
    m_step = StepBegin;
    logLine(QByteArrayLiteral("obmObmenExit"));
    // Whatever the client still does (a close, a broken-off command) ends with it.
    dropFtp();
    m_listLines.clear();
    closeChooser();
    m_entries.clear();
    m_cur = Current();
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

    const QString work = workFolder();
    if (const TableDescr* tab = listTable(); described(tab)) {
        const QString bin = joined(work, binFileName(*tab));
        QFile::remove(joined(work, textFileName(*tab)));
        QFile::remove(bin);
        QFile::remove(changeMarkerName(bin));
    }
    updateWorkFolderFlags();
    // Text files in the work folder are the exchange's own only when no exchange folder is the
    // work folder; otherwise they are the office's directories or the delivered results.
    if (!m_inputIsWork && !m_outputIsWork) {
        for (qint32 type = 1; type <= 4; ++type)
            if (const TableDescr* table = tableOfType(type); described(table))
                QFile::remove(joined(work, textFileName(*table)));
    }
    handBack();
}

void ObMain::handBack()
{
    m_active = false;
    appState().menuGate = true;
    emit returned();
}

// ---- The per-file steps --------------------------------------------------------------------

void ObMain::queueStep()
{
    if (m_stepQueued)
        return;
    m_stepQueued = true;
    // One step per turn of the event loop: a box's own loop inside a step never runs the next.
    QMetaObject::invokeMethod(this, &ObMain::DoneLoc, Qt::QueuedConnection);
}

void ObMain::DoneLoc()
{
    m_stepQueued = false;
    if (!m_running || !m_looping)
        return;
    if (m_inStep) {
        queueStep();
        return;
    }
    m_inStep = true;
    switch (m_step) {
    case StepBegin:
        if (m_load)
            loadBegin();
        else
            unloadBegin();
        break;
    case StepTransferred:
        if (m_load) {
            loadTransferred();
            // LoadAct on the server's copy, for a directory that really was loaded.
            if (ftpChannel())
                ftpSourceAction();
        } else {
            unloadTransferred();
        }
        break;
    case StepFileDone:
        fileDone();
        break;
    case StepNextFile:
        nextFile();
        break;
    case StepClosing:
        obmObmenExit();
        break;
    case StepAborted:
        if (ftpChannel())
            ftpAborted();
        else
            obmObmenExit();
        break;
    }
    m_inStep = false;
    // An abort asked for inside the step (from a box's own event loop) is taken now.
    if (m_abortRequested && ftpChannel() && m_running && m_looping) {
        m_abortRequested = false;
        abortFtp();
    }
    if (m_running && m_looping && !m_waitFtp)
        queueStep();
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
    return askChoice(m_cur.title, text, replaceText, Skip, SkipAnswer) == 0;
}

bool ObMain::takeEntry()
{
    const SelectionEntry& entry = m_entries.at(m_index);
    m_cur = Current();
    m_cur.type = entry.type;
    const QString name = toUi(entry.name);
    QByteArray number = entry.number.trimmed();
    // The list shows a missing number as "Б/Н"; the title then has no number.
    if (number == fromUi(QStringLiteral("Б/Н")))
        number.clear();
    m_obmenWin->setFileCounter(m_index + 1, static_cast<int>(m_entries.size()));
    m_obmenWin->resetProgress();
    setState(QString());
    if (entry.type == 0) {
        m_cur.logTitle = entry.name;
    } else {
        m_cur.table = tableOfType(entry.type);
        m_cur.logTitle = m_cur.table ? m_cur.table->pname : QByteArray();
        if (!number.isEmpty())
            m_cur.logTitle += ' ' + number;
    }
    m_cur.title = toUi(m_cur.logTitle);
    m_obmenWin->setDirectory(m_cur.title.isEmpty() ? name : m_cur.title);

    const QString work = workFolder();
    QString derived = entry.type == 0 ? name : m_load ? textToBinName(name) : binToTextName(name);
    // A table's own directory makes the table under the name the rest of the program builds.
    if (m_load && described(m_cur.table) && name.compare(textFileName(*m_cur.table), Qt::CaseInsensitive) == 0)
        derived = binFileName(*m_cur.table);
    if (name.isEmpty() || derived.isEmpty() || (entry.type != 0 && !described(m_cur.table))) {
        // Settings without this table's description: the entry cannot be exchanged.
        logLine(QStringLiteral("obmEntry: no description ") + name);
        if (m_cur.title.isEmpty())
            m_cur.title = name;
        showBox(IconCritical, Incomplete);
        return false;
    }
    if (m_load && ftpChannel()) {
        m_cur.remote = entry.name;
        m_cur.source = m_getPath + QLatin1Char('/') + name;
        m_cur.transfer = joined(work, name);
        m_cur.bin = entry.type == 0 ? m_cur.transfer : resolveFileCase(joined(work, derived));
    } else if (m_load) {
        m_cur.source = resolveFileCase(joined(m_getPath, name));
        m_cur.transferIsSource = m_inputIsWork;
        m_cur.transfer = m_inputIsWork ? m_cur.source : joined(work, name);
        // The table the program opens, whatever letter case it was made with.
        m_cur.bin = entry.type == 0 ? m_cur.transfer : resolveFileCase(joined(work, derived));
    } else {
        m_cur.bin = resolveFileCase(joined(work, name));
        m_cur.transfer = entry.type == 0 ? m_cur.bin : joined(work, derived);
        m_cur.remote = fromUi(QFileInfo(m_cur.transfer).fileName());
        m_cur.transferIsTarget = m_outputIsWork;
        m_cur.target = m_outputIsWork ? m_cur.transfer
                                      : resolveFileCase(joined(m_putPath, QFileInfo(m_cur.transfer).fileName()));
    }
    return true;
}

void ObMain::failEntry(const QString& text)
{
    finishLog(text);
    m_step = StepFileDone;
}

void ObMain::finishLog(const QString& text)
{
    iopFinish(text);
    m_cur.logFinished = true;
}

void ObMain::loadBegin()
{
    // Skipped or refused entries go straight on to the next one, without a log.
    if (!takeEntry()) {
        m_step = StepNextFile;
        return;
    }
    const bool readInPlace = m_cur.type == 0 && m_cur.transferIsSource;
    const bool exists = !readInPlace && QFileInfo::exists(m_cur.bin);
    if (exists && !obmen().enLoadReplace) {
        if (!askReplace(AlreadyThere, QStringLiteral("Загрузить"))) {
            m_step = StepNextFile;
            return;
        }
    } else if (exists && m_cur.type >= 1 && m_cur.type <= 3 && QFileInfo::exists(markerOf(m_cur.bin))) {
        // Counted or edited on the terminal and not yet unloaded: replacing it loses that work.
        if (!askReplace(QStringLiteral("Справочник изменён\nи не выгружен"), QStringLiteral("Загрузить"))) {
            m_step = StepNextFile;
            return;
        }
    }
    m_obmenWin->setWindowTitle(LoadTitle);
    iopStart(m_cur.logTitle, true);
    m_cur.logStarted = true;

    if (ftpChannel()) {
        if (ftpGet())
            m_step = StepTransferred;
        else
            failEntry(QStringLiteral("Справочник не загружен."));
        return;
    }
    CopyOutcome outcome = CopyOutcome::SameFile;
    if (!m_cur.transferIsSource) {
        setState(QStringLiteral("Копирование"));
        outcome = copyFileSafely(
            m_cur.source, m_cur.transfer, [this](qint64 done, qint64 total) { Progress(done, total); });
        if (outcome == CopyOutcome::SameFile)
            m_cur.transferIsSource = true;
    } else if (!QFileInfo(m_cur.transfer).isFile()) {
        outcome = CopyOutcome::NoSource;
    }
    switch (outcome) {
    case CopyOutcome::Copied:
    case CopyOutcome::SameFile:
        m_step = StepTransferred;
        return;
    case CopyOutcome::NoSource:
        iopMsg(QStringLiteral("Нет справочника"));
        showBox(IconCritical, QStringLiteral("Загрузка\nНет\nсправочника"));
        break;
    case CopyOutcome::Failed:
        showBox(IconCritical, QStringLiteral("Загрузка\nОшибка\nкопирования"));
        break;
    }
    failEntry(QStringLiteral("Справочник не загружен."));
}

void ObMain::loadTransferred()
{
    m_step = StepFileDone;
    if (ftpChannel() && (m_ftpError || m_doneError)) {
        ftpLoadFailed();
        return;
    }
    const bool always = obmen().loadMessage == 1;
    if (m_cur.type == 0) {
        // Any other document is taken as it is.
        m_cur.done = true;
        if (always)
            showBox(IconInformation, QStringLiteral("Загрузка\nвыполнена\nуспешно"));
        finishLog(QStringLiteral("Справочник загружен успешно."));
        return;
    }
    setState(QStringLiteral("Редукция\nвыполняется"));
    m_obmenWin->setAbortVisible(false);
    // An empty office file may come as no file at all.
    const ReduceResult result = ftpChannel() && QFileInfo(m_cur.transfer).size() <= 0
        ? ReduceResult::Empty
        : reduceText(*m_conv, m_cur.type, m_cur.transfer, m_cur.bin, *m_cur.table);
    if (!m_cur.transferIsSource)
        QFile::remove(m_cur.transfer);
    if (result == ReduceResult::Empty) {
        setState(QStringLiteral("Редукция\nзавершена"));
        iopMsg(QStringLiteral("Нет справочника"));
        showBox(IconCritical, QStringLiteral("Нет\nсправочника"));
        finishLog(QStringLiteral("Справочник не загружен."));
        return;
    }
    // The table was replaced (its change marker went with it): the office's file was taken.
    m_cur.done = result == ReduceResult::Ok || result == ReduceResult::BadLines;
    if (result != ReduceResult::Ok) {
        setState(QStringLiteral("Редукция\nошибки"));
        // The weight codes that do not load as weight codes are refused outright.
        showBox(m_cur.type == 4 && result == ReduceResult::Failed ? IconCritical : IconWarning,
            QStringLiteral("Редукция\nошибки"));
    }
    setState(QStringLiteral("Редукция\nзавершена"));
    if (result == ReduceResult::Ok) {
        if (always)
            showBox(IconInformation, QStringLiteral("Загрузка\nвыполнена\nуспешно"));
        finishLog(QStringLiteral("Справочник загружен успешно."));
    } else {
        showBox(IconInformation, QStringLiteral("Загрузка\nвыполнена\nс ошибками"));
        finishLog(QStringLiteral("Справочник загружен с ошибками."));
    }
}

void ObMain::unloadBegin()
{
    if (!takeEntry()) {
        m_step = StepNextFile;
        return;
    }
    // Results the office has not collected yet are not overwritten unasked (on the office
    // server the office decides that itself).
    const bool replace
        = ftpChannel() || !QFileInfo::exists(m_cur.target) || askReplace(AlreadyThere, QStringLiteral("Заменить"));
    m_obmenWin->setWindowTitle(UnloadTitle);
    iopStart(m_cur.logTitle, false);
    m_cur.logStarted = true;
    if (!replace) {
        failEntry(QStringLiteral("Справочник не выгружен."));
        return;
    }
    if (m_cur.type == 0 && ftpChannel()) {
        if (putFtpFile(m_cur.bin))
            m_step = StepTransferred;
        else
            failEntry(QStringLiteral("Справочник не выгружен."));
        return;
    }
    if (m_cur.type == 0) {
        if (!QFileInfo(m_cur.bin).isFile()) {
            showBox(IconCritical, QStringLiteral("Выгрузка\nСправочник\nне открыт"));
            failEntry(QStringLiteral("Справочник не выгружен."));
            return;
        }
        m_step = StepTransferred;
        return;
    }
    setState(QStringLiteral("Конвертация\nвыполняется"));
    m_obmenWin->setAbortVisible(false);
    const bool converted = convertForUnload(*m_conv, m_cur.bin, m_cur.transfer, *m_cur.table);
    if (!converted) {
        setState(QStringLiteral("Конвертация\nошибки"));
        showBox(IconCritical, QStringLiteral("Конвертация\nошибки"));
    }
    setState(QStringLiteral("Конвертация\nзавершена"));
    if (!converted || (ftpChannel() && !putFtpFile(m_cur.transfer))) {
        failEntry(QStringLiteral("Справочник не выгружен."));
        return;
    }
    m_step = StepTransferred;
}

void ObMain::unloadTransferred()
{
    if (ftpChannel() && (m_ftpError || m_doneError)) {
        ftpUnloadFailed();
        return;
    }
    if (!m_cur.transferIsTarget && !ftpChannel()) {
        setState(QStringLiteral("Копирование"));
        const CopyOutcome outcome = copyFileSafely(
            m_cur.transfer, m_cur.target, [this](qint64 done, qint64 total) { Progress(done, total); });
        if (outcome == CopyOutcome::SameFile)
            m_cur.transferIsTarget = true;
        if (outcome != CopyOutcome::Copied && outcome != CopyOutcome::SameFile) {
            showBox(IconCritical, QStringLiteral("Выгрузка\nОшибка\nкопирования"));
            failEntry(QStringLiteral("Справочник не выгружен."));
            return;
        }
    }
    m_cur.done = true;
    // Delivered: the table holds no unsent changes any more.
    QFile::remove(markerOf(m_cur.bin));
    if (obmen().unloadMessage == 1)
        showBox(IconInformation, QStringLiteral("Выгрузка\nвыполнена\nуспешно"));
    m_step = StepFileDone;
    finishLog(QStringLiteral("Справочник выгружен успешно."));
}

void ObMain::fileDone()
{
    m_step = StepNextFile;
    if (ftpChannel()) {
        if (m_cur.sourceActed && m_ftpError)
            logLine(QStringLiteral("obmFtp: source action failed: ") + m_ftpErrorText);
        if (!m_load) {
            if (m_cur.done)
                applySourceAction(static_cast<SourceAction>(obmen().unloadAct), m_cur.bin);
            if (m_cur.type != 0)
                QFile::remove(m_cur.transfer);
        }
        if (!m_cur.logStarted)
            return;
        if (m_cur.uploadBroken) {
            // The office must not take a log for a directory it did not get whole; the terminal
            // keeps it.
            logLine(QStringLiteral("obmIop: not sent after a broken upload, kept ") + iopFileName());
            return;
        }
        putFtpIop();
        return;
    }
    if (m_cur.logStarted)
        deliverLog();
    if (m_load) {
        // The office's file is only marked as taken when its directory really was loaded; an
        // "other document" read where it lies has no copy but that one.
        if (m_cur.done && !(m_cur.type == 0 && m_cur.transferIsSource))
            applySourceAction(static_cast<SourceAction>(obmen().loadAct), m_cur.source);
        return;
    }
    if (m_cur.done)
        applySourceAction(static_cast<SourceAction>(obmen().unloadAct), m_cur.bin);
    // A text delivered where it lies (the output folder is the work folder) is the delivery.
    if (m_cur.type != 0 && !m_cur.transferIsTarget)
        QFile::remove(m_cur.transfer);
}

void ObMain::deliverLog()
{
    const QString log = iopFileName();
    if (log.isEmpty())
        return;
    // After a load the log goes to the input folder, after an unload to the output folder.
    if (m_load ? m_inputIsWork : m_outputIsWork) {
        logLine(QStringLiteral("obmIop: delivered in the work folder ") + log);
        return;
    }
    if (!QFileInfo(log).isFile()) {
        // Never written (it could not be opened): nothing to deliver.
        iopRelease();
        return;
    }
    const QString target = joined(m_load ? m_getPath : m_putPath, QFileInfo(log).fileName());
    switch (copyFileSafely(log, target)) {
    case CopyOutcome::Copied:
        iopRelease();
        break;
    case CopyOutcome::SameFile:
        // Already where it belongs: releasing would delete the delivered log.
        logLine(QStringLiteral("obmIop: delivered in place ") + log);
        break;
    case CopyOutcome::NoSource:
    case CopyOutcome::Failed:
        logLine(QStringLiteral("obmIop: not delivered, kept ") + log + QStringLiteral(" -> ") + target);
        break;
    }
}

void ObMain::nextFile()
{
    if (ftpChannel() && m_cur.logSent) {
        if (m_ftpError || m_doneError)
            logLine(
                QStringLiteral("obmIop: not delivered, kept ") + iopFileName() + QStringLiteral(": ") + m_ftpErrorText);
        else
            iopRelease();
    }
    m_cur = Current();
    ++m_index;
    if (m_abortRequested || m_index >= m_entries.size()) {
        if (!ftpChannel() || !closeFtp())
            obmObmenExit();
        return;
    }
    m_step = StepBegin;
}

void ObMain::Progress(qint64 done, qint64 total)
{
    if (!m_obmenWin)
        return;
    m_obmenWin->setProgress(done, total);
    if (ftpChannel()) {
        // While the directory itself travels (the log's upload later shows no text).
        if (m_load && (m_step == StepBegin || m_step == StepTransferred) && m_waitFtp)
            setState(QStringLiteral("ФТП\nчтение"));
        else if (!m_load && m_step == StepTransferred && m_waitFtp)
            setState(QStringLiteral("ФТП\nзапись"));
        return;
    }
    if (m_load && m_step == StepBegin)
        setState(QStringLiteral("Лок.папка\nчтение"));
    else if (!m_load && m_step == StepTransferred)
        setState(QStringLiteral("Лок.папка\nзапись"));
}

// ---- The FTP client channel ----------------------------------------------------------------

namespace {

const QString InputFolder = QStringLiteral("Входная папка");

QString ftpStateText(int state)
{
    switch (state) {
    case FtpClient::HostLookup:
        return QStringLiteral("ФТП\nПоиск сервера");
    case FtpClient::Connecting:
        return QStringLiteral("ФТП\nСоединяется");
    case FtpClient::Connected:
        return QStringLiteral("ФТП\nЕсть соединение");
    case FtpClient::LoggedIn:
        return QStringLiteral("ФТП\nАвторизация");
    case FtpClient::Closing:
        return QStringLiteral("ФТП\nРазъединение");
    case FtpClient::Unconnected:
    default:
        return QStringLiteral("ФТП\nНет соединения");
    }
}

FtpClient::TransferMode transferMode()
{
    return appState().user.ftpClient.transferMode == 1 ? FtpClient::Active : FtpClient::Passive;
}

// "label id" for the run log.
QByteArray idLine(const char* label, int id)
{
    return QByteArray(label) + ' ' + QByteArray::number(id);
}

} // namespace

void ObMain::newFtp()
{
    dropFtp();
    m_ftp = new FtpClient(this);
    connect(m_ftp, &FtpClient::stateChanged, this, &ObMain::State);
    connect(m_ftp, &FtpClient::done, this, &ObMain::DoneFtp);
    connect(m_ftp, &FtpClient::commandStarted, this, &ObMain::Started);
    connect(m_ftp, &FtpClient::commandFinished, this, &ObMain::Finished);
    connect(m_ftp, &FtpClient::dataTransferProgress, this, &ObMain::Progress);
    connect(m_ftp, &FtpClient::listInfo, this, &ObMain::ldListInfo);
    m_ftpCommand = -1;
    m_ftpError = false;
    m_ftpErrorText.clear();
    m_waitFtp = false;
}

void ObMain::dropFtp()
{
    if (!m_ftp)
        return;
    // It may be inside one of its own signals: it goes from the event loop (and ends its
    // connection on the way).
    disconnect(m_ftp, nullptr, this, nullptr);
    m_ftp->deleteLater();
    m_ftp = nullptr;
}

void ObMain::Started(int id)
{
    m_ftpCommand = id;
}

void ObMain::Finished(int id, bool error)
{
    if (id == m_ftpCommand)
        m_ftpCommand = -1;
    const int code = m_ftp ? int(m_ftp->error()) : 0;
    logLine(QByteArrayLiteral("Finished ") + QByteArray::number(id) + ' ' + QByteArray::number(error) + ' '
        + QByteArray::number(code));
    if (error && m_ftp) {
        m_ftpError = true;
        m_ftpErrorText = m_ftp->errorString();
    }
}

void ObMain::State(int state)
{
    const QString text = ftpStateText(state);
    setState(text);
    logLine(QStringLiteral("stateChanged %1 ").arg(state) + oneLine(text));
    if (state == FtpClient::Unconnected && m_step == StepClosing) {
        logLine(QByteArrayLiteral("State:DoneFtp"));
        DoneFtp(false);
    }
}

void ObMain::DoneFtp(bool error)
{
    if (!m_running)
        return;
    logLine(QByteArrayLiteral("DoneFtp ") + QByteArray::number(error));
    if (m_step == StepClosing) {
        // The connection is closed: the exchange is over.
        obmObmenExit();
        return;
    }
    if (!m_waitFtp)
        return;
    m_waitFtp = false;
    m_doneError = error;
    if (m_listMode) {
        ftpListEnd(error);
        return;
    }
    queueStep();
}

// What every transfer shows first.
void ObMain::ftpOperation()
{
    setState(QStringLiteral("ФТП"));
    m_obmenWin->resetProgress();
    m_obmenWin->setAbortVisible(true);
    if (!m_obmenWin->isVisible())
        showScreen(m_obmenWin);
    m_ftpError = false;
    m_ftpErrorText.clear();
    m_doneError = false;
}

void ObMain::ftpConnect(const QString& path)
{
    const FtpClientSettings& ftp = appState().user.ftpClient;
    // The first operation connects; the later ones find the connection and change folder only.
    if (m_ftp->state() == FtpClient::Unconnected) {
        const QString host = toUi(ftp.ipAdress.trimmed());
        logLine(idLine("ftpConnect:connectToHost", m_ftp->connectToHost(host, m_ftpPort)) + ' ' + fromUi(host) + ':'
            + QByteArray::number(m_ftpPort));
        logLine(idLine("ftpConnect:login", m_ftp->login(ftp.userName, ftp.passWord)) + ' ' + ftp.userName);
    }
    if (!path.isEmpty())
        logLine(idLine("ftpConnect:cd", m_ftp->cd(fromUi(path))) + ' ' + fromUi(path));
}

bool ObMain::ftpGet()
{
    ftpOperation();
    // The client fills the transfer file through a temporary of its own and puts it in place only
    // when the whole file came: a broken transfer leaves nothing behind. Here only whether the
    // work folder takes the file is tried, without touching a file of that name.
    if (m_cur.type != 0)
        QFile::remove(m_cur.transfer);
    QFile probe(m_cur.transfer);
    const bool existed = probe.exists();
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
        logLine(QStringLiteral("ftpGet: not open ") + m_cur.transfer + QLatin1Char(' ') + probe.errorString());
        showBox(IconCritical, QStringLiteral("Загрузка\nСправочник\nне открыт"));
        return false;
    }
    probe.close();
    if (!existed)
        probe.remove();
    ftpConnect(m_getPath);
    logLine(idLine("ftpGet:setTransferMode", m_ftp->setTransferMode(transferMode())));
    logLine(idLine("ftpGet:get", m_ftp->get(m_cur.remote, m_cur.transfer)) + ' ' + m_cur.remote);
    m_waitFtp = true;
    return true;
}

bool ObMain::putFtpFile(const QString& file)
{
    ftpOperation();
    logLine(QStringLiteral("PutFtpFile ") + file);
    QFile probe(file);
    if (!probe.open(QIODevice::ReadOnly)) {
        showBox(IconCritical, QStringLiteral("Выгрузка\nСправочник\nне открыт"));
        return false;
    }
    if (probe.size() == 0) {
        showBox(IconCritical, QStringLiteral("Выгрузка\nСправочник\nнулевой длины"));
        return false;
    }
    probe.close();
    ftpConnect(m_putPath);
    logLine(idLine("ftpPut:setTransferMode", m_ftp->setTransferMode(transferMode())));
    logLine(idLine("ftpPut:put", m_ftp->put(file, m_cur.remote)) + ' ' + m_cur.remote);
    m_waitFtp = true;
    return true;
}

void ObMain::ftpSourceAction()
{
    // Only a directory that was loaded; the office keeps its file for another try otherwise.
    if (!m_cur.done || m_doneError)
        return;
    const SourceAction action = static_cast<SourceAction>(obmen().loadAct);
    if (action == SourceAction::Keep)
        return;
    ftpOperation();
    ftpConnect(m_getPath);
    if (action == SourceAction::Delete) {
        logLine(idLine("RemFtpFile:remove", m_ftp->remove(m_cur.remote)) + ' ' + m_cur.remote);
    } else {
        QByteArray renamed = m_cur.remote;
        renamed[renamed.size() - 1] = 'o';
        logLine(
            idLine("RenFtpFile:rename", m_ftp->rename(m_cur.remote, renamed)) + ' ' + m_cur.remote + " -> " + renamed);
    }
    m_cur.sourceActed = true;
    m_waitFtp = true;
}

bool ObMain::putFtpIop()
{
    const QString log = iopFileName();
    if (log.isEmpty() || !QFileInfo(log).isFile()) {
        // Never written (it could not be opened): nothing to send.
        iopRelease();
        return false;
    }
    ftpOperation();
    logLine(QStringLiteral("PutFtpIop ") + log);
    QFile probe(log);
    if (!probe.open(QIODevice::ReadOnly)) {
        logLine(QStringLiteral("PutFtpIop: not open, kept ") + log);
        return false;
    }
    probe.close();
    ftpConnect(m_load ? m_getPath : m_putPath);
    m_ftp->setTransferMode(transferMode());
    m_ftp->put(log, fromUi(QFileInfo(log).fileName()));
    m_cur.logSent = true;
    m_waitFtp = true;
    return true;
}

bool ObMain::closeFtp()
{
    if (!m_ftp || m_ftp->state() == FtpClient::Unconnected)
        return false;
    m_step = StepClosing;
    logLine(idLine("CloseFtp:close", m_ftp->close()));
    m_waitFtp = true;
    return true;
}

void ObMain::ftpLoadFailed()
{
    const QString text = m_ftpError ? m_ftpErrorText : QStringLiteral("Загрузка\nошибки");
    // The client removed its temporary; a directory's text copy is ours to remove. Any other
    // document was never touched.
    if (m_cur.type != 0)
        QFile::remove(m_cur.transfer);
    showBox(IconCritical, text);
    iopMsg(oneLine(text));
    finishLog(
        m_doneError ? QStringLiteral("Справочник не загружен.") : QStringLiteral("Справочник загружен с ошибками."));
}

void ObMain::ftpUnloadFailed()
{
    m_step = StepFileDone;
    m_cur.uploadBroken = true;
    const QString text = m_ftpError ? m_ftpErrorText : QStringLiteral("Выгрузка\nошибки");
    showBox(IconCritical, text);
    iopMsg(oneLine(text));
    finishLog(QStringLiteral("Справочник не выгружен."));
}

void ObMain::abortFtp()
{
    if (m_step == StepAborted)
        return;
    if (m_inStep) {
        // Inside a step (a box of it is open): taken when the step is over.
        m_abortRequested = true;
        return;
    }
    if (m_step == StepClosing) {
        // Breaking off the close itself: nothing is left to wait for.
        obmObmenExit();
        return;
    }
    if (!m_waitFtp || !m_ftp) {
        if (m_looping) {
            m_step = StepAborted;
            queueStep();
        } else {
            obmObmenExit();
        }
        return;
    }
    // The done() that follows the broken-off command runs the aborted branch.
    m_step = StepAborted;
    m_ftp->abort();
    if (m_ftpCommand < 0) {
        // Nothing had started yet: the queue is dropped and no done() comes.
        m_waitFtp = false;
        if (m_listMode)
            ftpListEnd(true);
        else
            queueStep();
    }
}

void ObMain::ftpAborted()
{
    const bool unfinished = m_cur.logStarted && !m_cur.logFinished;
    if (unfinished) {
        iopMsg(m_load ? QStringLiteral("Загрузка прервана") : QStringLiteral("Выгрузка прервана"));
        finishLog(m_load ? QStringLiteral("Справочник не загружен.") : QStringLiteral("Справочник не выгружен."));
    }
    if (m_cur.logStarted)
        iopRelease();
    // The client removed its temporary and left any file of that name alone; the directory's text
    // copy of ours goes.
    if (unfinished && m_cur.type != 0 && !m_cur.transfer.isEmpty())
        QFile::remove(m_cur.transfer);
    m_cur = Current();
    if (!closeFtp())
        obmObmenExit();
}

void ObMain::ftpList()
{
    m_step = StepBegin;
    m_listLines.clear();
    m_obmenWin->setAbortVisible(true);
    if (const TableDescr* tab = listTable())
        QFile::remove(joined(workFolder(), textFileName(*tab)));
    m_ftpError = false;
    m_ftpErrorText.clear();
    m_doneError = false;
    ftpConnect(m_getPath);
    m_ftp->setTransferMode(transferMode());
    m_ftp->list();
    m_ftp->close();
    m_waitFtp = true;
}

void ObMain::ldListInfo(const UrlInfo& info)
{
    if (!m_listMode || !info.isValid() || !info.isFile)
        return;
    const QByteArray& name = info.name;
    const QByteArray upper = name.toUpper();
    const QByteArray extension = upper.right(4);
    qint32 type = 0;
    if (extension == ".TVR")
        type = 1;
    else if (extension == ".PRH")
        type = 2;
    else if (extension == ".WGT")
        type = 4;
    else
        return;
    const TableDescr* tab = listTable();
    const TableDescr* table = tableOfType(type);
    const int nameField = tab ? tab->fieldIndex(QByteArrayLiteral("NAME")) : -1;
    // A name from the server must name a file of that folder, and go into the list whole.
    QByteArray reason;
    if (!exchangeNameSafe(name))
        reason = "name leaves the folder";
    else if (!tab || name.contains(tab->tabChar))
        reason = "name holds the list separator";
    else if (name.trimmed() != name)
        reason = "name begins or ends with a blank";
    else if (nameField >= 0 && name.size() > tab->fields[nameField].length)
        reason = "name longer than the list's NAME field";
    if (!reason.isEmpty()) {
        logLine(QByteArrayLiteral("ldListInfo: ") + reason + ", left out: " + name);
        return;
    }
    const qsizetype numberLength = upper.size() - 5 - 4;
    const QByteArray docNumber = numberLength > 0 ? upper.mid(5, numberLength) : QByteArray();
    const qint64 records = table && table->recordLength > 0 && info.size > 0 ? info.size / table->recordLength : 0;
    // A listing without a date says nothing rather than 01.01.70.
    const QDateTime& modified = info.lastModified;
    const char sep = tab->tabChar;
    QByteArray line = name;
    line += sep;
    line += fileListWord(type);
    line += sep;
    line += QByteArray::number(type);
    line += sep;
    line += docNumber.isEmpty() ? fromUi(QStringLiteral("Б/Н")) : docNumber;
    line += sep;
    line += QByteArray::number(records);
    line += sep;
    if (modified.isValid())
        line += modified.toString(QStringLiteral("dd.MM.yy")).toLatin1();
    line += sep;
    if (modified.isValid())
        line += modified.toString(QStringLiteral("hh:mm")).toLatin1();
    line += sep;
    line += ' ';
    line += "\r\n";
    m_listLines += line;
}

bool ObMain::writeFtpList()
{
    TableDescr& tab = *listTable();
    const QString text = joined(workFolder(), textFileName(tab));
    ReplaceFile file(text);
    if (!file.open() || !file.write(m_listLines) || !file.commit()) {
        logLine(QStringLiteral("ldListInfo: list not written ") + text + QLatin1Char(' ') + file.errorString());
        return false;
    }
    m_listLines.clear();
    ConvFile conv;
    return conv.convertToBin(text, joined(workFolder(), binFileName(tab)), tab) != ConvFile::Status::FileError;
}

void ObMain::ftpListEnd(bool error)
{
    m_obmenWin->hide();
    if (m_step == StepAborted) {
        m_listLines.clear();
        if (!closeFtp())
            obmObmenExit();
        return;
    }
    if (m_ftpError || error) {
        showMessage(IconCritical, InputFolder, m_ftpError ? m_ftpErrorText : QStringLiteral("Загрузка\nошибки"));
        obmObmenExit();
        return;
    }
    if (!writeFtpList()) {
        showMessage(IconCritical, InputFolder, QStringLiteral("Загрузка\nошибки"));
        obmObmenExit();
        return;
    }
    m_listMode = false;
    openSelector(true, 0);
}
