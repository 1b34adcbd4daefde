// The exchange's FTP client channel against a real office server (pyftpdlib on loopback).

#include "AppState.h"
#include "Codec.h"
#include "DescrRegistry.h"
#include "ExchangeUiFixtures.h"
#include "FtpPeer.h"
#include "Index.h"
#include "IopLog.h"
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

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace ExchangeUiFx;

namespace {

const QByteArray User = "office";
const QByteArray Password = "Zq7-sekret-Pw";

} // namespace

class TestObMainFtp : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void load_data();
    void load();
    void unload_data();
    void unload();
    void unloadOverOfficeFile_data();
    void unloadOverOfficeFile();
    void failures_data();
    void failures();
    void abortDuringTransfer_data();
    void abortDuringTransfer();
    void abortDuringUpload();
    void listing();

private:
    QString path(const QString& name) const { return QDir(m_dir->path()).filePath(name); }
    QString office() const { return path(QStringLiteral("office")); }
    QString in() const { return office() + QStringLiteral("/in"); }
    QString out() const { return office() + QStringLiteral("/out"); }
    QString goodsTable() const { return resolveFileCase(path(binFileName(table("TVR")))); }
    QString weightTable() const { return resolveFileCase(path(binFileName(table("WGT")))); }
    QByteArray runLog() const { return TestUtil::readFile(path(QStringLiteral("logortc.txt"))); }
    void startPeer();
    void press(Qt::Key key);
    void confirmSelector();
    // Nothing the exchange wrote on the terminal or sent to the office holds the password.
    void checkNoPassword();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FtpPeer> m_peer;
    std::unique_ptr<ScriptedResponder> m_boxes;
    std::unique_ptr<ObMain> m_obm;
};

void TestObMainFtp::initTestCase()
{
    QVERIFY(getIniFile(DemoDir + QStringLiteral("/OrtSystem.ini")));
}

void TestObMainFtp::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(startRunIn(m_dir->path()));
    AppState& state = appState();
    FtpClientSettings& ftp = state.user.ftpClient;
    ftp.ipAdress = "127.0.0.1";
    ftp.userName = User;
    ftp.passWord = Password;
    ftp.input = "in";
    ftp.output = "out";
    ObmenSettings& obmen = state.user.obmen;
    obmen.ioFtpLocal = static_cast<qint32>(Channel::FtpClient);
    obmen.enLoadReplace = true;
    QVERIFY(officeFolders(in(), out(), { "Tovar.tvr", "Vescod.wgt" }));
    iopGetNum(m_dir->path());
    m_peer = std::make_unique<FtpPeer>();
    m_boxes = std::make_unique<ScriptedResponder>();
    m_obm = std::make_unique<ObMain>();
}

void TestObMainFtp::cleanup()
{
    m_obm.reset();
    m_boxes.reset();
    m_peer.reset();
    RunLog::instance().close();
    QDir::setCurrent(QDir::tempPath());
    m_dir.reset();
}

void TestObMainFtp::startPeer()
{
    QVERIFY(m_peer->start(office(), User, Password));
    m_obm->setFtpClientPort(m_peer->port());
}

void TestObMainFtp::press(Qt::Key key)
{
    if (!m_obm->menuWindow())
        m_obm->obmMain();
    QVERIFY(m_obm->menuWindow());
    QTest::keyClick(m_obm->menuWindow(), key);
}

void TestObMainFtp::confirmSelector()
{
    QVERIFY(m_obm->chooser());
    auto* add = m_obm->chooser()->window()->findChild<QPushButton*>(QStringLiteral("Add"));
    QVERIFY(add);
    QTest::mouseClick(add, Qt::LeftButton);
}

void TestObMainFtp::checkNoPassword()
{
    for (const ScriptedResponder::Box& box : m_boxes->boxes())
        QVERIFY2(!box.text.contains(QLatin1String(Password)), qPrintable(box.text));
    QVERIFY(!runLog().isEmpty());
    QVERIFY(!runLog().contains(Password));
    for (const QString& folder : { m_dir->path(), in(), out() })
        for (const QString& log : filesIn(folder, QStringLiteral("*.iop")))
            QVERIFY(!TestUtil::readFile(folder + QLatin1Char('/') + log).contains(Password));
}

