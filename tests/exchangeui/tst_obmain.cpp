#include "AppState.h"
#include "Codec.h"
#include "ConvFile.h"
#include "DescrRegistry.h"
#include "ExchangeUiFixtures.h"
#include "FieldCodec.h"
#include "FtpServerConfig.h"
#include "FtpServerThread.h"
#include "Index.h"
#include "IopLog.h"
#include "MainWin.h"
#include "ObMain.h"
#include "ObMainWin.h"
#include "ObmenWin.h"
#include "ProsmCase.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "ScriptedResponder.h"
#include "SettingsFiles.h"
#include "TableFiles.h"
#include "TestUtil.h"
#include "ViewingFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace ExchangeUiFx;

namespace {

// Non-empty lines of a text file.
int lineCount(const QString& path)
{
    return ExchangeUiFx::lineCount(TestUtil::readFile(path));
}

} // namespace

class TestObMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void load_data();
    void load();
    void unload_data();
    void unload();
    void loadReplaceOff_data();
    void loadReplaceOff();
    void unsentChanges_data();
    void unsentChanges();
    void inputIsWorkFolder();
    void unloadIntoWorkFolder();
    void secondUnload_data();
    void secondUnload();
    void failedReductionKeepsTable();
    void sourceMissingOrEmpty_data();
    void sourceMissingOrEmpty();
    void logDestination_data();
    void logDestination();
    void undeliveredLogStays();
    void escapeEndsAfterEntry();
    void endingTwice();
    void moreThan32Marked();
    void incompleteDescription();
    void everyWayOut_data();
    void everyWayOut();
    void demoLoadCountUnload();
    void officeThroughTerminalServer();

private:
    QString path(const QString& name) const { return QDir(m_dir->path()).filePath(name); }
    QString in() const { return path(QStringLiteral("office/in")); }
    QString out() const { return path(QStringLiteral("office/out")); }
    void openMenu();
    void press(Qt::Key key);
    // Queues the answer to the next question: 0 or 1, -1 Escape, -2 Enter.
    void answerWith(int answer);
    void click(QWidget* window, const char* button);
    void confirmSelector();
    void writeResults(int count, const QString& name = QString());
    void writeOldTable(const char* extension, const QByteArray& bytes);
    QString goodsTable() const { return resolveFileCase(path(binFileName(table("TVR")))); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedResponder> m_boxes;
    std::unique_ptr<ObMain> m_obm;
};

void TestObMain::initTestCase()
{
    QVERIFY(getIniFile(DemoDir + QStringLiteral("/OrtSystem.ini")));
}

void TestObMain::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(startRunIn(m_dir->path()));
    AppState& state = appState();
    state.user.localDir.root = "<APPDIRECTORY>/office";
    state.user.localDir.input = "in";
    state.user.localDir.output = "out";
    ObmenSettings& obmen = state.user.obmen;
    obmen.ioFtpLocal = static_cast<qint32>(Channel::LocalDir);
    obmen.enLoadReplace = true;
    obmen.enCaseChanged = true;
    QVERIFY(officeFolders(in(), out(), { "Tovar.tvr", "Prihod.prh", "Vescod.wgt" }));
    iopGetNum(m_dir->path());
    m_boxes = std::make_unique<ScriptedResponder>();
    m_obm = std::make_unique<ObMain>();
}

void TestObMain::cleanup()
{
    m_obm.reset();
    m_boxes.reset();
    RunLog::instance().close();
    QDir::setCurrent(QDir::tempPath());
    m_dir.reset();
}

void TestObMain::openMenu()
{
    m_obm->obmMain();
    QVERIFY(m_obm->menuWindow());
}

// A key on the exchange menu; the exchange then runs a step per turn of the event loop.
void TestObMain::press(Qt::Key key)
{
    QVERIFY(m_obm->menuWindow());
    QTest::keyClick(m_obm->menuWindow(), key);
}

void TestObMain::answerWith(int answer)
{
    if (answer == -1)
        m_boxes->answerEscape();
    else if (answer == -2)
        m_boxes->answerEnter();
    else
        m_boxes->answerNext(answer);
}

void TestObMain::click(QWidget* window, const char* button)
{
    QVERIFY(window);
    auto* b = window->findChild<QPushButton*>(QLatin1String(button));
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
}

// "Загрузить" / "Выгрузить" on the selector.
void TestObMain::confirmSelector()
{
    QVERIFY(m_obm->chooser());
    click(m_obm->chooser()->window(), "Add");
}

// A result table of count lines, changed on the terminal (its change marker exists).
void TestObMain::writeResults(int count, const QString& name)
{
    TableDescr& res = table("RES");
    QList<QByteArray> records;
    for (int i = 0; i < count; ++i)
        records << ViewFx::record(
            res, qPrintable(QStringLiteral("46000000000%1;0246%1;Сахар %1;500.00;%1.000").arg(10 + i)));
    const QString file = path(name.isEmpty() ? binFileName(res) : name);
    QVERIFY(ViewFx::writeTable(file, res, records));
    touchChangeMarker(file);
}

void TestObMain::writeOldTable(const char* extension, const QByteArray& bytes)
{
    QVERIFY(TestUtil::writeFile(path(binFileName(table(extension))), bytes));
}

