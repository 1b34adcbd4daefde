// The FTP client against a real FTP server on loopback: command runs over one login, byte-exact
// Windows-1251 names, the fault cases that must leave local files whole, abort, time-outs and the
// listing parser.

#include "FtpClient.h"
#include "FtpPeer.h"
#include "TestUtil.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray User = "office";
const QByteArray Password = "secret";

// Everything the client said, in order.
struct Recorder {
    QList<int> states;
    QList<QPair<int, bool>> finished;
    QList<bool> dones;
    QList<UrlInfo> entries;
    qint64 progressed = 0;

    explicit Recorder(FtpClient& ftp)
    {
        QObject::connect(&ftp, &FtpClient::stateChanged, &ftp, [this](int s) { states.append(s); });
        QObject::connect(&ftp, &FtpClient::commandFinished, &ftp, [this](int id, bool error) {
            finished.append({ id, error });
        });
        QObject::connect(&ftp, &FtpClient::done, &ftp, [this](bool error) { dones.append(error); });
        QObject::connect(&ftp, &FtpClient::listInfo, &ftp, [this](const UrlInfo& i) { entries.append(i); });
        QObject::connect(&ftp, &FtpClient::dataTransferProgress, &ftp,
            [this](qint64 done, qint64) { progressed = qMax(progressed, done); });
    }
    const UrlInfo* entry(const QByteArray& name) const
    {
        for (const UrlInfo& i : entries)
            if (i.name == name)
                return &i;
        return nullptr;
    }
    bool failed(int id) const { return finished.contains({ id, true }); }
};

// Raw file-system name bytes: Windows-1251 names are not valid UTF-8, so QString paths would lose them.
bool onServer(const QString& root, const QByteArray& name)
{
    const QByteArray path = QFile::encodeName(root) + '/' + name;
    return ::access(path.constData(), F_OK) == 0;
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 1024) & 0xff);
    return bytes;
}

// What the local folder holds besides the target: a left temporary shows up here.
QStringList localEntries(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden);
}

void connectAndLogin(FtpClient& ftp, quint16 port, const QByteArray& password = Password)
{
    ftp.connectToHost(QStringLiteral("127.0.0.1"), port);
    ftp.login(User, password);
}

} // namespace

class TestFtpClient : public QObject {
    Q_OBJECT

private slots:
    void parseListLine_data();
    void parseListLine();
    void roundTrip_data();
    void roundTrip();
    void faults_data();
    void faults();
    void serverKilledMidTransfer();
    void silentServerTimesOut();
    void abortThrottled_data();
    void abortThrottled();
    void droppedConnectionIsPickedUp();
    void windowsListing();
};

void TestFtpClient::parseListLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("isDir");
    QTest::addColumn<QDateTime>("modified");

    const auto at
        = [](int y, int mo, int d, int h = 0, int mi = 0) { return QDateTime(QDate(y, mo, d), QTime(h, mi)); };
    QTest::newRow("unix, year") << QByteArray("-rw-r--r--   1 owner group   1234 Mar 07  2025 goods.tvr") << true
                                << QByteArray("goods.tvr") << qint64(1234) << false << at(2025, 3, 7);
    QTest::newRow("unix, time this year") << QByteArray("-rw-r--r-- 1 owner group 10 Mar 07 12:34 a.tvr") << true
                                          << QByteArray("a.tvr") << qint64(10) << false << at(2026, 3, 7, 12, 34);
    QTest::newRow("unix, time last year") << QByteArray("-rw-r--r-- 1 owner group 10 Dec 24 10:00 a.tvr") << true
                                          << QByteArray("a.tvr") << qint64(10) << false << at(2025, 12, 24, 10, 0);
    QTest::newRow("unix, directory") << QByteArray("drwxr-xr-x 2 owner group 4096 Jan 02  2024 in") << true
                                     << QByteArray("in") << qint64(4096) << true << at(2024, 1, 2);
    QTest::newRow("unix, no group") << QByteArray("-rw-r--r-- 1 ftp 77 Feb 28 2026 x.prh") << true
                                    << QByteArray("x.prh") << qint64(77) << false << at(2026, 2, 28);
    QTest::newRow("unix, blanks in name") << QByteArray("-rw-r--r-- 1 o g 5 Mar 01 2026 my  goods 1.tvr") << true
                                          << QByteArray("my  goods 1.tvr") << qint64(5) << false << at(2026, 3, 1);
    QTest::newRow("unix, Windows-1251 name")
        << QByteArray("-rw-r--r-- 1 o g 9 Mar 01 2026 ") + TestUtil::cp("Товары.tvr") << true
        << TestUtil::cp("Товары.tvr") << qint64(9) << false << at(2026, 3, 1);
    QTest::newRow("unix, link") << QByteArray("lrwxrwxrwx 1 o g 4 Mar 01 2026 last -> a.tvr") << true
                                << QByteArray("last") << qint64(4) << false << at(2026, 3, 1);
    QTest::newRow("windows, file") << QByteArray("03-07-26  12:34PM                 1234 goods.tvr") << true
                                   << QByteArray("goods.tvr") << qint64(1234) << false << at(2026, 3, 7, 12, 34);
    QTest::newRow("windows, directory") << QByteArray("03-07-26  09:05AM       <DIR>          in box") << true
                                        << QByteArray("in box") << qint64(0) << true << at(2026, 3, 7, 9, 5);
    QTest::newRow("windows, midnight, last century") << QByteArray("12-31-99  12:00AM   5 old.tvr\r") << true
                                                     << QByteArray("old.tvr") << qint64(5) << false << at(1999, 12, 31);
    QTest::newRow("windows, four-digit year") << QByteArray("03-07-2026  01:15PM 7 a.wgt") << true
                                              << QByteArray("a.wgt") << qint64(7) << false << at(2026, 3, 7, 13, 15);
    QTest::newRow("total") << QByteArray("total 12") << false << QByteArray() << qint64(-1) << false << QDateTime();
    QTest::newRow("empty") << QByteArray("") << false << QByteArray() << qint64(-1) << false << QDateTime();
    QTest::newRow("no month") << QByteArray("-rw-r--r-- 1 o g 12 Foo 07 2026 x") << false << QByteArray() << qint64(-1)
                              << false << QDateTime();
    QTest::newRow("no name") << QByteArray("-rw-r--r-- 1 o g 12 Mar 07 2026") << false << QByteArray() << qint64(-1)
                             << false << QDateTime();
    QTest::newRow("dot entry") << QByteArray("drwxr-xr-x 2 o g 4096 Mar 07 2026 ..") << false << QByteArray()
                               << qint64(-1) << false << QDateTime();
    QTest::newRow("windows, bad size") << QByteArray("03-07-26  12:34PM  12x a") << false << QByteArray() << qint64(-1)
                                       << false << QDateTime();
}