// ---- Load and unload ---------------------------------------------------------------------------

void TestObMainFtp::load_data()
{
    QTest::addColumn<int>("loadAct");
    QTest::addColumn<int>("transferMode");
    QTest::addColumn<QStringList>("serverAfter"); // the office's goods and weight files afterwards
    QTest::newRow("keep, passive") << int(SourceAction::Keep) << 0
                                   << QStringList({ QStringLiteral("Tovar.tvr"), QStringLiteral("Vescod.wgt") });
    QTest::newRow("delete, active") << int(SourceAction::Delete) << 1 << QStringList();
}

void TestObMainFtp::load()
{
    QFETCH(int, loadAct);
    QFETCH(int, transferMode);
    QFETCH(QStringList, serverAfter);
    appState().user.obmen.loadAct = loadAct;
    appState().user.obmen.loadMessage = 1;
    appState().user.ftpClient.transferMode = transferMode;
    startPeer();
    m_boxes->expectMessage(2);
    press(Qt::Key_1);
    QTRY_VERIFY_WITH_TIMEOUT(!m_obm->exchanging(), 30000);

    QCOMPARE(m_boxes->boxes().size(), 2);
    QCOMPARE(m_boxes->boxes()[0].title, toUi(table("TVR").pname));
    QCOMPARE(m_boxes->boxes()[0].text, QStringLiteral("Загрузка\nвыполнена\nуспешно"));
    QCOMPARE(m_boxes->boxes()[1].title, toUi(table("WGT").pname));
    QCOMPARE(recordCountOf(goodsTable(), table("TVR")),
        lineCount(TestUtil::readFile(DemoIn + QStringLiteral("/Tovar.tvr"))));
    QCOMPARE(recordCountOf(weightTable(), table("WGT")),
        lineCount(TestUtil::readFile(DemoIn + QStringLiteral("/Vescod.wgt"))));
    // Both logs went to the office's input folder and left the terminal; nothing else stayed.
    QCOMPARE(filesIn(in(), QStringLiteral("*.iop")), QStringList({ logName(1), logName(2) }));
    QCOMPARE(textLines(in() + QLatin1Char('/') + logName(1)).last(), QStringLiteral("Справочник загружен успешно."));
    QVERIFY(textLines(in() + QLatin1Char('/') + logName(2))[0].endsWith(toUi(table("WGT").pname)));
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.iop")).isEmpty());
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.tvr")).isEmpty());
    QCOMPARE(QDir(in()).entryList({ QStringLiteral("Tovar.*"), QStringLiteral("Vescod.*") }, QDir::Files, QDir::Name),
        serverAfter);
    // One connection and one login for the whole exchange, closed at its end.
    const QByteArray server = m_peer->log();
    QCOMPARE(server.count(QByteArray("USER " + User)), 1);
    QCOMPARE(server.count("<- QUIT"), 1);
    QVERIFY(server.contains(transferMode == 1 ? "<- PORT" : "<- PASV"));
    QVERIFY(m_obm->menuWindow()->isVisible());
    QVERIFY(!m_obm->exchangeWindow()->isVisible());
    checkNoPassword();
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestObMainFtp::unload_data()
{
    QTest::addColumn<bool>("refused"); // the server cannot store the results
    QTest::newRow("delivered") << false;
    QTest::newRow("upload refused") << true;
}

void TestObMainFtp::unload()
{
    QFETCH(bool, refused);
    appState().user.obmen.unloadAct = int(SourceAction::Rename);
    appState().user.obmen.unloadMessage = 1;
    appState().user.obmen.enCaseChanged = true;
    TableDescr& res = table("RES");
    QList<QByteArray> records;
    for (int i = 0; i < 3; ++i)
        records << ViewFx::record(
            res, qPrintable(QStringLiteral("46000000000%1;0246%1;Сахар %1;500.00;%1.000").arg(10 + i)));
    const QString resTable = path(binFileName(res));
    QVERIFY(ViewFx::writeTable(resTable, res, records));
    touchChangeMarker(resTable);
    const QString resName = QFileInfo(binToTextName(QFileInfo(resTable).fileName())).fileName();
    // A folder under the results' name: STOR fails while the folder itself takes other files.
    if (refused)
        QVERIFY(QDir().mkpath(out() + QLatin1Char('/') + resName));
    startPeer();
    m_boxes->expectMessage();
    press(Qt::Key_2);
    confirmSelector();
    QTRY_VERIFY_WITH_TIMEOUT(!m_obm->exchanging(), 30000);

    QCOMPARE(m_boxes->boxes().size(), 1);
    QVERIFY(!QFile::exists(path(resName)));
    QCOMPARE(m_peer->log().count(QByteArray("USER " + User)), 1);
    checkNoPassword();
    QCOMPARE(m_boxes->unexpected(), 0);
    if (refused) {
        // Reported as a failure; no log goes to the office; the table keeps its changes.
        QCOMPARE(m_boxes->boxes()[0].icon, int(IconCritical));
        QVERIFY(!m_boxes->boxes()[0].text.contains(QStringLiteral("успешно")));
        QVERIFY(filesIn(out(), QStringLiteral("*.iop")).isEmpty());
        QCOMPARE(textLines(path(logName(1))).last(), QStringLiteral("Справочник не выгружен."));
        QVERIFY(QFile::exists(resTable));
        QVERIFY(QFile::exists(changeMarkerName(resTable)));
        return;
    }
    QCOMPARE(m_boxes->boxes()[0].text, QStringLiteral("Выгрузка\nвыполнена\nуспешно"));
    const QStringList lines = textLines(out() + QLatin1Char('/') + resName);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[2].contains(QStringLiteral("Сахар 12")));
    QCOMPARE(filesIn(out(), QStringLiteral("*.iop")), QStringList({ logName(1) }));
    QCOMPARE(textLines(out() + QLatin1Char('/') + logName(1)).last(), QStringLiteral("Справочник выгружен успешно."));
    // UnloadAct on the terminal's table; no unsent changes; the log left the terminal.
    QVERIFY(!QFile::exists(resTable));
    QVERIFY(QFile::exists(resTable.left(resTable.size() - 1) + QLatin1Char('o')));
    QVERIFY(!QFile::exists(changeMarkerName(resTable)));
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.iop")).isEmpty());
}

