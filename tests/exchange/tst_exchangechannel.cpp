// What every exchange channel promises, checked with one script against the local folder channel
// and the office FTP server channel (pyftpdlib on loopback): each job is answered once and never
// inside start(); files arrive whole under their names; a failure names its reason and leaves
// nothing half-made; the after-load action reaches the office's file; an abort never leaves half a
// file behind.

#include "ExchangeChannel.h"
#include "ExchangeFixtures.h"
#include "FtpPeer.h"
#include "TestUtil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace ExchangeFixtures;

namespace {

const QByteArray User = "office";
const QByteArray Password = "Zq7-sekret-Pw";

// A key and a self-signed certificate in one PEM file, as an office server makes its own; returns
// the key's pin ("sha256//<base64>"), empty when openssl failed.
QByteArray makeServerKey(const QString& pemFile)
{
    QProcess openssl;
    openssl.start(QStringLiteral("sh"),
        { QStringLiteral("-c"),
            QStringLiteral("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=office "
                           "-days 30 -keyout \"$1\" -out \"$1.crt\" 2>/dev/null && cat \"$1.crt\" >> \"$1\" && "
                           "openssl x509 -in \"$1.crt\" -pubkey -noout | openssl pkey -pubin -outform der | "
                           "openssl dgst -sha256 -binary | base64"),
            QStringLiteral("sh"), pemFile });
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        return QByteArray();
    return "sha256//" + openssl.readAllStandardOutput().trimmed();
}

} // namespace

class TestExchangeChannel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void transfers_data();
    void transfers();
    void replacedSourceIsLeft_data();
    void replacedSourceIsLeft();
    void failures_data();
    void failures();
    void abortLeavesNoHalfFile_data();
    void abortLeavesNoHalfFile();
    void tlsPinnedServer_data();
    void tlsPinnedServer();

private:
    void channels();
    // tlsPem: the office server demands TLS with this key; pin: the channel's fingerprint.
    // tlsOn: the channel's TLS setting is "Разрешено" (else "Нет") when the server has a key.
    void open(bool ftp, int throttle = 0, const QString& tlsPem = QString(), const QByteArray& pin = QByteArray(),
        bool tlsOn = true);
    // Runs one job to its end; the answer must come from the event loop, exactly once.
    ExchangeJob run(const ExchangeJob& j);
    QString office() const { return m_folders.root->filePath(QStringLiteral("office")); }
    QString in() const { return office() + QStringLiteral("/in"); }
    QString out() const { return office() + QStringLiteral("/out"); }

    Folders m_folders;
    std::unique_ptr<FtpPeer> m_peer;
    std::unique_ptr<ExchangeChannel> m_channel;
};

void TestExchangeChannel::initTestCase()
{
    fillRegistry();
}

void TestExchangeChannel::init()
{
    QVERIFY(m_folders.make());
    QVERIFY(QDir().mkpath(in()));
    QVERIFY(QDir().mkpath(out()));
}

void TestExchangeChannel::cleanup()
{
    m_channel.reset();
    m_peer.reset();
    QDir::setCurrent(QDir::tempPath());
    m_folders.root.reset();
}

void TestExchangeChannel::channels()
{
    QTest::addColumn<bool>("ftp");
    QTest::newRow("folder") << false;
    QTest::newRow("ftp") << true;
}

void TestExchangeChannel::open(bool ftp, int throttle, const QString& tlsPem, const QByteArray& pin, bool tlsOn)
{
    ChannelSetup setup;
    setup.kind = ftp ? Channel::FtpClient : Channel::LocalDir;
    setup.work = m_folders.work;
    setup.listTable = descrRegistry().table("TAB");
    if (ftp) {
        m_peer = std::make_unique<FtpPeer>();
        m_peer->setThrottle(throttle);
        m_peer->setTls(tlsPem);
        QVERIFY(m_peer->start(office(), User, Password));
        setup.ftp.tls = int(tlsPem.isEmpty() || !tlsOn ? TlsUse::Off : TlsUse::Allowed);
        setup.ftp.fingerprint = pin;
        setup.ftp.ipAdress = "127.0.0.1";
        setup.ftp.userName = User;
        setup.ftp.passWord = Password;
        setup.ftpPort = m_peer->port();
        // Relative to the login folder, as an office server's folders usually are: every job of the
        // channel must find the same folders.
        setup.input = QStringLiteral("in");
        setup.output = QStringLiteral("out");
    } else {
        setup.input = in();
        setup.output = out();
    }
    m_channel = makeExchangeChannel(setup);
}