void TestFtpClient::parseListLine()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, valid);
    UrlInfo info;
    QCOMPARE(::parseListLine(line, info, QDate(2026, 3, 10)), valid);
    if (!valid)
        return;
    QTEST(info.name, "name");
    QTEST(info.size, "size");
    QTEST(info.isDir, "isDir");
    QCOMPARE(info.isFile, !info.isDir && !line.startsWith('l'));
    QTEST(info.lastModified, "modified");
}

void TestFtpClient::roundTrip_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("dataCommand");
    QTest::newRow("passive") << int(FtpClient::Passive) << QByteArray("<- PASV");
    QTest::newRow("active") << int(FtpClient::Active) << QByteArray("<- PORT ");
}

// One exchange: connect and log in once, then upload, list, rename, download and delete in a
// Windows-1251 named folder; names come back byte for byte.
// An office server that lists as Windows does: folders, sizes, names with blanks and their dates.
void TestFtpClient::windowsListing()
{
    QTemporaryDir root;
    const QByteArray name = TestUtil::cp("Товары 1.tvr");
    const QByteArray base = QFile::encodeName(root.path());
    QVERIFY(::mkdir(QByteArray(base + "/in box").constData(), 0755) == 0);
    // Raw bytes for the Windows-1251 name: a QString path would not keep them.
    const int fd = ::open(QByteArray(base + '/' + name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    const QByteArray content = pattern(1234);
    QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
    ::close(fd);
    FtpPeer peer;
    peer.setWindowsListing(true);
    QVERIFY(peer.start(root.path(), User, Password));
    FtpClient ftp;
    Recorder rec(ftp);
    connectAndLogin(ftp, peer.port());
    ftp.list("/");
    ftp.close();
    QTRY_COMPARE(rec.dones, QList<bool> { false });
    QVERIFY(peer.log().contains("LIST"));
    const UrlInfo* listed = rec.entry(name);
    QVERIFY(listed);
    QVERIFY(listed->isFile);
    QCOMPARE(listed->size, qint64(1234));
    QCOMPARE(listed->lastModified.date(), QDate::currentDate());
    const UrlInfo* folder = rec.entry("in box");
    QVERIFY(folder);
    QVERIFY(folder->isDir);
}

void TestFtpClient::roundTrip()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, dataCommand);
    QTemporaryDir root, local;
    const QByteArray folder = TestUtil::cp("Вход");
    const QByteArray name = TestUtil::cp("Товары 1.tvr");
    const QByteArray renamed = TestUtil::cp("Товары 1.tvo");
    const QByteArray folderPath = QFile::encodeName(root.path()) + '/' + folder;
    QVERIFY(::mkdir(folderPath.constData(), 0755) == 0);
    FtpPeer peer;
    QVERIFY(peer.start(root.path(), User, Password));
    const QByteArray content = pattern(200000);
    QVERIFY(TestUtil::writeFile(local.filePath(QStringLiteral("up.bin")), content));
    QVERIFY(TestUtil::writeFile(local.filePath(QStringLiteral("down.bin")), "old"));

    FtpClient ftp;
    Recorder rec(ftp);
    connectAndLogin(ftp, peer.port());
    ftp.cd("/" + folder);
    ftp.setTransferMode(FtpClient::TransferMode(mode));
    ftp.put(local.filePath(QStringLiteral("up.bin")), name);
    ftp.list();
    QTRY_VERIFY(!rec.dones.isEmpty());
    QVERIFY2(!rec.dones.first(), qPrintable(ftp.errorString()));
    QVERIFY(onServer(root.path(), folder + '/' + name));
    const UrlInfo* listed = rec.entry(name);
    QVERIFY(listed);
    QCOMPARE(listed->size, qint64(content.size()));
    QVERIFY(listed->isFile);
    QCOMPARE(listed->lastModified.date(), QDate::currentDate());

    rec.entries.clear();
    ftp.rename(name, renamed);
    ftp.get(renamed, local.filePath(QStringLiteral("down.bin")));
    ftp.remove(renamed);
    ftp.list(QByteArray("/") + folder);
    ftp.close();
    QTRY_COMPARE(rec.dones, (QList<bool> { false, false }));
    QCOMPARE(TestUtil::readFile(local.filePath(QStringLiteral("down.bin"))), content);
    QVERIFY(!onServer(root.path(), folder + '/' + name));
    QVERIFY(!onServer(root.path(), folder + '/' + renamed));
    QVERIFY(rec.entries.isEmpty());
    QCOMPARE(localEntries(local.path()).size(), 2);
    QCOMPARE(ftp.state(), FtpClient::Unconnected);
    QVERIFY(rec.states.indexOf(FtpClient::Connected) < rec.states.indexOf(FtpClient::LoggedIn));
    QCOMPARE(rec.states.mid(rec.states.size() - 2), (QList<int> { FtpClient::Closing, FtpClient::Unconnected }));

    const QByteArray log = peer.log();
    QCOMPARE(log.count("<- USER "), 1);
    QVERIFY(log.contains(dataCommand));
    QVERIFY(!log.contains("<- EPSV") && !log.contains("<- NLST"));
    QVERIFY(log.contains("<- QUIT"));
    QVERIFY(::rmdir(folderPath.constData()) == 0); // empty again, and QTemporaryDir cannot spell its name
}