// Results the office has not collected are not replaced unasked; the safe answer keeps them.
void TestObMainFtp::unloadOverOfficeFile_data()
{
    QTest::addColumn<int>("answer"); // -1 Escape
    QTest::newRow("escape keeps the office's file") << -1;
    QTest::newRow("replace") << 0;
}

void TestObMainFtp::unloadOverOfficeFile()
{
    QFETCH(int, answer);
    appState().user.obmen.enCaseChanged = true;
    TableDescr& res = table("RES");
    const QString resTable = path(binFileName(res));
    QVERIFY(ViewFx::writeTable(resTable, res, { ViewFx::record(res, "4600000000017;024680;Сахар;500.00;2.000") }));
    touchChangeMarker(resTable);
    const QString resName = QFileInfo(binToTextName(QFileInfo(resTable).fileName())).fileName();
    const QString office = out() + QLatin1Char('/') + resName.toUpper();
    QVERIFY(TestUtil::writeFile(office, "not collected yet\r\n"));
    startPeer();
    if (answer < 0)
        m_boxes->answerEscape();
    else
        m_boxes->answerNext(answer);
    press(Qt::Key_2);
    confirmSelector();
    QTRY_VERIFY_WITH_TIMEOUT(!m_obm->exchanging(), 30000);

    QCOMPARE(m_boxes->boxes().size(), 1);
    QCOMPARE(m_boxes->boxes()[0].text, QStringLiteral("Справочник\nуже есть"));
    QCOMPARE(m_boxes->boxes()[0].first, QStringLiteral("Заменить"));
    if (answer < 0) {
        QCOMPARE(TestUtil::readFile(office), QByteArray("not collected yet\r\n"));
        QVERIFY(QFile::exists(changeMarkerName(resTable)));
        QCOMPARE(runLog().count(fromUi(QStringLiteral("Справочник не выгружен."))), 1);
    } else {
        QCOMPARE(textLines(out() + QLatin1Char('/') + resName).size(), 1);
        QVERIFY(!QFile::exists(changeMarkerName(resTable)));
    }
    // No temporary of an upload is left in the office's folder.
    QVERIFY(filesIn(out(), QStringLiteral("*ortova-*")).isEmpty());
    QCOMPARE(m_boxes->unexpected(), 0);
}

