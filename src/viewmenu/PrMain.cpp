#include "PrMain.h"

#include "AppState.h"
#include "Codec.h"
#include "DescrRegistry.h"
#include "Dialogs.h"
#include "FieldCodec.h"
#include "FileList.h"
#include "Index.h"
#include "IndexFreshness.h"
#include "KeyIndex.h"
#include "PrMainWin.h"
#include "ProsmBrowserWin.h"
#include "ProsmCase.h"
#include "RecordFile.h"
#include "RunLog.h"

#include <QDir>
#include <QFile>
#include <QStringBuilder>

namespace {

const QString ViewTitle = QStringLiteral("Просмотр");
const QString Incomplete = QStringLiteral("Неполное описание\nтаблиц в OrtSystem.ini");

// What the menu's directories are called, by kind.
struct KindTexts {
    QByteArray extension;
    int listType = 0; // the file-list kind
    QString listTitle;
    QString browseTitle;
};

KindTexts kindTexts(PrMain::Kind kind)
{
    switch (kind) {
    case PrMain::KindDirectory:
        break;
    case PrMain::KindResult:
        return { QByteArrayLiteral("RES"), 3, QStringLiteral("Выбор справочника остатков"),
            QStringLiteral("Справочник остатков") };
    case PrMain::KindWeight:
        return { QByteArrayLiteral("WGT"), 4, QStringLiteral("Выбор справочника вес.кодов"),
            QStringLiteral("Справочник вес.кодов") };
    }
    if (appState().receiptMode())
        return { QByteArrayLiteral("PRH"), 2, QStringLiteral("Выбор приходной накладной"),
            QStringLiteral("Приходная накладная") };
    return { QByteArrayLiteral("TVR"), 1, QStringLiteral("Выбор справочника товаров"),
        QStringLiteral("Справочник товаров") };
}

bool onDocument()
{
    return appState().user.programm.enOnDocument;
}

TableDescr* listTable()
{
    return descrRegistry().table(QByteArrayLiteral("TAB"));
}

ViewDescr* browseView(const QByteArray& extension)
{
    ViewDescr* view = descrRegistry().view(extension, fromUi(QStringLiteral("ПРОСМОТР")));
    return view && !view->columns.isEmpty() ? view : nullptr;
}

// A table whose records can be told apart: without a layout there is no record length to divide
// a file by.
bool described(const TableDescr& table)
{
    return table.recordLength > 0 && tableLayoutOk(table);
}

ProsmCase::Options browserOptions()
{
    ProsmCase::Options options;
    options.caseText = QStringLiteral("Выбрать");
    options.deleteText = QStringLiteral("Удалить");
    options.addText = QStringLiteral("Добавить");
    options.backText = QStringLiteral("Назад");
    options.startRecord = 0;
    return options;
}

// "Tovar01_TVR.BIN" -> "Tovar01.TVR": the text file the binary table was converted from.
QString textOfCopy(const QString& binFile)
{
    if (binFile.size() < 8)
        return QString();
    return binFile.left(binFile.size() - 8) % QLatin1Char('.') % binFile.mid(binFile.size() - 7, 3);
}

QString markerOf(const QString& binFile)
{
    return resolveFileCase(changeMarkerName(binFile));
}

} // namespace

PrMain::PrMain(QObject* parent)
    : QObject(parent)
{
}

PrMain::~PrMain()
{
    if (m_menuWin)
        disconnect(m_menuWin, nullptr, this, nullptr);
    delete m_browser;
    delete m_menuWin;
}

PrMainWin* PrMain::menuWindow() const
{
    return m_menuWin;
}

ProsmCase* PrMain::browser() const
{
    return m_browser;
}

// ---- The menu ------------------------------------------------------------------------------

void PrMain::prmMain()
{
    if (m_active)
        return;
    m_active = true;
    logLine(QByteArrayLiteral("prmMain"));
    const QString work = toUi(appState().workDir);
    const AskFn ask = [](const QString& title, const QString& text, const QString& first, const QString& second) {
        return askChoice(title, text, first, second);
    };
    const ShowFn show = [](int icon, const QString& title, const QString& text) { showMessage(icon, title, text); };
    if (!checkFolder(work, QStringLiteral("Нет рабочей папки"), ViewTitle, ask, show) || !QDir::setCurrent(work)) {
        handBack();
        return;
    }
    saveBindings();
    const TableDescr* tab = listTable();
    m_nameField = tab ? tab->fieldIndex(QByteArrayLiteral("NAME")) : -1;
    m_numberField = tab ? tab->fieldIndex(QByteArrayLiteral("NUMBER")) : -1;

    m_menuWin = new PrMainWin;
    m_menuWin->setTitle(ViewTitle);
    m_menuWin->setDirectoryText(appState().receiptMode() ? QStringLiteral("1. Приход") : QStringLiteral("1. Товары"));
    connect(m_menuWin, &PrMainWin::PrMainWinTovari, this, &PrMain::prmTovari);
    connect(m_menuWin, &PrMainWin::PrMainWinResult, this, &PrMain::prmResult);
    connect(m_menuWin, &PrMainWin::PrMainWinWgtbar, this, &PrMain::prmWgtbar);
    connect(m_menuWin, &PrMainWin::PrMainWinExit, this, &PrMain::prmExit);
    connect(m_menuWin, &QObject::destroyed, this, &PrMain::prmDestroyed);
    showMenu();
}