void TestFtpClient::faults_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("failing"); // index of the command that fails: login, cd, get

    QTest::newRow("wrong password") << QByteArray("s3cr3t-wrong") << QByteArray("in") << QByteArray("a.tvr") << 0;
    QTest::newRow("missing folder") << Password << TestUtil::cp("нет") << QByteArray("a.tvr") << 1;
    QTest::newRow("missing file") << Password << QByteArray("in") << TestUtil::cp("нет.tvr") << 2;
}

// A failed command ends the run: the rest is dropped, the local file stays as it was.
void TestFtpClient::faults()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, file);
    QFETCH(int, failing);
    QTemporaryDir root, local;
    QVERIFY(TestUtil::writeFile(root.filePath(QStringLiteral("in/a.tvr")), "server"));
    const QString target = local.filePath(QStringLiteral("a.bin"));
    QVERIFY(TestUtil::writeFile(target, "old"));
    FtpPeer peer;
    QVERIFY(peer.start(root.path(), User, Password));

    FtpClient ftp;
    Recorder rec(ftp);
    ftp.connectToHost(QStringLiteral("127.0.0.1"), peer.port());
    const QList<int> ids { ftp.login(User, password), ftp.cd(folder), ftp.get(file, target) };
    const int after = ftp.list();
    QTRY_COMPARE(rec.dones, QList<bool> { true });
    QVERIFY(rec.failed(ids[failing]));
    QCOMPARE(rec.finished.last().first, ids[failing]);
    QVERIFY(!rec.finished.contains({ after, false }) && !rec.finished.contains({ after, true }));
    QVERIFY(!ftp.hasPendingCommands());
    QCOMPARE_NE(ftp.error(), FtpClient::NoError);
    QVERIFY(!ftp.errorString().isEmpty());
    QVERIFY(!ftp.errorString().contains(QString::fromLatin1(password)));
    QVERIFY(!peer.log().contains(password));
    QCOMPARE(TestUtil::readFile(target), QByteArray("old"));
    QCOMPARE(localEntries(local.path()), QStringList { QStringLiteral("a.bin") });
}