// ---- Failures ----------------------------------------------------------------------------------

void TestObMainFtp::failures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("goodsFails");
    QTest::addColumn<bool>("weightsFail");
    QTest::newRow("wrong password") << "password" << true << true;
    QTest::newRow("missing folder") << "folder" << true << true;
    QTest::newRow("server stopped") << "stopped" << true << true;
    QTest::newRow("missing file") << "file" << false << true;
}

void TestObMainFtp::failures()
{
    QFETCH(QString, fault);
    QFETCH(bool, goodsFails);
    QFETCH(bool, weightsFail);
    appState().user.obmen.loadAct = int(SourceAction::Delete);
    // Old tables with an index: a failed transfer must leave them whole.
    TableDescr& goods = table("TVR");
    QVERIFY(ViewFx::writeTable(
        path(binFileName(goods)), goods, { ViewFx::record(goods, "000111;4600000000024;Соль;12.50;1.000") }));
    QVERIFY(prepareIndexFiles(binFileName(goods), goods));
    const QString barIndex = indexFileName(binFileName(goods), KeyRole::Bar);
    const QByteArray oldGoods = TestUtil::readFile(goodsTable());
    const QByteArray oldIndex = TestUtil::readFile(barIndex);
    const QByteArray oldWeights(table("WGT").recordLength, '8');
    QVERIFY(TestUtil::writeFile(path(binFileName(table("WGT"))), oldWeights));

    startPeer();
    if (fault == QLatin1String("password"))
        appState().user.ftpClient.passWord = Password + "x";
    else if (fault == QLatin1String("folder"))
        appState().user.ftpClient.input = "nosuch";
    else if (fault == QLatin1String("stopped"))
        m_peer->kill();
    else if (fault == QLatin1String("file"))
        QVERIFY(QFile::remove(in() + QStringLiteral("/Vescod.wgt")));
    const int failures = int(goodsFails) + int(weightsFail);
    m_boxes->expectMessage(failures);
    press(Qt::Key_1);
    QTRY_VERIFY_WITH_TIMEOUT(!m_obm->exchanging(), 60000);

    // One critical box per failed directory, with the server's reason, titled with the directory.
    QCOMPARE(m_boxes->boxes().size(), failures);
    for (const ScriptedResponder::Box& box : m_boxes->boxes()) {
        QCOMPARE(box.icon, int(IconCritical));
        QVERIFY(!box.text.isEmpty());
    }
    QCOMPARE(m_boxes->boxes().last().title, toUi(table("WGT").pname));
    QCOMPARE(TestUtil::readFile(goodsTable()) == oldGoods, goodsFails);
    QCOMPARE(TestUtil::readFile(barIndex) == oldIndex, goodsFails);
    QCOMPARE(TestUtil::readFile(path(binFileName(table("WGT")))), oldWeights);
    // The office keeps a file that was not loaded; nothing half-fetched stays on the terminal.
    QCOMPARE(QFile::exists(in() + QStringLiteral("/Tovar.tvr")), goodsFails);
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.tvr")).isEmpty());
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.wgt")).isEmpty());
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*ortova-*")).isEmpty());
    // Each failed directory's log says so, wherever it ended up.
    QCOMPARE(runLog().count(fromUi(QStringLiteral("Справочник не загружен."))), failures);
    QVERIFY(m_obm->menuWindow()->isVisible());
    checkNoPassword();
    QCOMPARE(m_boxes->unexpected(), 0);
}

// ---- Abort -------------------------------------------------------------------------------------

void TestObMainFtp::abortDuringTransfer_data()
{
    QTest::addColumn<QList<int>>("keys"); // Escape, or Return followed by the question's answer
    QTest::addColumn<QList<int>>("answers");
    QTest::newRow("escape aborts at once") << QList<int>({ Qt::Key_Escape }) << QList<int>();
    QTest::newRow("return, abort") << QList<int>({ Qt::Key_Return }) << QList<int>({ 0 });
    QTest::newRow("return, continue, then escape")
        << QList<int>({ Qt::Key_Return, Qt::Key_Escape }) << QList<int>({ 1 });
    QTest::newRow("return, escape continues, then escape")
        << QList<int>({ Qt::Key_Return, Qt::Key_Escape }) << QList<int>({ -1 });
}