void PrMain::showMenu()
{
    if (!m_menuWin)
        return;
    m_menuWin->setGateOpen(true);
    showScreen(m_menuWin);
    m_menuWin->activateWindow();
}

void PrMain::prmTovari()
{
    choose(KindDirectory);
}

void PrMain::prmResult()
{
    choose(KindResult);
}

void PrMain::prmWgtbar()
{
    choose(KindWeight);
}

void PrMain::choose(Kind kind)
{
    if (!m_menuWin)
        return;
    m_kind = kind;
    const KindTexts texts = kindTexts(kind);
    m_listTitle = texts.listTitle;
    if (onDocument()) {
        m_browseTitle = texts.browseTitle + QStringLiteral(" N ");
        openList();
        return;
    }
    m_browseTitle = texts.browseTitle;
    const TableDescr* table = kindTable();
    browse(table ? resolveFileCase(binFileName(*table)) : QString(), QByteArray());
}

TableDescr* PrMain::kindTable() const
{
    return descrRegistry().table(kindTexts(m_kind).extension);
}

ViewDescr* PrMain::kindView() const
{
    return browseView(kindTexts(m_kind).extension);
}

void PrMain::incomplete()
{
    logLine(QByteArrayLiteral("prmMain: tables incomplete"));
    showMessage(IconCritical, ViewTitle, Incomplete);
}

// ---- The list of numbered copies -----------------------------------------------------------

bool PrMain::listReady() const
{
    const TableDescr* tab = listTable();
    return tab && described(*tab) && browseView(QByteArrayLiteral("TAB")) && m_nameField >= 0 && m_numberField >= 0;
}

void PrMain::openList()
{
    TableDescr* table = kindTable();
    TableDescr* tab = listTable();
    if (!table || !listReady()) {
        incomplete();
        showMenu();
        return;
    }
    // An undescribed table's copies are listed with no records rather than divided by zero.
    const qint32 recordLength = described(*table) ? table->recordLength : 0;
    if (!CreFileList(textFileName(*tab), binFileName(*tab), *tab, kindTexts(m_kind).listType, table->workName,
            recordLength, appState().user.obmen.enCaseChanged)) {
        logLine(QByteArrayLiteral("prmMain: file list not made"));
        showMessage(IconCritical, ViewTitle, QStringLiteral("Список файлов\nне создан"));
        showMenu();
        return;
    }
    m_browser = new ProsmCase(this);
    connect(m_browser, &ProsmCase::snExit, this, &PrMain::prmProsmExit);
    connect(m_browser, &ProsmCase::snCaseRec, this, &PrMain::prmProsmCase);
    connect(m_browser, &ProsmCase::snDelRec, this, &PrMain::prmProsmDel);
    // Later messages about the list carry the directory's name.
    tab->pname = table->pname;
    ProsmCase::Options options = browserOptions();
    options.addDisabled = true;
    m_menuWin->setGateOpen(false);
    m_browser->mainTabTab(binFileName(*tab), *tab, *browseView(QByteArrayLiteral("TAB")), m_listTitle, options);
}

bool PrMain::readListRecord(int record, QByteArray& name, QByteArray& number) const
{
    const TableDescr* tab = listTable();
    QByteArray row;
    if (record < 0 || !tab || !readRec(binFileName(*tab), *tab, record, row))
        return false;
    name = fieldToText(tab->fields[m_nameField], row).trimmed();
    number = fieldToText(tab->fields[m_numberField], row).trimmed();
    // The name is a file of the work folder, never a path.
    return !name.isEmpty() && !name.contains('/') && !name.contains('\\');
}

void PrMain::prmProsmExit()
{
    closeBrowser();
    showMenu();
}

void PrMain::prmProsmCase(int record)
{
    QByteArray name, number;
    if (!readListRecord(record, name, number)) {
        prmProsmExit();
        return;
    }
    closeBrowser();
    if (m_menuWin)
        m_menuWin->setGateOpen(true);
    logLine(QByteArrayLiteral("prmProsmCase ") + name);
    if (TableDescr* table = kindTable())
        setPnameSuffix(*table, number);
    browse(resolveFileCase(toUi(name)), number);
}

void PrMain::prmProsmDel(int record)
{
    QByteArray name, number;
    if (!readListRecord(record, name, number)) {
        prmProsmExit();
        return;
    }
    closeBrowser();
    if (m_menuWin)
        m_menuWin->setGateOpen(true);
    const QString binFile = resolveFileCase(toUi(name));
    const TableDescr* table = kindTable();
    const QString title = table ? toUi(table->pname) : ViewTitle;
    if (askChoice(title, deleteQuestion(binFile), QStringLiteral("Да"), QStringLiteral("Нет")) == 0)
        removeCopy(binFile);
    openList();
}