ExchangeJob TestExchangeChannel::run(const ExchangeJob& j)
{
    QSignalSpy spy(m_channel.get(), &ExchangeChannel::finished);
    m_channel->start(j);
    if (!spy.isEmpty()) {
        qWarning("answered inside start()");
        return ExchangeJob();
    }
    if (!spy.wait(30000))
        qWarning("no answer");
    // A second answer would run the exchange's next step twice.
    QTest::qWait(50);
    if (spy.size() != 1) {
        qWarning("%d answers", int(spy.size()));
        return ExchangeJob();
    }
    return spy.first().first().value<ExchangeJob>();
}

void TestExchangeChannel::transfers_data()
{
    channels();
}

void TestExchangeChannel::transfers()
{
    QFETCH(bool, ftp);
    const QByteArray goods = "000111;4600000000024;Соль;12.50;1.000\r\n";
    QVERIFY(TestUtil::writeFile(in() + QStringLiteral("/Tovar.tvr"), goods.repeated(500)));
    QVERIFY(TestUtil::writeFile(in() + QStringLiteral("/Vescod.wgt"), "x"));
    open(ftp);
    QVERIFY(m_channel);

    // The listing offers the office's directories as lines of the load list.
    ExchangeJob done = run(exchangeJob(JobKind::List));
    QCOMPARE(done.outcome, JobOutcome::Done);
    QVERIFY2(done.listing.contains("Tovar.tvr;"), done.listing.constData());
    QVERIFY(done.listing.contains("Vescod.wgt;"));

    // Fetch: the whole file under the name asked for; the office keeps its file.
    const QString local = m_folders.path("Tovar.tvr");
    done = run(exchangeJob(JobKind::Fetch, "Tovar.tvr", local));
    QCOMPARE(done.outcome, JobOutcome::Done);
    QCOMPARE(done.local, local);
    QVERIFY(!done.inPlace);
    QCOMPARE(TestUtil::readFile(local), goods.repeated(500));
    QVERIFY(QFile::exists(in() + QStringLiteral("/Tovar.tvr")));

    // The after-load action on the file that was loaded: rename to "…o", then delete.
    ExchangeJob act = exchangeJob(JobKind::ActOnSource, "Tovar.tvr", local);
    act.action = SourceAction::Rename;
    QCOMPARE(run(act).outcome, JobOutcome::Done);
    QCOMPARE(entries(in()), QStringList({ QStringLiteral("Tovar.tvo"), QStringLiteral("Vescod.wgt") }));
    // A second "rename" replaces the former "...o".
    QVERIFY(TestUtil::writeFile(in() + QStringLiteral("/Tovar.tvr"), "second"));
    QCOMPARE(run(exchangeJob(JobKind::Fetch, "Tovar.tvr", local)).outcome, JobOutcome::Done);
    QCOMPARE(run(act).outcome, JobOutcome::Done);
    QCOMPARE(TestUtil::readFile(in() + QStringLiteral("/Tovar.tvo")), QByteArray("second"));
    const QString weights = m_folders.path("Vescod.wgt");
    QCOMPARE(run(exchangeJob(JobKind::Fetch, "Vescod.wgt", weights)).outcome, JobOutcome::Done);
    act = exchangeJob(JobKind::ActOnSource, "Vescod.wgt", weights);
    act.action = SourceAction::Delete;
    QCOMPARE(run(act).outcome, JobOutcome::Done);
    QCOMPARE(entries(in()), QStringList({ QStringLiteral("Tovar.tvo") }));

    // Deliver into the output folder, a log into the input folder; the terminal keeps its files.
    const QString results = m_folders.path("Ostatki.res");
    QVERIFY(TestUtil::writeFile(results, goods.repeated(3)));
    done = run(exchangeJob(JobKind::Deliver, "Ostatki.res", results, false));
    QCOMPARE(done.outcome, JobOutcome::Done);
    QCOMPARE(TestUtil::readFile(out() + QStringLiteral("/Ostatki.res")), goods.repeated(3));
    // What the office holds already is known before it is replaced, whatever its letter case.
    ExchangeJob lookup = run(exchangeJob(JobKind::Lookup, "OSTATKI.RES", results, false));
    QCOMPARE(lookup.outcome, JobOutcome::Done);
    QVERIFY(lookup.exists);
    QVERIFY(!run(exchangeJob(JobKind::Lookup, "Prihod.res", results, false)).exists);
    if (ftp) {
        // Nothing was stored under the office's name before it was whole.
        const QByteArray server = m_peer->log();
        QVERIFY2(server.contains("STOR Ostatki.res.ortova-"), server.constData());
        QVERIFY(!QRegularExpression(QStringLiteral("STOR Ostatki\\.res\\s*$"), QRegularExpression::MultilineOption)
                     .match(QString::fromUtf8(server))
                     .hasMatch());
    }
    const QString log = m_folders.path("7000001.iop");
    QVERIFY(TestUtil::writeFile(log, "log\r\n"));
    QCOMPARE(run(exchangeJob(JobKind::DeliverLog, "7000001.iop", log, true)).outcome, JobOutcome::Done);
    QCOMPARE(TestUtil::readFile(in() + QStringLiteral("/7000001.iop")), QByteArray("log\r\n"));
    QVERIFY(QFile::exists(results));
    QVERIFY(QFile::exists(log));

    QCOMPARE(run(exchangeJob(JobKind::Close)).outcome, JobOutcome::Done);
    // Nothing of the channel's own is left in the office's folders or the work folder.
    QCOMPARE(entries(out()), QStringList({ QStringLiteral("Ostatki.res") }));
    QCOMPARE(entries(m_folders.work),
        QStringList({ QStringLiteral("7000001.iop"), QStringLiteral("Ostatki.res"), QStringLiteral("Tovar.tvr"),
            QStringLiteral("Vescod.wgt") }));
}