void TestObMainFtp::abortDuringTransfer()
{
    QFETCH(QList<int>, keys);
    QFETCH(QList<int>, answers);
    appState().user.obmen.loadAct = int(SourceAction::Delete);
    const QByteArray oldGoods(table("TVR").recordLength * 2, '7');
    QVERIFY(TestUtil::writeFile(path(binFileName(table("TVR"))), oldGoods));
    // A goods file that takes the slow server many seconds.
    const QByteArray demo = TestUtil::readFile(DemoIn + QStringLiteral("/Tovar.tvr"));
    QVERIFY(TestUtil::writeFile(in() + QStringLiteral("/Tovar.tvr"), demo.repeated(40)));
    m_peer->setThrottle(32 * 1024);
    startPeer();
    for (const int answer : answers) {
        if (answer < 0)
            m_boxes->answerEscape();
        else
            m_boxes->answerNext(answer);
    }
    press(Qt::Key_1);
    ObmenWin* window = m_obm->exchangeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(window->state(), QStringLiteral("ФТП\nчтение"), 20000);
    for (const int key : keys) {
        QVERIFY(m_obm->exchanging());
        QTest::keyClick(window, Qt::Key(key));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!m_obm->exchanging(), 20000);

    // Only the question was asked; the goods log says it was broken off, once.
    QCOMPARE(m_boxes->boxes().size(), answers.size());
    for (const ScriptedResponder::Box& box : m_boxes->boxes()) {
        QCOMPARE(box.text, QStringLiteral("Обмен по ФТП"));
        QCOMPARE(box.first, QStringLiteral("Прервать"));
        QCOMPARE(box.second, QStringLiteral("Продолжить"));
    }
    const QByteArray log = runLog();
    QCOMPARE(log.count(fromUi(QStringLiteral("Загрузка прервана"))), 1);
    QCOMPARE(log.count(fromUi(QStringLiteral("Справочник не загружен."))), 1);
    // The table and the office's file are as they were; the weight codes were not begun.
    QCOMPARE(TestUtil::readFile(goodsTable()), oldGoods);
    QVERIFY(!QFile::exists(weightTable()));
    QVERIFY(QFile::exists(in() + QStringLiteral("/Tovar.tvr")));
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*.tvr")).isEmpty());
    QVERIFY(filesIn(m_dir->path(), QStringLiteral("*ortova-*")).isEmpty());
    QVERIFY(filesIn(in(), QStringLiteral("*.iop")).isEmpty());
    // Its log was not delivered: it stays on the terminal, and its number is not handed out again.
    QCOMPARE(filesIn(m_dir->path(), QStringLiteral("*.iop")), QStringList({ logName(1) }));
    QVERIFY(m_obm->menuWindow()->isVisible());
    QCOMPARE(m_boxes->unexpected(), 0);
}

// An unload broken off by the operator: reported once, nothing under the office's name, no log
// sent, and the results keep their changes for the next try.
void TestObMainFtp::abortDuringUpload()
{
    appState().user.obmen.unloadAct = int(SourceAction::Delete);
    appState().user.obmen.enCaseChanged = true;
    TableDescr& res = table("RES");
    QList<QByteArray> records;
    for (int i = 0; i < 20000; ++i)
        records << ViewFx::record(res, qPrintable(QStringLiteral("4600000000017;024680;Сахар;500.00;%1.000").arg(i)));
    const QString resTable = path(binFileName(res));
    QVERIFY(ViewFx::writeTable(resTable, res, records));
    touchChangeMarker(resTable);
    const QByteArray before = TestUtil::readFile(resTable);
    const QString resName = QFileInfo(binToTextName(QFileInfo(resTable).fileName())).fileName();
    m_peer->setThrottle(32 * 1024);
    startPeer();
    press(Qt::Key_2);
    confirmSelector();
    ObmenWin* window = m_obm->exchangeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(window->state(), QStringLiteral("ФТП\nзапись"), 20000);
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!m_obm->exchanging(), 20000);

    const QByteArray log = runLog();
    QCOMPARE(log.count(fromUi(QStringLiteral("Выгрузка прервана"))), 1);
    QCOMPARE(log.count(fromUi(QStringLiteral("Справочник не выгружен."))), 1);
    QVERIFY(!QFile::exists(out() + QLatin1Char('/') + resName));
    QVERIFY(filesIn(out(), QStringLiteral("*.iop")).isEmpty());
    QCOMPARE(TestUtil::readFile(resTable), before);
    QVERIFY(QFile::exists(changeMarkerName(resTable)));
    QCOMPARE(m_boxes->unexpected(), 0);
}