void TestFtpClient::serverKilledMidTransfer()
{
    QTemporaryDir root, local;
    QVERIFY(TestUtil::writeFile(root.filePath(QStringLiteral("big.tvr")), pattern(8 << 20)));
    const QString target = local.filePath(QStringLiteral("big.bin"));
    QVERIFY(TestUtil::writeFile(target, "old"));
    FtpPeer peer;
    peer.setThrottle(256 * 1024);
    QVERIFY(peer.start(root.path(), User, Password));

    FtpClient ftp;
    Recorder rec(ftp);
    connectAndLogin(ftp, peer.port());
    const int get = ftp.get("big.tvr", target);
    QTRY_VERIFY(rec.progressed > 0);
    peer.kill();
    QTRY_COMPARE_WITH_TIMEOUT(rec.dones, QList<bool> { true }, 30000);
    QVERIFY(rec.failed(get));
    QCOMPARE(TestUtil::readFile(target), QByteArray("old"));
    QCOMPARE(localEntries(local.path()), QStringList { QStringLiteral("big.bin") });
    QCOMPARE(ftp.state(), FtpClient::Unconnected);
}

// A server that takes the connection and never greets: the configured response time-out ends it.
void TestFtpClient::silentServerTimesOut()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    FtpClient ftp;
    ftp.setTimeouts({ 1000, 1000 });
    Recorder rec(ftp);
    connectAndLogin(ftp, silent.serverPort());
    QTRY_COMPARE_WITH_TIMEOUT(rec.dones, QList<bool> { true }, 30000);
    QVERIFY(silent.hasPendingConnections());
    QVERIFY(ftp.errorString().contains(QStringLiteral("timed out")));
    QCOMPARE(ftp.state(), FtpClient::Unconnected);
}

void TestFtpClient::abortThrottled_data()
{
    QTest::addColumn<bool>("upload");
    QTest::newRow("download") << false;
    QTest::newRow("upload") << true;
}

// Abort of a slow transfer: done(true) follows, the local file is whole, no partial file is left
// on the server under the office name.
void TestFtpClient::abortThrottled()
{
    QFETCH(bool, upload);
    QTemporaryDir root, local;
    QVERIFY(TestUtil::writeFile(root.filePath(QStringLiteral("slow.tvr")), pattern(4 << 20)));
    const QString target = local.filePath(QStringLiteral("slow.bin"));
    QVERIFY(TestUtil::writeFile(target, upload ? pattern(4 << 20) : QByteArray("old")));
    const QByteArray before = TestUtil::readFile(target);
    FtpPeer peer;
    peer.setThrottle(64 * 1024);
    QVERIFY(peer.start(root.path(), User, Password));

    FtpClient ftp;
    Recorder rec(ftp);
    connectAndLogin(ftp, peer.port());
    const int transfer = upload ? ftp.put(target, "up.res") : ftp.get("slow.tvr", target);
    ftp.close();
    QTRY_VERIFY(rec.progressed > 0);
    ftp.abort();
    QVERIFY(!ftp.hasPendingCommands());
    QTRY_COMPARE_WITH_TIMEOUT(rec.dones, QList<bool> { true }, 5000);
    QVERIFY(rec.failed(transfer));
    QCOMPARE(TestUtil::readFile(target), before);
    QCOMPARE(localEntries(local.path()), QStringList { QStringLiteral("slow.bin") });
    if (upload)
        QVERIFY(!QFile::exists(root.filePath(QStringLiteral("up.res"))));
}

// The office server dropped the idle connection (here: restarted); the next command dials again,
// logs in again and succeeds, and the state signals tell the story.
void TestFtpClient::droppedConnectionIsPickedUp()
{
    QTemporaryDir root, local;
    QVERIFY(TestUtil::writeFile(root.filePath(QStringLiteral("in/a.tvr")), "goods"));
    FtpPeer peer;
    QVERIFY(peer.start(root.path(), User, Password));
    FtpClient ftp;
    Recorder rec(ftp);
    connectAndLogin(ftp, peer.port());
    ftp.cd("in");
    QTRY_COMPARE(rec.dones, QList<bool> { false });
    QCOMPARE(ftp.state(), FtpClient::LoggedIn);

    const int loginsBefore = peer.log().count("<- USER ");
    QVERIFY(peer.restart());
    rec.states.clear();
    ftp.get("a.tvr", local.filePath(QStringLiteral("a.bin")));
    QTRY_COMPARE(rec.dones, (QList<bool> { false, false }));
    QCOMPARE(TestUtil::readFile(local.filePath(QStringLiteral("a.bin"))), QByteArray("goods"));
    QCOMPARE(rec.states,
        (QList<int> { FtpClient::Unconnected, FtpClient::Connecting, FtpClient::Connected, FtpClient::LoggedIn }));
    QCOMPARE(peer.log().count("<- USER ") - loginsBefore, 1);
}

QTEST_GUILESS_MAIN(TestFtpClient)
#include "tst_ftpclient.moc"