// ---- Load --------------------------------------------------------------------------------------

void TestObMain::load_data()
{
    QTest::addColumn<int>("loadAct");
    QTest::addColumn<QString>("sourceAfter"); // what the office's goods file is called afterwards
    QTest::addColumn<bool>("ftpServer");
    QTest::newRow("keep") << int(SourceAction::Keep) << QStringLiteral("Tovar.tvr") << false;
    // What delete and rename do to the office's file is the channel's, checked for every channel
    // in tests/exchange; here: the action follows a load, on the folders of either channel.
    QTest::newRow("delete") << int(SourceAction::Delete) << QString() << false;
    QTest::newRow("FTP server's folders") << int(SourceAction::Rename) << QStringLiteral("Tovar.tvo") << true;
}

void TestObMain::load()
{
    QFETCH(int, loadAct);
    QFETCH(QString, sourceAfter);
    QFETCH(bool, ftpServer);
    if (ftpServer) {
        // The same steps on the folders the terminal's FTP server serves to the office.
        UserSettings& user = appState().user;
        user.obmen.ioFtpLocal = static_cast<qint32>(Channel::FtpServer);
        user.ftpServer.root = user.localDir.root;
        user.ftpServer.input = user.localDir.input;
        user.localDir.root = "<APPDIRECTORY>/elsewhere";
    }
    appState().user.obmen.loadAct = loadAct;
    appState().user.obmen.loadMessage = 1;
    m_boxes->expectMessage(2);
    openMenu();
    press(Qt::Key_1);
    QTRY_VERIFY(!m_obm->exchanging());

    // Goods, then weight codes, each reported.
    QCOMPARE(m_boxes->boxes().size(), 2);
    QCOMPARE(m_boxes->boxes()[0].title, toUi(table("TVR").pname));
    QCOMPARE(m_boxes->boxes()[0].text, QStringLiteral("Загрузка\nвыполнена\nуспешно"));
    QCOMPARE(m_boxes->boxes()[1].title, toUi(table("WGT").pname));

    // Under the names the rest of the program builds.
    QCOMPARE(goodsTable(), path(binFileName(table("TVR"))));
    QCOMPARE(recordCountOf(goodsTable(), table("TVR")), lineCount(DemoIn + QStringLiteral("/Tovar.tvr")));
    QCOMPARE(recordCountOf(path(binFileName(table("WGT"))), table("WGT")),
        lineCount(DemoIn + QStringLiteral("/Vescod.wgt")));
    // The copies in the work folder are gone; the logs went to the input folder, numbered in order.
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.tvr")).isEmpty());
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.wgt")).isEmpty());
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.iop")).isEmpty());
    QCOMPARE(filesIn(in(), QStringLiteral("*.iop")), QStringList({ logName(1), logName(2) }));
    const QStringList goodsLog = textLines(in() + QLatin1Char('/') + logName(1));
    QCOMPARE(goodsLog.size(), 2);
    QVERIFY(goodsLog[0].endsWith(QStringLiteral("Загрузка справочника ") + toUi(table("TVR").pname)));
    QCOMPARE(goodsLog[1], QStringLiteral("Справочник загружен успешно."));
    QVERIFY(textLines(in() + QLatin1Char('/') + logName(2))[0].endsWith(toUi(table("WGT").pname)));

    QCOMPARE(
        filesIn(in(), QStringLiteral("Tovar.*")), sourceAfter.isEmpty() ? QStringList() : QStringList({ sourceAfter }));
    QVERIFY(m_obm->menuWindow()->isVisible());
    QVERIFY(!m_obm->exchangeWindow()->isVisible());
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::loadReplaceOff_data()
{
    QTest::addColumn<QList<int>>("answers"); // goods, weight codes; -1 Escape, -2 Enter
    QTest::addColumn<QStringList>("logs");
    QTest::newRow("both skipped") << QList<int>({ 1, 1 }) << QStringList();
    QTest::newRow("escape skips") << QList<int>({ -1, -1 }) << QStringList();
    QTest::newRow("enter skips") << QList<int>({ -2, -2 }) << QStringList();
    QTest::newRow("goods loaded") << QList<int>({ 0, 1 }) << QStringList({ logName(1) });
}

void TestObMain::loadReplaceOff()
{
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, logs);
    appState().user.obmen.enLoadReplace = false;
    appState().user.obmen.loadAct = int(SourceAction::Delete);
    const QByteArray oldGoods(table("TVR").recordLength * 2, '7');
    const QByteArray oldWeights(table("WGT").recordLength, '8');
    writeOldTable("TVR", oldGoods);
    writeOldTable("WGT", oldWeights);
    for (const int answer : answers)
        answerWith(answer);
    openMenu();
    press(Qt::Key_1);
    QTRY_VERIFY(!m_obm->exchanging());

    QCOMPARE(m_boxes->boxes().size(), 2);
    for (const ScriptedResponder::Box& box : m_boxes->boxes()) {
        QCOMPARE(box.text, QStringLiteral("Справочник\nуже есть"));
        QCOMPARE(box.first, QStringLiteral("Загрузить"));
        QCOMPARE(box.second, QStringLiteral("Пропустить"));
    }
    const bool goodsLoaded = answers[0] == 0;
    QCOMPARE(TestUtil::readFile(goodsTable()) == oldGoods, !goodsLoaded);
    QCOMPARE(TestUtil::readFile(path(binFileName(table("WGT")))), oldWeights);
    // A skipped directory leaves its source alone and gets no log and no number.
    QCOMPARE(QFile::exists(in() + QStringLiteral("/Tovar.tvr")), !goodsLoaded);
    QCOMPARE(TestUtil::readFile(in() + QStringLiteral("/Vescod.wgt")),
        TestUtil::readFile(DemoIn + QStringLiteral("/Vescod.wgt")));
    QCOMPARE(filesIn(in(), QStringLiteral("*.iop")), logs);
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.iop")).isEmpty());
    QCOMPARE(iopNumber(), quint64(logs.size()));
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::unsentChanges_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("skip keeps the counted table") << 1;
    QTest::newRow("escape keeps it") << -1;
    QTest::newRow("enter keeps it") << -2;
    QTest::newRow("load replaces it") << 0;
}