// ---- The document list from the office folder --------------------------------------------------

void TestObMainFtp::listing()
{
    appState().user.programm.enOnDocument = true;
    appState().user.obmen.loadAct = int(SourceAction::Keep);
    QVERIFY(QFile::copy(DemoIn + QStringLiteral("/Tovar.tvr"), in() + QStringLiteral("/Tovar0042.tvr")));
    QVERIFY(QFile::copy(DemoIn + QStringLiteral("/Tovar.tvr"), in() + QStringLiteral("/bad..name.tvr")));
    QVERIFY(TestUtil::writeFile(in() + QStringLiteral("/notes.txt"), "x"));
    QVERIFY(QDir().mkpath(in() + QStringLiteral("/Folder.tvr")));
    // Recent enough for the server to list the time too (it lists in UTC).
    const QDateTime stamp(QDate::currentDate().addDays(-10), QTime(12, 34), Qt::UTC);
    QFile weights(in() + QStringLiteral("/Vescod.wgt"));
    QVERIFY(weights.open(QIODevice::ReadWrite));
    QVERIFY(weights.setFileTime(stamp, QFileDevice::FileModificationTime));
    weights.close();
    startPeer();
    press(Qt::Key_1);
    QTRY_VERIFY_WITH_TIMEOUT(m_obm->chooser(), 30000);

    // Regular files of the three kinds; the unsafe name is left out with a run-log line.
    const TableDescr& tab = table("TAB");
    const QStringList listed = textLines(path(textFileName(tab)));
    QStringList lines = listed;
    lines.sort();
    QCOMPARE(lines.size(), 3);
    const QString sep(QLatin1Char(tab.tabChar));
    QVERIFY2(lines[0].startsWith(QStringLiteral("Tovar.tvr") + sep + QStringLiteral("Товары") + sep
                 + QStringLiteral("1") + sep + QStringLiteral("Б/Н") + sep),
        qPrintable(lines[0]));
    QVERIFY(lines[1].startsWith(QStringLiteral("Tovar0042.tvr") + sep + QStringLiteral("Товары") + sep
        + QStringLiteral("1") + sep + QStringLiteral("0042") + sep));
    const QString weightLine = QStringLiteral("Vescod.wgt") + sep + QStringLiteral("Весовые ШК") + sep
        + QStringLiteral("4") + sep + QStringLiteral("D") + sep;
    // The number is what follows the first five characters: "Vescod" leaves "D".
    QVERIFY2(lines[2].startsWith(weightLine), qPrintable(lines[2]));
    QVERIFY2(lines[2].contains(sep + stamp.toString(QStringLiteral("dd.MM.yy")) + sep + QStringLiteral("12:34")),
        qPrintable(lines[2]));
    QVERIFY(runLog().contains("ignored: bad..name.tvr"));
    QCOMPARE(m_obm->chooser()->recordCount(), 3);

    // Marking the first row and confirming loads that file.
    QTest::keyClick(m_obm->chooser()->window(), Qt::Key_Return);
    m_boxes->expectMessage(0);
    confirmSelector();
    QTRY_VERIFY_WITH_TIMEOUT(!m_obm->exchanging(), 30000);
    QCOMPARE(filesIn(in(), QStringLiteral("*.iop")), QStringList({ logName(1) }));
    QCOMPARE(textLines(in() + QLatin1Char('/') + logName(1)).last(), QStringLiteral("Справочник загружен успешно."));
    const QString first = listed[0].section(sep, 0, 0);
    QVERIFY(QFile::exists(resolveFileCase(path(textToBinName(first)))));
    QCOMPARE(m_boxes->unexpected(), 0);
}

QTEST_MAIN(TestObMainFtp)
#include "tst_obmainftp.moc"