QString PrMain::deleteQuestion(const QString& binFile) const
{
    QString text = QStringLiteral("Удалить\nсправочник?");
    // Results with a change marker hold bookings the office has not had yet.
    if (m_kind == KindResult && QFile::exists(markerOf(binFile)))
        text += QStringLiteral("\nОстатки в нём\nне выгружены.");
    return text;
}

void PrMain::removeCopy(const QString& binFile)
{
    logLine(QByteArrayLiteral("prmProsmDel ") + fromUi(binFile));
    const QString textFile = textOfCopy(binFile);
    QStringList files { binFile, markerOf(binFile) };
    if (!textFile.isEmpty())
        files << resolveFileCase(textFile);
    // The goods index files beside it may be this copy's; they are built again on first use.
    if (kindTexts(m_kind).extension == "TVR")
        for (const KeyRole role : { KeyRole::Bar, KeyRole::Code })
            files << indexFileName(binFile, role) << sortedIndexFileName(indexFileName(binFile, role));
    for (const QString& file : std::as_const(files)) {
        if (!QFile::exists(file))
            continue;
        const bool removed = QFile::remove(file);
        noteFileWritten(file);
        if (!removed) {
            logLine(QByteArrayLiteral("prmProsmDel: not removed ") + fromUi(file));
            // A table that stays keeps its marker and the rest: unsent changes stay marked.
            if (file == binFile) {
                showMessage(IconWarning, ViewTitle, QStringLiteral("Ошибка удаления"));
                return;
            }
        }
    }
}

// ---- Browsing a table ----------------------------------------------------------------------

void PrMain::browse(const QString& file, const QByteArray& number)
{
    TableDescr* table = kindTable();
    ViewDescr* view = kindView();
    if (!table || !view) {
        incomplete();
        afterBrowse();
        return;
    }
    if (described(*table)) {
        table->recordCount = recordCountOf(file, *table);
    } else {
        // No record length to divide the file by: shown as an empty table.
        incomplete();
        table->recordCount = 0;
    }
    QString title = m_browseTitle;
    if (onDocument())
        title += toUi(number);
    m_browser = new ProsmCase(this);
    connect(m_browser, &ProsmCase::snExit, this, &PrMain::prmSpravExit);
    ProsmCase::Options options = browserOptions();
    options.caseDisabled = options.deleteDisabled = options.addDisabled = true;
    options.localDelete = true;
    if (m_menuWin)
        m_menuWin->setGateOpen(false);
    m_browser->mainTabFile(file, *table, *view, title, options);
}

void PrMain::prmSpravExit()
{
    closeBrowser();
    afterBrowse();
}

void PrMain::afterBrowse()
{
    restoreBindings();
    if (onDocument())
        openList();
    else
        showMenu();
}

void PrMain::closeBrowser()
{
    if (!m_browser)
        return;
    // The browser may be inside one of its own signals: it goes from the event loop.
    disconnect(m_browser, nullptr, this, nullptr);
    if (QWidget* window = m_browser->window())
        window->hide();
    m_browser->deleteLater();
    m_browser = nullptr;
}

// ---- Descriptors ---------------------------------------------------------------------------

void PrMain::saveBindings()
{
    m_saved.clear();
    for (const char* extension : { "TVR", "PRH", "RES", "WGT", "TAB" })
        if (TableDescr* table = descrRegistry().table(QByteArray(extension)))
            m_saved.append({ table, table->pname });
}

void PrMain::restoreBindings()
{
    // The directory number a chosen copy gave the display name goes, and the record count is the
    // standard file's again.
    for (const Saved& saved : std::as_const(m_saved)) {
        saved.table->pname = saved.pname;
        saved.table->recordCount = recordCountOf(resolveFileCase(binFileName(*saved.table)), *saved.table);
    }
}

// ---- Leaving -------------------------------------------------------------------------------

void PrMain::prmExit()
{
    if (!m_active || !m_menuWin)
        return;
    logLine(QByteArrayLiteral("prmExit"));
    finish();
}

void PrMain::prmDestroyed(QObject*)
{
    // The menu window closed some other way than through its exit. Its destructor is running: it
    // is no menu window any more and must not be used, only forgotten.
    m_menuWin.clear();
    if (m_active)
        finish();
}

void PrMain::finish()
{
    closeBrowser();
    if (m_menuWin) {
        disconnect(m_menuWin, nullptr, this, nullptr);
        m_menuWin->hide();
        m_menuWin->deleteLater();
    }
    m_menuWin = nullptr;
    if (const TableDescr* tab = listTable(); tab && !tab->workName.isEmpty()) {
        const QString bin = binFileName(*tab);
        QFile::remove(textFileName(*tab));
        QFile::remove(bin);
        QFile::remove(changeMarkerName(bin));
    }
    restoreBindings();
    handBack();
}

void PrMain::handBack()
{
    m_active = false;
    appState().menuGate = true;
    emit returned();
}
