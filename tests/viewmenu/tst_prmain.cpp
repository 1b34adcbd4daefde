#include "AppState.h"
#include "Codec.h"
#include "DescrRegistry.h"
#include "FieldCodec.h"
#include "KeyIndex.h"
#include "PrMain.h"
#include "PrMainWin.h"
#include "ProsmBrowserWin.h"
#include "ProsmCase.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "ScriptedResponder.h"
#include "SettingsFiles.h"
#include "TableFiles.h"
#include "TestUtil.h"
#include "ViewingFixtures.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

TableDescr& table(const QByteArray& extension)
{
    return *descrRegistry().table(extension);
}

QString titleOf(const QWidget* window)
{
    const auto* l = window ? window->findChild<QLabel*>(QStringLiteral("UserTitle")) : nullptr;
    return l ? l->text() : QStringLiteral("<no window>");
}

void click(QWidget* window, const char* button)
{
    QPushButton* b = window ? window->findChild<QPushButton*>(QLatin1String(button)) : nullptr;
    QVERIFY2(b, button);
    QTest::mouseClick(b, Qt::LeftButton);
}

// The menu key of a table's kind.
Qt::Key keyOf(const QByteArray& extension)
{
    return extension == "RES" ? Qt::Key_2 : extension == "WGT" ? Qt::Key_3 : Qt::Key_1;
}

int visibleBrowsers()
{
    int n = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        n += qobject_cast<ProsmBrowserWin*>(top) && top->isVisible();
    return n;
}

} // namespace

class TestPrMain : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void kinds_data();
    void kinds();
    void deleteCopy_data();
    void deleteCopy();
    void tableThatStaysKeepsItsMarker();
    void everyWayOut_data();
    void everyWayOut();
    void undescribed_data();
    void undescribed();

private:
    QWidget* browser() const { return m_prm->browser() ? m_prm->browser()->window() : nullptr; }
    void open(bool onDocument, bool receipt = false);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedResponder> m_boxes;
    std::unique_ptr<PrMain> m_prm;
};

