#include "PrMain.h"

#include "AppState.h"
#include "Codec.h"
#include "CopyChooser.h"
#include "DescrRegistry.h"
#include "Dialogs.h"
#include "DocKind.h"
#include "FieldCodec.h"
#include "FileList.h"
#include "PrMainWin.h"
#include "ProsmBrowserWin.h"
#include "ProsmCase.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "TableFiles.h"

#include <QDir>

namespace {

const QString ViewTitle = QStringLiteral("Просмотр");
const QString Incomplete = QStringLiteral("Неполное описание\nтаблиц в OrtSystem.ini");

// What the menu's directories are called, by kind.
struct KindTexts {
    DocKind docKind;
    QString listTitle;
    QString browseTitle;
};

KindTexts kindTexts(PrMain::Kind kind)
{
    switch (kind) {
    case PrMain::KindDirectory:
        break;
    case PrMain::KindResult:
        return { DocKind::Results, QStringLiteral("Выбор справочника остатков"),
            QStringLiteral("Справочник остатков") };
    case PrMain::KindWeight:
        return { DocKind::WeightCodes, QStringLiteral("Выбор справочника вес.кодов"),
            QStringLiteral("Справочник вес.кодов") };
    }
    if (appState().receiptMode())
        return { DocKind::Receipt, QStringLiteral("Выбор приходной накладной"), QStringLiteral("Приходная накладная") };
    return { DocKind::Goods, QStringLiteral("Выбор справочника товаров"), QStringLiteral("Справочник товаров") };
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

} // namespace

PrMain::PrMain(QObject* parent)
    : QObject(parent)
    , m_copies(new CopyChooser(this))
{
    connect(m_copies, &CopyChooser::chosen, this, &PrMain::prmProsmCase);
    connect(m_copies, &CopyChooser::back, this, &PrMain::prmProsmExit);
    connect(m_copies, &CopyChooser::failed, this, &PrMain::prmProsmExit);
}

PrMain::~PrMain()
{
    if (m_menuWin)
        disconnect(m_menuWin, nullptr, this, nullptr);
    delete m_browser;
    delete m_copies;
    delete m_menuWin;
}

PrMainWin* PrMain::menuWindow() const
{
    return m_menuWin;
}

ProsmCase* PrMain::browser() const
{
    return m_browser ? m_browser.data() : m_copies->chooser();
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
    return descrRegistry().table(docKindExtension(kindTexts(m_kind).docKind));
}

ViewDescr* PrMain::kindView() const
{
    return browseView(docKindExtension(kindTexts(m_kind).docKind));
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
    return tab && described(*tab) && browseView(QByteArrayLiteral("TAB"))
        && tab->fieldIndex(QByteArrayLiteral("NAME")) >= 0 && tab->fieldIndex(QByteArrayLiteral("NUMBER")) >= 0;
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
    // Later messages about the list carry the directory's name.
    const QString name = toUi(table->pname);
    tab->pname = table->pname;
    CopyChooser::Options options;
    options.kind = kindTexts(m_kind).docKind;
    options.table = table;
    options.list = tab;
    options.listView = browseView(QByteArrayLiteral("TAB"));
    options.texts.title = ViewTitle;
    options.texts.listTitle = m_listTitle;
    options.texts.deleteTitle = name;
    m_menuWin->setGateOpen(false);
    if (!m_copies->open(options))
        showMenu();
}

void PrMain::prmProsmExit()
{
    m_copies->close();
    closeBrowser();
    showMenu();
}

void PrMain::prmProsmCase(const QString& file, const QByteArray& number)
{
    if (m_menuWin)
        m_menuWin->setGateOpen(true);
    logLine(QByteArrayLiteral("prmProsmCase ") + fromUi(file));
    browse(file, number);
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
    m_copies->close();
    closeBrowser();
    if (m_menuWin) {
        disconnect(m_menuWin, nullptr, this, nullptr);
        m_menuWin->hide();
        m_menuWin->deleteLater();
    }
    m_menuWin = nullptr;
    if (const TableDescr* tab = listTable(); tab && !tab->workName.isEmpty())
        removeFileList(*tab);
    restoreBindings();
    handBack();
}

void PrMain::handBack()
{
    m_active = false;
    appState().menuGate = true;
    emit returned();
}