void TestObMain::unsentChanges()
{
    QFETCH(int, answer);
    // EnLoadReplace is on, yet goods changed on the terminal are not replaced unasked.
    const QByteArray oldGoods(table("TVR").recordLength * 3, '5');
    writeOldTable("TVR", oldGoods);
    touchChangeMarker(goodsTable());
    answerWith(answer);
    openMenu();
    press(Qt::Key_1);
    QTRY_VERIFY(!m_obm->exchanging());

    QCOMPARE(m_boxes->boxes().size(), 1);
    QCOMPARE(m_boxes->boxes()[0].title, toUi(table("TVR").pname));
    QCOMPARE(m_boxes->boxes()[0].text, QStringLiteral("Справочник изменён\nи не выгружен"));
    const bool replaced = answer == 0;
    QCOMPARE(TestUtil::readFile(goodsTable()) != oldGoods, replaced);
    QCOMPARE(QFile::exists(changeMarkerName(goodsTable())), !replaced);
    // The weight codes (no marker) load as usual.
    QVERIFY(QFile::exists(resolveFileCase(path(binFileName(table("WGT"))))));
    QCOMPARE(filesIn(in(), QStringLiteral("*.iop")).size(), replaced ? 2 : 1);
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::inputIsWorkFolder()
{
    // Root is the work folder with a trailing separator and the input name is empty.
    appState().user.localDir.root = "<APPDIRECTORY>/";
    appState().user.localDir.input = "";
    for (const char* name : { "Tovar.tvr", "Vescod.wgt" })
        QVERIFY(QFile::copy(DemoIn + QLatin1Char('/') + QLatin1String(name), path(QLatin1String(name))));
    openMenu();
    press(Qt::Key_1);
    QTRY_VERIFY(!m_obm->exchanging());
    QVERIFY(m_obm->inputIsWorkFolder());
    QVERIFY(!m_obm->outputIsWorkFolder());

    // Reduced where it lies; the office's text stays, and so do the logs: the input folder is here.
    QCOMPARE(recordCountOf(goodsTable(), table("TVR")), lineCount(DemoIn + QStringLiteral("/Tovar.tvr")));
    QCOMPARE(TestUtil::readFile(path(QStringLiteral("Tovar.tvr"))),
        TestUtil::readFile(DemoIn + QStringLiteral("/Tovar.tvr")));
    QVERIFY(QFile::exists(path(QStringLiteral("Vescod.wgt"))));
    QCOMPARE(filesIn(m_dir->path(), QStringLiteral("*.iop")), QStringList({ logName(1), logName(2) }));
    QCOMPARE(textLines(path(logName(1))).last(), QStringLiteral("Справочник загружен успешно."));
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::failedReductionKeepsTable()
{
    appState().user.obmen.loadAct = int(SourceAction::Delete);
    // An old goods table with its indexes, and an office file of which no line converts.
    TableDescr& goods = table("TVR");
    const QList<QByteArray> old = { ViewFx::record(goods, "000111;4600000000024;Соль;12.50;1.000") };
    QVERIFY(ViewFx::writeTable(path(binFileName(goods)), goods, old));
    QVERIFY(prepareIndexFiles(binFileName(goods), goods));
    const QString barIndex = indexFileName(binFileName(goods), KeyRole::Bar);
    const QByteArray oldTable = TestUtil::readFile(goodsTable());
    const QByteArray oldIndex = TestUtil::readFile(barIndex);
    QVERIFY(!oldIndex.isEmpty());
    const QByteArray bad = "abc;not a barcode;x;y;z\r\n";
    QVERIFY(TestUtil::writeFile(in() + QStringLiteral("/Tovar.tvr"), bad));
    m_boxes->expectMessage(1);
    openMenu();
    press(Qt::Key_1);
    QTRY_VERIFY(!m_obm->exchanging());

    // Refused as a whole: said so, not "loaded with errors".
    QCOMPARE(m_boxes->boxes().size(), 1);
    QCOMPARE(m_boxes->boxes()[0].icon, int(IconCritical));
    QCOMPARE(m_boxes->boxes()[0].text, QStringLiteral("Загрузка\nошибки"));
    QCOMPARE(TestUtil::readFile(goodsTable()), oldTable);
    QCOMPARE(TestUtil::readFile(barIndex), oldIndex);
    // The office's file stays for another try; the weight codes were loaded and their file taken.
    QCOMPARE(TestUtil::readFile(in() + QStringLiteral("/Tovar.tvr")), bad);
    QVERIFY(!QFile::exists(in() + QStringLiteral("/Vescod.wgt")));
    QCOMPARE(textLines(in() + QLatin1Char('/') + logName(1)).last(), QStringLiteral("Справочник не загружен."));
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.tvr")).isEmpty());
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::sourceMissingOrEmpty_data()
{
    QTest::addColumn<bool>("empty");
    QTest::addColumn<QString>("box");
    QTest::newRow("missing") << false << QStringLiteral("Загрузка\nНет\nсправочника");
    QTest::newRow("empty") << true << QStringLiteral("Нет\nсправочника");
}

void TestObMain::sourceMissingOrEmpty()
{
    QFETCH(bool, empty);
    QFETCH(QString, box);
    appState().user.obmen.loadAct = int(SourceAction::Delete);
    const QString weights = in() + QStringLiteral("/Vescod.wgt");
    if (empty)
        QVERIFY(TestUtil::writeFile(weights, QByteArray()));
    else
        QVERIFY(QFile::remove(weights));
    m_boxes->expectMessage();
    openMenu();
    press(Qt::Key_1);
    QTRY_VERIFY(!m_obm->exchanging());

    QCOMPARE(m_boxes->boxes().size(), 1);
    QCOMPARE(m_boxes->boxes()[0].icon, int(IconCritical));
    QCOMPARE(m_boxes->boxes()[0].title, toUi(table("WGT").pname));
    QCOMPARE(m_boxes->boxes()[0].text, box);
    // The failed entry's log says why and is delivered all the same; the goods went on as usual.
    const QStringList log = textLines(in() + QLatin1Char('/') + logName(2));
    QCOMPARE(log.mid(1), QStringList({ QStringLiteral("Нет справочника"), QStringLiteral("Справочник не загружен.") }));
    QCOMPARE(QFile::exists(weights), empty);
    QVERIFY(!QFile::exists(in() + QStringLiteral("/Tovar.tvr")));
    QVERIFY(!QFile::exists(resolveFileCase(path(binFileName(table("WGT"))))));
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.wgt")).isEmpty());
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::logDestination_data()
{
    QTest::addColumn<bool>("load");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("logFolder");
    // Each log goes to its own direction's folder, whatever the other folder is.
    QTest::newRow("load, output is the work folder") << true << QByteArray("office/in") << QByteArray() << "office/in";
    QTest::newRow("unload, input is the work folder")
        << false << QByteArray() << QByteArray("office/out") << "office/out";
    QTest::newRow("load into the work folder") << true << QByteArray() << QByteArray("office/out") << "";
}

void TestObMain::logDestination()
{
    QFETCH(bool, load);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);
    QFETCH(QString, logFolder);
    appState().user.localDir.root = "<APPDIRECTORY>";
    appState().user.localDir.input = input;
    appState().user.localDir.output = output;
    if (input.isEmpty()) {
        for (const char* name : { "Tovar.tvr", "Vescod.wgt" })
            QVERIFY(QFile::copy(DemoIn + QLatin1Char('/') + QLatin1String(name), path(QLatin1String(name))));
    }
    openMenu();
    if (load) {
        press(Qt::Key_1);
    } else {
        writeResults(1);
        press(Qt::Key_2);
        confirmSelector();
    }
    QTRY_VERIFY(!m_obm->exchanging());
    const QString folder = path(logFolder);
    QVERIFY(!filesIn(folder, QStringLiteral("*.iop")).isEmpty());
    QCOMPARE(textLines(folder + QLatin1Char('/') + logName(1)).last(),
        load ? QStringLiteral("Справочник загружен успешно.") : QStringLiteral("Справочник выгружен успешно."));
    // Delivered elsewhere, the terminal's copy is gone.
    if (!logFolder.isEmpty())
        QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.iop")).isEmpty());
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::undeliveredLogStays()
{
    // A folder under the log's name in the input folder: the log cannot be put there.
    QVERIFY(QDir().mkpath(in() + QLatin1Char('/') + logName(1)));
    openMenu();
    press(Qt::Key_1);
    QTRY_VERIFY(!m_obm->exchanging());
    // The goods log stays in the work folder; the next one was delivered and released.
    QCOMPARE(filesIn(m_dir->path(), QStringLiteral("*.iop")), QStringList({ logName(1) }));
    QCOMPARE(textLines(path(logName(1))).last(), QStringLiteral("Справочник загружен успешно."));
    QCOMPARE(filesIn(in(), QStringLiteral("*.iop")), QStringList({ logName(2) }));
    QVERIFY(TestUtil::readFile(path(QStringLiteral("logortc.txt"))).contains("obmIop: not delivered"));

    // The next exchange delivers it after its own entries, and numbers its logs above every kept
    // one (an empty log cut short by a power loss keeps its number and is not sent).
    QVERIFY(QDir(in() + QLatin1Char('/') + logName(1)).removeRecursively());
    QVERIFY(TestUtil::writeFile(path(logName(9)), QByteArray()));
    press(Qt::Key_1);
    QTRY_VERIFY(!m_obm->exchanging());
    QCOMPARE(filesIn(m_dir->path(), QStringLiteral("*.iop")), QStringList({ logName(9) }));
    QCOMPARE(filesIn(in(), QStringLiteral("*.iop")), QStringList({ logName(1), logName(2), logName(10), logName(11) }));
    QCOMPARE(textLines(in() + QLatin1Char('/') + logName(1)).last(), QStringLiteral("Справочник загружен успешно."));
    QCOMPARE(m_boxes->unexpected(), 0);
}

// ---- Unload ------------------------------------------------------------------------------------

void TestObMain::unload_data()
{
    QTest::addColumn<int>("unloadAct");
    QTest::addColumn<bool>("preMarked");
    QTest::addColumn<QString>("tableAfter");
    QTest::newRow("keep") << int(SourceAction::Keep) << true << QStringLiteral("Ostatki_res.bin");
    QTest::newRow("delete") << int(SourceAction::Delete) << true << QString();
    QTest::newRow("rename") << int(SourceAction::Rename) << true << QStringLiteral("Ostatki_res.bio");
    QTest::newRow("marked by Return") << int(SourceAction::Keep) << false << QStringLiteral("Ostatki_res.bin");
}

void TestObMain::unload()
{
    QFETCH(int, unloadAct);
    QFETCH(bool, preMarked);
    QFETCH(QString, tableAfter);
    appState().user.obmen.unloadAct = unloadAct;
    appState().user.obmen.unloadMessage = 1;
    appState().user.obmen.enCaseChanged = preMarked;
    writeResults(3);
    m_boxes->expectMessage();
    openMenu();
    press(Qt::Key_2);
    QVERIFY(m_obm->chooser());
    QCOMPARE(m_obm->chooser()->recordCount(), 1);
    if (!preMarked) {
        QTest::keyClick(m_obm->chooser()->window(), Qt::Key_Return);
        QVERIFY(m_obm->chooser());
    }
    confirmSelector();
    QTRY_VERIFY(!m_obm->exchanging());

    QCOMPARE(m_boxes->boxes().size(), 1);
    QCOMPARE(m_boxes->boxes()[0].title, toUi(table("RES").pname));
    QCOMPARE(m_boxes->boxes()[0].text, QStringLiteral("Выгрузка\nвыполнена\nуспешно"));
    const QStringList lines = textLines(out() + QStringLiteral("/Ostatki.res"));
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].contains(QStringLiteral("Сахар 10")));
    QCOMPARE(filesIn(out(), QStringLiteral("*.iop")), QStringList({ logName(1) }));
    const QStringList log = textLines(out() + QLatin1Char('/') + logName(1));
    QVERIFY(log[0].endsWith(QStringLiteral("Выгрузка справочника ") + toUi(table("RES").pname)));
    QCOMPARE(log.last(), QStringLiteral("Справочник выгружен успешно."));
    // Nothing of the delivery stays in the work folder; the table holds no unsent changes.
    QVERIFY(!QFile::exists(path(QStringLiteral("Ostatki.res"))));
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.iop")).isEmpty());
    QVERIFY(!QFile::exists(path(QStringLiteral("Ostatki_res.chg"))));
    QCOMPARE(filesIn(m_dir->path(), QStringLiteral("Ostatki_res.b*")),
        tableAfter.isEmpty() ? QStringList() : QStringList({ tableAfter }));
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::unloadIntoWorkFolder()
{
    appState().user.localDir.root = "<APPDIRECTORY>";
    appState().user.localDir.output = "";
    appState().user.obmen.unloadAct = int(SourceAction::Delete);
    appState().user.obmen.unloadMessage = 1;
    writeResults(2);
    m_boxes->expectMessage();
    openMenu();
    press(Qt::Key_2);
    confirmSelector();
    QTRY_VERIFY(!m_obm->exchanging());
    QVERIFY(m_obm->outputIsWorkFolder());

    // The table is deleted as asked, so the text and the log left in place are the delivery.
    QCOMPARE(m_boxes->lastText(), QStringLiteral("Выгрузка\nвыполнена\nуспешно"));
    QVERIFY(!QFile::exists(path(QStringLiteral("Ostatki_res.bin"))));
    QCOMPARE(lineCount(path(QStringLiteral("Ostatki.res"))), 2);
    QCOMPARE(filesIn(m_dir->path(), QStringLiteral("*.iop")), QStringList({ logName(1) }));
    QCOMPARE(textLines(path(logName(1))).last(), QStringLiteral("Справочник выгружен успешно."));
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::secondUnload_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("replace") << 0;
    QTest::newRow("skip") << 1;
    QTest::newRow("escape skips") << -1;
    QTest::newRow("enter skips") << -2;
}

void TestObMain::secondUnload()
{
    QFETCH(int, answer);
    appState().user.obmen.unloadAct = int(SourceAction::Delete);
    writeResults(2);
    openMenu();
    press(Qt::Key_2);
    confirmSelector();
    QTRY_VERIFY(!m_obm->exchanging());
    const QString delivered = out() + QStringLiteral("/Ostatki.res");
    const QByteArray first = TestUtil::readFile(delivered);
    QCOMPARE(lineCount(delivered), 2);

    // More counted before the office collected the first results.
    writeResults(3);
    answerWith(answer);
    press(Qt::Key_2);
    confirmSelector();
    QTRY_VERIFY(!m_obm->exchanging());

    QCOMPARE(m_boxes->boxes().size(), 1);
    const ScriptedResponder::Box& box = m_boxes->boxes()[0];
    QCOMPARE(box.text, QStringLiteral("Справочник\nуже есть"));
    QCOMPARE(box.first, QStringLiteral("Заменить"));
    QCOMPARE(box.second, QStringLiteral("Пропустить"));
    const bool replaced = answer == 0;
    if (replaced) {
        QCOMPARE(lineCount(delivered), 3);
        QVERIFY(!QFile::exists(path(QStringLiteral("Ostatki_res.bin"))));
    } else {
        // The uncollected results stay, and so does the table with its changes.
        QCOMPARE(TestUtil::readFile(delivered), first);
        QCOMPARE(recordCountOf(path(QStringLiteral("Ostatki_res.bin")), table("RES")), 3);
        QVERIFY(QFile::exists(path(QStringLiteral("Ostatki_res.chg"))));
    }
    QCOMPARE(textLines(out() + QLatin1Char('/') + logName(2)).last(),
        replaced ? QStringLiteral("Справочник выгружен успешно.") : QStringLiteral("Справочник не выгружен."));
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::moreThan32Marked()
{
    appState().user.programm.enOnDocument = true;
    for (int i = 1; i <= 33; ++i)
        writeResults(1, QStringLiteral("Ostatki%1_RES.BIN").arg(i, 2, 10, QLatin1Char('0')));
    m_boxes->expectMessage();
    openMenu();
    press(Qt::Key_2);
    QCOMPARE(m_obm->chooser()->recordCount(), 33);
    confirmSelector();
    QCOMPARE(m_boxes->boxes().size(), 1);
    QVERIFY(m_boxes->lastText().contains(QStringLiteral("32")));
    QCOMPARE(m_obm->selection().size(), 32);
    QTRY_VERIFY(!m_obm->exchanging());
    QCOMPARE(filesIn(out(), QStringLiteral("*.RES")).size(), 32);
    QCOMPARE(filesIn(out(), QStringLiteral("*.iop")).size(), 32);
    QCOMPARE(m_boxes->unexpected(), 0);
}

// ---- Ending ------------------------------------------------------------------------------------

void TestObMain::escapeEndsAfterEntry()
{
    openMenu();
    press(Qt::Key_1);
    QVERIFY(m_obm->exchanging());
    QVERIFY(m_obm->exchangeWindow()->isVisible());
    // The menu below does not leave while an entry (and its log) is open.
    press(Qt::Key_3);
    QVERIFY(m_obm->active());
    QVERIFY(m_obm->exchanging());
    // Escape while the first entry is under way: it is finished, the second is not begun.
    QTest::keyClick(m_obm->exchangeWindow(), Qt::Key_Escape);
    QTRY_VERIFY(!m_obm->exchanging());
    QCOMPARE(recordCountOf(goodsTable(), table("TVR")), lineCount(DemoIn + QStringLiteral("/Tovar.tvr")));
    QVERIFY(!QFile::exists(resolveFileCase(path(binFileName(table("WGT"))))));
    QCOMPARE(filesIn(in(), QStringLiteral("*.iop")), QStringList({ logName(1) }));
    QVERIFY(m_obm->menuWindow()->isVisible());
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::endingTwice()
{
    openMenu();
    press(Qt::Key_1);
    QVERIFY(m_obm->exchanging());
    // Ended before its first step ran, twice: the queued step finds nothing to do.
    m_obm->obmObmenExit();
    m_obm->obmObmenExit();
    QVERIFY(!m_obm->exchanging());
    QCOMPARE(TestUtil::readFile(path(QStringLiteral("logortc.txt"))).count("obmObmenExit"), 1);
    QCoreApplication::processEvents();
    QVERIFY(!QFile::exists(goodsTable()));
    QCOMPARE(iopNumber(), quint64(0));
    QVERIFY(m_obm->active());
    // The next load runs whole.
    press(Qt::Key_1);
    QTRY_VERIFY(!m_obm->exchanging());
    QCOMPARE(filesIn(in(), QStringLiteral("*.iop")).size(), 2);
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::incompleteDescription()
{
    appState().user.programm.enOnDocument = true;
    openMenu();
    press(Qt::Key_1);
    QTRY_VERIFY(m_obm->chooser());
    const qint32 rows = m_obm->chooser()->recordCount();
    QCOMPARE(rows, 2); // goods and weight codes of the input folder
    // Return marks the row under the cursor; the selector comes back on that row.
    for (qint32 row = 0; row < rows; ++row) {
        if (row > 0)
            QTest::keyClick(m_obm->chooser()->window(), Qt::Key_Down);
        QTest::keyClick(m_obm->chooser()->window(), Qt::Key_Return);
        QVERIFY(m_obm->chooser());
        // The mark shows, though the office's view hides its column.
        const auto* tw = m_obm->chooser()->window()->findChild<QTableWidget*>(QStringLiteral("TabWid"));
        QVERIFY(tw && !tw->isColumnHidden(0) && tw->columnWidth(0) > 0);
        const int shownRow = row - m_obm->chooser()->topRecord();
        QCOMPARE(tw->item(shownRow, 0)->text().trimmed(), QStringLiteral("+"));
        TestUtil::saveScreen(m_obm->chooser()->window(), QStringLiteral("exchange-selector"));
    }
    // The weight codes lose their description before the load begins.
    struct Restore {
        TableDescr& table;
        const TableDescr saved;
        ~Restore() { table = saved; }
    } restore { table("WGT"), table("WGT") };
    table("WGT") = TableDescr();
    m_boxes->expectMessage();
    confirmSelector();
    QTRY_VERIFY(!m_obm->exchanging());

    QCOMPARE(m_boxes->boxes().size(), 1);
    QCOMPARE(m_boxes->boxes()[0].icon, int(IconCritical));
    QCOMPARE(m_boxes->boxes()[0].text, QStringLiteral("Неполное описание\nтаблиц в OrtSystem.ini"));
    QCOMPARE(recordCountOf(goodsTable(), table("TVR")), lineCount(DemoIn + QStringLiteral("/Tovar.tvr")));
    QCOMPARE(filesIn(in(), QStringLiteral("*.iop")).size(), 1);
    QVERIFY(QFile::exists(in() + QStringLiteral("/Vescod.wgt")));
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMain::everyWayOut_data()
{
    QTest::addColumn<QString>("way");
    for (const char* way :
        { "exit button", "key 3", "escape", "ftp client", "no input folder", "selector back", "after a load" })
        QTest::newRow(way) << QString::fromLatin1(way);
}

void TestObMain::everyWayOut()
{
    QFETCH(QString, way);
    QSignalSpy returned(m_obm.get(), &ObMain::returned);
    if (way == QLatin1String("ftp client"))
        appState().user.obmen.ioFtpLocal = static_cast<qint32>(Channel::FtpClient);
    if (way == QLatin1String("no input folder"))
        appState().user.localDir.input = "missing";
    openMenu();
    if (way == QLatin1String("exit button")) {
        click(m_obm->menuWindow(), "Exit");
    } else if (way == QLatin1String("key 3")) {
        press(Qt::Key_3);
    } else if (way == QLatin1String("escape")) {
        press(Qt::Key_Escape);
    } else if (way == QLatin1String("ftp client")) {
        m_boxes->expectMessage(2); // goods and weight codes: no server to reach
        press(Qt::Key_1);
        QTRY_VERIFY(!m_obm->exchanging());
        press(Qt::Key_3);
    } else if (way == QLatin1String("no input folder")) {
        m_boxes->answerNext(1); // "Выйти"
        press(Qt::Key_1);
        QVERIFY(!QFile::exists(in().replace(QStringLiteral("/in"), QStringLiteral("/missing"))));
    } else if (way == QLatin1String("selector back")) {
        writeResults(1);
        press(Qt::Key_2);
        QVERIFY(m_obm->chooser());
        click(m_obm->chooser()->window(), "Back");
        QVERIFY(!m_obm->exchanging());
        QCOMPARE(returned.count(), 0);
        press(Qt::Key_3);
    } else if (way == QLatin1String("after a load")) {
        press(Qt::Key_1);
        QTRY_VERIFY(!m_obm->exchanging());
        QCOMPARE(returned.count(), 0);
        press(Qt::Key_3);
    }
    QCOMPARE(returned.count(), 1);
    QVERIFY(appState().menuGate);
    QVERIFY(!m_obm->active());
    QTRY_VERIFY(!m_obm->menuWindow());
    // The document list goes with the exchange.
    const TableDescr& tab = table("TAB");
    QVERIFY(!QFile::exists(path(binFileName(tab))));
    QVERIFY(!QFile::exists(path(textFileName(tab))));
    // And the exchange opens again.
    appState().menuGate = false;
    openMenu();
    QCOMPARE(m_boxes->unexpected(), 0);
}

// ---- The demo ----------------------------------------------------------------------------------

void TestObMain::demoLoadCountUnload()
{
    // The demo folder as the run command leaves it: settings, office/in, office/out, and the
    // directories converted into tables before the program starts.
    for (const char* name : { "OrtSystem.ini", "OrtUser.ini" })
        QVERIFY(QFile::copy(DemoDir + QLatin1Char('/') + QLatin1String(name), path(QLatin1String(name))));
    QVERIFY(getIniFile(path(QStringLiteral("OrtUser.ini"))));
    ConvFile conv;
    for (const char* extension : { "TVR", "PRH", "WGT" }) {
        TableDescr& t = table(extension);
        QVERIFY(conv.ConvertToBin(in() + QLatin1Char('/') + textFileName(t), path(binFileName(t)), t));
    }
    MainWin menu;
    connect(&menu, &MainWin::ObmenCall, m_obm.get(), &ObMain::obmMain);
    menu.show();
    appState().menuGate = true;

    // 3 then 1: loaded through the local folder, each directory reported.
    QTest::keyClick(&menu, Qt::Key_3);
    QVERIFY(m_obm->menuWindow());
    ViewFx::screen(m_obm->menuWindow(), "exchange-menu");
    m_boxes->expectMessage(2);
    press(Qt::Key_1);
    QTRY_VERIFY(!m_obm->exchanging());
    QCOMPARE(m_boxes->boxes().size(), 2);
    QCOMPARE(m_boxes->lastText(), QStringLiteral("Загрузка\nвыполнена\nуспешно"));
    // The loaded directory replaced the converted one under its own name: one goods table only.
    QCOMPARE(QDir(m_dir->path()).entryList({ QStringLiteral("Tovar_tvr.bin") }, QDir::Files).size(), 1);
    QCOMPARE(recordCountOf(goodsTable(), table("TVR")), lineCount(DemoIn + QStringLiteral("/Tovar.tvr")));
    QCOMPARE(filesIn(in(), QStringLiteral("*.iop")).size(), 2);

    // Counting books a result; unloading sends it to the terminal's own folder office/out/01.
    QVERIFY(QDir().mkpath(out() + QStringLiteral("/01")));
    writeResults(1);
    m_boxes->expectMessage();
    press(Qt::Key_2);
    confirmSelector();
    QTRY_VERIFY(!m_obm->exchanging());
    QCOMPARE(m_boxes->lastText(), QStringLiteral("Выгрузка\nвыполнена\nуспешно"));
    QCOMPARE(lineCount(out() + QStringLiteral("/01/Ostatki.res")), 1);
    QCOMPARE(filesIn(out() + QStringLiteral("/01"), QStringLiteral("*.iop")), QStringList({ logName(3) }));

    press(Qt::Key_3);
    QVERIFY(appState().menuGate);
    QCOMPARE(m_boxes->unexpected(), 0);
}

namespace {

// curl as the office's FTP client; its exit code and what it printed.
QPair<int, QByteArray> curl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("curl"),
        QStringList { QStringLiteral("-sS"), QStringLiteral("--user"), QStringLiteral("office:secret") } + arguments);
    process.waitForFinished(30000);
    return { process.exitCode(), process.readAllStandardOutput() };
}

} // namespace

// The office puts a goods directory into the terminal's own FTP server, the operator loads it,
// counts and unloads, and the office fetches the counts from the same server.
void TestObMain::officeThroughTerminalServer()
{
    UserSettings& user = appState().user;
    user.obmen.ioFtpLocal = static_cast<qint32>(Channel::FtpServer);
    user.obmen.loadMessage = 1;
    user.obmen.unloadMessage = 1;
    user.ftpServer.userName = "office";
    user.ftpServer.passWord = "secret";
    // Relative: the server and the exchange must both take it in the work folder.
    user.ftpServer.root = "ftp";
    user.ftpServer.input = "in";
    user.ftpServer.output = "out";
    QVERIFY(QDir().mkpath(path(QStringLiteral("ftp/in"))) && QDir().mkpath(path(QStringLiteral("ftp/out"))));
    FtpServerThread server(ftpServerConfigFromSettings(0, 0));
    server.start();
    QTRY_VERIFY(server.listeningPort() != 0);
    const QString url = QStringLiteral("ftp://127.0.0.1:%1/").arg(server.listeningPort());

    for (const char* name : { "Tovar.tvr", "Vescod.wgt" }) {
        const QString file = DemoIn + QLatin1Char('/') + QLatin1String(name);
        QCOMPARE(curl({ QStringLiteral("-T"), file, url + QStringLiteral("in/") }).first, 0);
    }
    m_boxes->expectMessage(2);
    openMenu();
    press(Qt::Key_1);
    QTRY_VERIFY(!m_obm->exchanging());
    QCOMPARE(m_boxes->boxes().size(), 2);
    QCOMPARE(m_boxes->boxes()[0].text, QStringLiteral("Загрузка\nвыполнена\nуспешно"));
    QCOMPARE(recordCountOf(goodsTable(), table("TVR")), lineCount(DemoIn + QStringLiteral("/Tovar.tvr")));

    writeResults(2);
    m_boxes->expectMessage();
    press(Qt::Key_2);
    confirmSelector();
    QTRY_VERIFY(!m_obm->exchanging());
    QCOMPARE(m_boxes->lastText(), QStringLiteral("Выгрузка\nвыполнена\nуспешно"));
    const QByteArray counts = TestUtil::readFile(path(QStringLiteral("ftp/out/Ostatki.res")));
    QVERIFY(!counts.isEmpty());
    const auto fetched = curl({ url + QStringLiteral("out/Ostatki.res") });
    QCOMPARE(fetched.first, 0);
    QCOMPARE(fetched.second, counts);
    const auto listing = curl({ url + QStringLiteral("out/") });
    QVERIFY2(listing.second.contains(logName(3).toLatin1()), listing.second.constData());
    server.stop();
}

QTEST_MAIN(TestObMain)
#include "tst_obmain.moc"