void TestPrMain::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    TestUtil::openRunLogIn(m_dir->path());
    AppState& state = appState();
    state.workDir = state.appDir = QFile::encodeName(m_dir->path());
    state.user = UserSettings();
    state.menuGate = false; // as the main menu leaves it
    QVERIFY(QDir::setCurrent(m_dir->path()));
    descrRegistry().clear();
    QVERIFY(getIniFile(QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/OrtSystem.ini")));
    // The standard file and one numbered copy of each kind, each with its own record count.
    const struct {
        const char* name;
        const char* extension;
        int records;
    } files[] = { { "Tovar_tvr.bin", "TVR", 3 }, { "Prihod_prh.bin", "PRH", 2 }, { "Ostatki_res.bin", "RES", 4 },
        { "Vescod_wgt.bin", "WGT", 1 }, { "Tovar07_TVR.BIN", "TVR", 5 }, { "Prihod08_PRH.BIN", "PRH", 6 },
        { "Ostatki09_RES.BIN", "RES", 7 }, { "Vescod10_WGT.BIN", "WGT", 2 } };
    for (const auto& f : files)
        QVERIFY(
            TestUtil::writeFile(QString::fromLatin1(f.name), defaultRecord(table(f.extension)).repeated(f.records)));
    m_boxes = std::make_unique<ScriptedResponder>();
    m_prm = std::make_unique<PrMain>();
}

void TestPrMain::cleanup()
{
    m_prm.reset();
    m_boxes.reset();
    RunLog::instance().close();
    QDir::setCurrent(QDir::tempPath());
    m_dir.reset();
}

void TestPrMain::open(bool onDocument, bool receipt)
{
    appState().user.programm.enOnDocument = onDocument;
    appState().user.programm.programm = receipt;
    m_prm->prmMain();
    QVERIFY(m_prm->menuWindow());
}

void TestPrMain::kinds_data()
{
    QTest::addColumn<bool>("receipt");
    QTest::addColumn<bool>("onDocument");
    QTest::addColumn<QByteArray>("extension");
    QTest::addColumn<QString>("listTitle");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("records");
    const auto row = [](const char* tag, bool receipt, bool onDocument, const char* extension, const char* list,
                         const char* title, int records) {
        QTest::newRow(tag) << receipt << onDocument << QByteArray(extension) << QString::fromUtf8(list)
                           << QString::fromUtf8(title) << records;
    };
    row("goods", false, false, "TVR", "", "Справочник товаров", 3);
    row("receipt", true, false, "PRH", "", "Приходная накладная", 2);
    row("results", false, false, "RES", "", "Справочник остатков", 4);
    row("weight codes", false, false, "WGT", "", "Справочник вес.кодов", 1);
    row("goods copy", false, true, "TVR", "Выбор справочника товаров", "Справочник товаров N 07", 5);
    row("receipt copy", true, true, "PRH", "Выбор приходной накладной", "Приходная накладная N 08", 6);
    row("results copy", false, true, "RES", "Выбор справочника остатков", "Справочник остатков N 09", 7);
    row("weight-code copy", true, true, "WGT", "Выбор справочника вес.кодов", "Справочник вес.кодов N 10", 2);
}

// Each choice, once, browses its table read-only under its title. Leaving a browsed copy returns to the
// list of copies with the table's descriptor as configured again; leaving the list or a standard
// table returns to the menu.
void TestPrMain::kinds()
{
    QFETCH(bool, receipt);
    QFETCH(bool, onDocument);
    QFETCH(QByteArray, extension);
    QFETCH(QString, listTitle);
    QFETCH(QString, title);
    QFETCH(int, records);
    const TableDescr& t = table(extension);
    const QByteArray pname = t.pname;
    open(onDocument, receipt);
    PrMainWin* menu = m_prm->menuWindow();
    QCOMPARE(menu->findChild<QPushButton*>(QStringLiteral("Tovari"))->text(),
        receipt ? QStringLiteral("1. Приход") : QStringLiteral("1. Товары"));
    ViewFx::screen(menu, "view-menu");
    // A second press, and leaving, while the first choice is open start nothing.
    for (const Qt::Key key : { keyOf(extension), keyOf(extension), Qt::Key_Escape })
        QTest::keyClick(menu, key);
    QCOMPARE(visibleBrowsers(), 1);
    QVERIFY(m_prm->active());
    if (onDocument) {
        QCOMPARE(titleOf(browser()), listTitle);
        QCOMPARE(m_prm->browser()->recordCount(), 2); // the copy, then the standard file
        click(browser(), "Case");
    }
    QCOMPARE(m_prm->browser()->windowKind(), ProsmCase::KindFile);
    QCOMPARE(titleOf(browser()), title);
    QCOMPARE(m_prm->browser()->recordCount(), records);
    QVERIFY(!browser()->findChild<QPushButton*>(QStringLiteral("Case"))->isVisible());

    click(browser(), "Back");
    QCOMPARE(t.pname, pname);
    QCOMPARE(t.recordCount, recordCountOf(binFileName(t), t));
    if (onDocument) {
        QCOMPARE(titleOf(browser()), listTitle);
        click(browser(), "Back");
    }
    QVERIFY(!m_prm->browser());
    QVERIFY(menu->gateOpen());
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestPrMain::deleteCopy_data()
{
    QTest::addColumn<QByteArray>("extension");
    QTest::addColumn<QString>("copy"); // first of its kind in the list
    QTest::addColumn<QString>("text"); // its text file as the office named it
    QTest::addColumn<bool>("marker");
    QTest::addColumn<int>("answer"); // 0 "Да", 1 "Нет", -1 Escape, -2 Enter
    QTest::addColumn<bool>("unsent"); // the question says the results are not unloaded
    const auto row = [](const char* tag, const char* extension, const char* copy, const char* text, bool marker,
                         int answer, bool unsent) {
        QTest::newRow(tag) << QByteArray(extension) << QString::fromLatin1(copy) << QString::fromLatin1(text) << marker
                           << answer << unsent;
    };
    row("goods, yes", "TVR", "Tovar01_TVR.BIN", "tovar01.tvr", true, 0, false);
    row("goods, no", "TVR", "Tovar01_TVR.BIN", "Tovar01.TVR", true, 1, false);
    row("unsent results, yes", "RES", "Ostatki01_RES.BIN", "Ostatki01.RES", true, 0, true);
    row("unsent results, escape", "RES", "Ostatki01_RES.BIN", "Ostatki01.RES", true, -1, true);
    row("unsent results, enter", "RES", "Ostatki01_RES.BIN", "Ostatki01.RES", true, -2, true);
    row("sent results, yes", "RES", "Ostatki01_RES.BIN", "Ostatki01.RES", false, 0, false);
    row("weight codes, yes", "WGT", "Vescod01_WGT.BIN", "Vescod01.WGT", false, 0, false);
}

// Deleting a copy from the list asks under the directory's name, then removes its binary and text
// files, its change marker and, for goods, the index files; the list comes back without it and
// other files stay.
void TestPrMain::deleteCopy()
{
    QFETCH(QByteArray, extension);
    QFETCH(QString, copy);
    QFETCH(QString, text);
    QFETCH(bool, marker);
    QFETCH(int, answer);
    QFETCH(bool, unsent);
    const QStringList indexes { QStringLiteral("Bar.ndx"), QStringLiteral("Code.ndx"),
        sortedIndexFileName(QStringLiteral("Bar.ndx")), sortedIndexFileName(QStringLiteral("Code.ndx")) };
    for (const QString& file : QStringList { copy, text } + indexes)
        QVERIFY(TestUtil::writeFile(file, QByteArrayLiteral("1")));
    if (marker)
        touchChangeMarker(copy);
    open(true);
    QTest::keyClick(m_prm->menuWindow(), keyOf(extension));
    const qint32 listed = m_prm->browser()->recordCount();
    if (answer == -1)
        m_boxes->answerEscape();
    else if (answer == -2)
        m_boxes->answerEnter();
    else
        m_boxes->answerNext(answer);
    click(browser(), "Delete");

    QCOMPARE(m_boxes->boxes().size(), 1);
    const ScriptedResponder::Box& box = m_boxes->boxes().first();
    QCOMPARE(box.title, toUi(table(extension).pname));
    QCOMPARE(box.text,
        QStringLiteral("Удалить\nсправочник?")
            + (unsent ? QStringLiteral("\nОстатки в нём\nне выгружены.") : QString()));
    QCOMPARE(box.first + QLatin1Char('/') + box.second, QStringLiteral("Да/Нет"));
    const bool gone = answer == 0;
    QCOMPARE(QFile::exists(copy), !gone);
    QCOMPARE(QFile::exists(text), !gone);
    QCOMPARE(QFile::exists(changeMarkerName(copy)), marker && !gone);
    const bool indexesGo = gone && extension == "TVR";
    for (const QString& index : indexes)
        QVERIFY2(QFile::exists(index) != indexesGo, qPrintable(index));
    for (const char* kept : { "Tovar_tvr.bin", "Prihod_prh.bin", "Ostatki_res.bin", "Vescod_wgt.bin" })
        QVERIFY2(QFile::exists(QString::fromLatin1(kept)), kept);
    QCOMPARE(m_prm->browser()->windowKind(), ProsmCase::KindTab);
    QCOMPARE(m_prm->browser()->recordCount(), listed - (gone ? 1 : 0));
}

// A copy whose table cannot be removed (here: made immutable) keeps its text and its change
// marker: unsent results must stay marked for the next unload.
void TestPrMain::tableThatStaysKeepsItsMarker()
{
    const QString copy = QStringLiteral("Ostatki01_RES.BIN");
    const QString text = QStringLiteral("Ostatki01.RES");
    for (const QString& file : { copy, text })
        QVERIFY(TestUtil::writeFile(file, QByteArrayLiteral("1")));
    touchChangeMarker(copy);
    const QString absolute = QDir::current().absoluteFilePath(copy);
    if (QProcess::execute(QStringLiteral("chattr"), { QStringLiteral("+i"), absolute }) != 0)
        QSKIP("chattr +i is not available here");
    open(true);
    QTest::keyClick(m_prm->menuWindow(), Qt::Key_2);
    m_boxes->answerNext(0);
    m_boxes->expectMessage();
    click(browser(), "Delete");
    QProcess::execute(QStringLiteral("chattr"), { QStringLiteral("-i"), absolute });
    QCOMPARE(m_boxes->lastText(), QStringLiteral("Ошибка удаления"));
    QVERIFY(QFile::exists(copy));
    QVERIFY(QFile::exists(text));
    QVERIFY(QFile::exists(changeMarkerName(copy)));
}

void TestPrMain::everyWayOut_data()
{
    QTest::addColumn<QString>("way");
    for (const char* way : { "no work folder", "Exit button", "key 4", "Escape", "Return on Exit", "after a table",
             "after the list", "menu closed over a copy" })
        QTest::newRow(way) << QString::fromLatin1(way);
}

// However the operator leaves, the main menu's gate comes back once, the list files go and every
// descriptor is as configured; the view menu opens again afterwards.
void TestPrMain::everyWayOut()
{
    QFETCH(QString, way);
    const bool onDocument = way.contains(QLatin1String("list")) || way.contains(QLatin1String("copy"));
    const QByteArray goodsName = table("TVR").pname, listName = table("TAB").pname;
    QSignalSpy returned(m_prm.get(), &PrMain::returned);
    if (way == QLatin1String("no work folder")) {
        appState().workDir = QFile::encodeName(m_dir->filePath(QStringLiteral("work")));
        m_boxes->answerNext(1); // "Выйти"
        m_prm->prmMain();
        QCOMPARE(m_boxes->lastText(), QStringLiteral("Нет рабочей папки"));
        m_boxes->answerNext(0); // "Создать" the next time
    } else {
        open(onDocument);
        QPointer<PrMainWin> menu = m_prm->menuWindow();
        if (way == QLatin1String("Exit button")) {
            click(menu, "Exit");
        } else if (way == QLatin1String("Return on Exit")) {
            QVERIFY(QTest::qWaitForWindowActive(menu));
            auto* exit = menu->findChild<QPushButton*>(QStringLiteral("Exit"));
            exit->setFocus();
            QTest::keyClick(exit, Qt::Key_Return);
        } else if (way == QLatin1String("menu closed over a copy")) {
            QTest::keyClick(menu, Qt::Key_1);
            click(browser(), "Case");
            QCOMPARE(table("TVR").recordCount, 5);
            menu->close();
        } else if (way.startsWith(QLatin1String("after"))) {
            QTest::keyClick(menu, Qt::Key_2);
            click(browser(), "Back");
            QTest::keyClick(menu, Qt::Key_Escape);
        } else {
            QTest::keyClick(menu, way == QLatin1String("Escape") ? Qt::Key_Escape : Qt::Key_4);
        }
        QTRY_VERIFY(!menu);
    }
    QCOMPARE(returned.count(), 1);
    QVERIFY(appState().menuGate);
    QCOMPARE(visibleBrowsers(), 0);
    QVERIFY(!QFile::exists(QStringLiteral("Spisok.tab")));
    QVERIFY(!QFile::exists(QStringLiteral("Spisok_tab.bin")));
    QCOMPARE(table("TVR").pname, goodsName);
    QCOMPARE(table("TAB").pname, listName);
    if (onDocument)
        QCOMPARE(table("TVR").recordCount, 3); // the standard file's again
    appState().menuGate = false;
    m_prm->prmMain();
    QVERIFY(m_prm->menuWindow());
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestPrMain::undescribed_data()
{
    QTest::addColumn<bool>("onDocument");
    QTest::addColumn<QByteArray>("undescribed"); // the table that lost its fields
    QTest::addColumn<bool>("browsed");
    QTest::newRow("results") << false << QByteArrayLiteral("RES") << true;
    QTest::newRow("results copy") << true << QByteArrayLiteral("RES") << true;
    QTest::newRow("file list") << true << QByteArrayLiteral("TAB") << false;
}

// A table without a record length is browsed as empty after a box, never divided by zero; without
// a file list there is nothing to choose from and the menu stays.
void TestPrMain::undescribed()
{
    QFETCH(bool, onDocument);
    QFETCH(QByteArray, undescribed);
    QFETCH(bool, browsed);
    table(undescribed).fields.clear();
    table(undescribed).computeLayout();
    open(onDocument);
    m_boxes->expectMessage();
    QTest::keyClick(m_prm->menuWindow(), Qt::Key_2);
    if (onDocument && browsed)
        click(browser(), "Case");
    QCOMPARE(m_boxes->lastText(), QStringLiteral("Неполное описание\nтаблиц в OrtSystem.ini"));
    QCOMPARE(bool(m_prm->browser()), browsed);
    if (browsed)
        QCOMPARE(m_prm->browser()->recordCount(), 0);
    else
        QVERIFY(m_prm->menuWindow()->gateOpen());
}

QTEST_MAIN(TestPrMain)
#include "tst_prmain.moc"