void TestExchangeChannel::replacedSourceIsLeft_data()
{
    channels();
}

// The office puts a corrected file under the same name between the copy and the after-load action:
// the action leaves it and says why.
void TestExchangeChannel::replacedSourceIsLeft()
{
    QFETCH(bool, ftp);
    QVERIFY(TestUtil::writeFile(in() + QStringLiteral("/Tovar.tvr"), "first version\r\n"));
    open(ftp);
    const QString local = m_folders.path("Tovar.tvr");
    QCOMPARE(run(exchangeJob(JobKind::Fetch, "Tovar.tvr", local)).outcome, JobOutcome::Done);
    QVERIFY(TestUtil::writeFile(in() + QStringLiteral("/Tovar.tvr"), "corrected, second version\r\n"));
    ExchangeJob act = exchangeJob(JobKind::ActOnSource, "Tovar.tvr", local);
    act.action = SourceAction::Delete;
    const ExchangeJob done = run(act);
    QCOMPARE(done.outcome, JobOutcome::Failed);
    QVERIFY(done.sourceChanged);
    QCOMPARE(done.reason, QStringLiteral("Справочник изменён в офисе и оставлен"));
    QCOMPARE(TestUtil::readFile(in() + QStringLiteral("/Tovar.tvr")), QByteArray("corrected, second version\r\n"));
    // A file that was never fetched is not acted on either.
    act.name = "Prihod.prh";
    QVERIFY(TestUtil::writeFile(in() + QStringLiteral("/Prihod.prh"), "x"));
    QCOMPARE(run(act).outcome, JobOutcome::Failed);
    QVERIFY(QFile::exists(in() + QStringLiteral("/Prihod.prh")));
}

void TestExchangeChannel::failures_data()
{
    QTest::addColumn<bool>("ftp");
    QTest::addColumn<QString>("fault");
    for (const bool ftp : { false, true }) {
        const char* channel = ftp ? "ftp" : "folder";
        QTest::addRow("%s, missing file", channel) << ftp << "file";
        QTest::addRow("%s, missing output folder", channel) << ftp << "folder";
    }
}

void TestExchangeChannel::failures()
{
    QFETCH(bool, ftp);
    QFETCH(QString, fault);
    const QString local = m_folders.path("Tovar.tvr");
    const QByteArray old = "old table text\r\n";
    QVERIFY(TestUtil::writeFile(local, old));
    open(ftp);
    ExchangeJob done;
    if (fault == QLatin1String("file")) {
        done = run(exchangeJob(JobKind::Fetch, "Tovar.tvr", local));
    } else {
        QVERIFY(QDir(out()).removeRecursively());
        done = run(exchangeJob(JobKind::Deliver, "Tovar.tvr", local, false));
    }
    QCOMPARE(done.outcome, JobOutcome::Failed);
    QVERIFY(!done.reason.isEmpty());
    // The terminal's file is as it was, and no temporary of a transfer is left.
    QCOMPARE(TestUtil::readFile(local), old);
    QCOMPARE(entries(m_folders.work), QStringList({ QStringLiteral("Tovar.tvr") }));
    QVERIFY(entries(in()).isEmpty());
    // The channel goes on after a failure.
    QVERIFY(TestUtil::writeFile(in() + QStringLiteral("/Vescod.wgt"), "w"));
    QCOMPARE(run(exchangeJob(JobKind::Fetch, "Vescod.wgt", m_folders.path("Vescod.wgt"))).outcome, JobOutcome::Done);
}

void TestExchangeChannel::abortLeavesNoHalfFile_data()
{
    channels();
}

void TestExchangeChannel::abortLeavesNoHalfFile()
{
    QFETCH(bool, ftp);
    const QByteArray big(600 * 1024, 'g');
    QVERIFY(TestUtil::writeFile(in() + QStringLiteral("/Tovar.tvr"), big));
    open(ftp, 64 * 1024);
    const QString local = m_folders.path("Tovar.tvr");
    QSignalSpy spy(m_channel.get(), &ExchangeChannel::finished);
    QSignalSpy progress(m_channel.get(), &ExchangeChannel::progress);
    m_channel->start(exchangeJob(JobKind::Fetch, "Tovar.tvr", local));
    if (ftp)
        QTRY_VERIFY_WITH_TIMEOUT(!progress.isEmpty(), 20000);
    m_channel->abort();
    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, 20000);
    const ExchangeJob done = spy.first().first().value<ExchangeJob>();
    // A transfer that can be broken off is; one that cannot is finished whole.
    QCOMPARE(done.outcome, m_channel->canBreakOff() ? JobOutcome::Aborted : JobOutcome::Done);
    if (done.outcome == JobOutcome::Done)
        QCOMPARE(TestUtil::readFile(local), big);
    else
        QVERIFY(entries(m_folders.work).isEmpty());
    QCOMPARE(TestUtil::readFile(in() + QStringLiteral("/Tovar.tvr")), big);
    // After an abort the channel closes cleanly.
    QCOMPARE(run(exchangeJob(JobKind::Close)).outcome, JobOutcome::Done);
}

QTEST_GUILESS_MAIN(TestExchangeChannel)
#include "tst_exchangechannel.moc"

void TestExchangeChannel::tlsPinnedServer_data()
{
    QTest::addColumn<QString>("pinned");
    QTest::newRow("its key") << QStringLiteral("same");
    QTest::newRow("its key, bare base64") << QStringLiteral("bare");
    QTest::newRow("another key") << QStringLiteral("other");
    QTest::newRow("its key, TLS set to no") << QStringLiteral("tls off");
    QTest::newRow("a server without TLS") << QStringLiteral("plain");
}

// An office server with a self-signed certificate is trusted by its pinned key alone; one with
// another key, or none, gets nothing, not even the user name, and the operator is told why. A
// fingerprint demands TLS even when TLS is set to "Нет".
void TestExchangeChannel::tlsPinnedServer()
{
    QFETCH(QString, pinned);
    const QString pem = m_folders.root->filePath(QStringLiteral("office.pem"));
    QByteArray pin = makeServerKey(pem);
    QVERIFY(!pin.isEmpty());
    if (pinned == QLatin1String("bare"))
        pin = pin.mid(8);
    if (pinned == QLatin1String("other"))
        pin = makeServerKey(m_folders.root->filePath(QStringLiteral("other.pem")));
    QVERIFY(TestUtil::writeFile(in() + QStringLiteral("/Tovar.tvr"), "goods\r\n"));
    const QString results = m_folders.path("Ostatki.res");
    QVERIFY(TestUtil::writeFile(results, "results\r\n"));
    open(true, 0, pinned == QLatin1String("plain") ? QString() : pem, pin, pinned != QLatin1String("tls off"));
    QVERIFY(m_channel);

    const QString local = m_folders.path("Tovar.tvr");
    const ExchangeJob fetched = run(exchangeJob(JobKind::Fetch, "Tovar.tvr", local));
    const ExchangeJob delivered = run(exchangeJob(JobKind::Deliver, "Ostatki.res", results, false));
    const bool refused = pinned == QLatin1String("other") || pinned == QLatin1String("plain");
    if (!refused) {
        QVERIFY2(
            fetched.outcome == JobOutcome::Done, qPrintable(fetched.reason + QString::fromLocal8Bit(m_peer->log())));
        QCOMPARE(TestUtil::readFile(local), QByteArray("goods\r\n"));
        QCOMPARE(delivered.outcome, JobOutcome::Done);
        QCOMPARE(TestUtil::readFile(out() + QStringLiteral("/Ostatki.res")), QByteArray("results\r\n"));
        QVERIFY(m_peer->log().contains("PROT P"));
        return;
    }
    for (const ExchangeJob& job : { fetched, delivered }) {
        QCOMPARE(job.outcome, JobOutcome::Failed);
        QCOMPARE(job.reason,
            pinned == QLatin1String("plain") ? QStringLiteral("Сервер\nбез TLS")
                                             : QStringLiteral("Ключ сервера\nне совпадает\nс отпечатком"));
    }
    QVERIFY(!QFile::exists(local));
    QCOMPARE(entries(out()), QStringList());
    const QByteArray server = m_peer->log();
    QVERIFY2(server.contains("AUTH ") && !server.contains("USER"), server.constData());
}
