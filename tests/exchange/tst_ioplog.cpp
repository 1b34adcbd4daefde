// Exchange logs: the number kept by one marker across restarts, the log files and their lines,
// the run-log mirror, and what happens when the folders do not play along.

#include "AppState.h"
#include "Codec.h"
#include "IopLog.h"
#include "IopMsg.h"
#include "RunLog.h"
#include "TestUtil.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Stamp = QStringLiteral("\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\. ");

// The marker files (not folders) in dir, sorted and joined by blanks.
QString markerFiles(const QString& dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    names = names.filter(QRegularExpression(QStringLiteral("\\.ipn$"), QRegularExpression::CaseInsensitiveOption));
    return names.join(QLatin1Char(' '));
}

// Entries named by blanks; a name ending in "/" is a folder, a log holds "old".
void makeEntries(const QString& dir, const QString& names)
{
    for (const QString& name : names.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (name.endsWith(QLatin1Char('/')))
            QVERIFY(QDir(dir).mkpath(name));
        else
            QVERIFY(TestUtil::writeFile(QDir(dir).filePath(name), name.endsWith(QLatin1String(".iop")) ? "old" : ""));
    }
}

QString sixDigits(quint64 n)
{
    return QString::number(n).rightJustified(6, QLatin1Char('0'));
}

// One whole exchange: a log started and finished; returns its file name without the folder.
QString oneLog(bool load = true)
{
    iopStart(QByteArray("T"), load);
    iopFinish(QStringLiteral("x"));
    return QFileInfo(iopFileName()).fileName();
}

} // namespace

class TestIopLog : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_app = m_dir->filePath(QStringLiteral("app"));
        m_work = m_dir->filePath(QStringLiteral("work"));
        QVERIFY(QDir().mkpath(m_app) && QDir().mkpath(m_work) && QDir::setCurrent(m_work));
        m_runLog = TestUtil::openRunLogIn(m_app);
        appState().user.programm.terminalNumber = QByteArray("12");
    }
    void cleanup()
    {
        iopFinish(QString());
        RunLog::instance().close();
        QDir::setCurrent(QDir::tempPath());
        m_dir.reset();
    }

    // Start-up leaves one marker, for the highest number found; logs are never removed there. The
    // next log takes the next number, and a restart after it goes on from there.
    void startUp_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<quint64>("number");
        QTest::newRow("none") << QString() << QStringLiteral("000000.ipn") << quint64(0);
        QTest::newRow("none, logs stay") << QStringLiteral("12000004.iop") << QStringLiteral("000000.ipn")
                                         << quint64(0);
        QTest::newRow("one") << QStringLiteral("000041.ipn") << QStringLiteral("000041.ipn") << quint64(41);
        QTest::newRow("one unpadded") << QStringLiteral("7.ipn") << QStringLiteral("7.ipn") << quint64(7);
        QTest::newRow("one not a number") << QStringLiteral("abc.ipn") << QStringLiteral("abc.ipn") << quint64(0);
        QTest::newRow("two, logs stay") << QStringLiteral("000003.ipn 000009.ipn 12000003.iop 12000009.iop")
                                        << QStringLiteral("000009.ipn") << quint64(9);
        QTest::newRow("two other spellings")
            << QStringLiteral("000002.IPN 5.ipn") << QStringLiteral("000005.ipn") << quint64(5);
        QTest::newRow("three, one not a number")
            << QStringLiteral("abc.ipn 000004.ipn 000001.ipn") << QStringLiteral("000004.ipn") << quint64(4);
        QTest::newRow("seven digits") << QStringLiteral("000001.ipn 1234567.ipn") << QStringLiteral("1234567.ipn")
                                      << quint64(1234567);
        QTest::newRow("a folder's number counts")
            << QStringLiteral("000002.ipn 000030.ipn/") << QStringLiteral("000002.ipn") << quint64(30);
    }
    void startUp()
    {
        QFETCH(QString, before);
        QFETCH(QString, marker);
        QFETCH(quint64, number);
        makeEntries(m_app, before);

        iopGetNum(m_app);
        QCOMPARE(markerFiles(m_app), marker);
        QCOMPARE(iopNumber(), number);
        for (const QString& name : before.split(QLatin1Char(' ')).filter(QStringLiteral(".iop")))
            QCOMPARE(TestUtil::readFile(QDir(m_app).filePath(name)), QByteArray("old"));

        const QString name = QStringLiteral("12") + sixDigits(number + 1) + QStringLiteral(".iop");
        QCOMPARE(oneLog(), name);
        QCOMPARE(iopFileName(), QDir(m_work).filePath(name));
        QCOMPARE(markerFiles(m_app), sixDigits(number + 1) + QStringLiteral(".ipn"));
        iopGetNum(m_app);
        QCOMPARE(iopNumber(), number + 1);
    }

    void lines_data()
    {
        QTest::addColumn<bool>("load");
        QTest::addColumn<QString>("kind");
        QTest::newRow("load") << true << QStringLiteral("Загрузка справочника ");
        QTest::newRow("unload") << false << QStringLiteral("Выгрузка справочника ");
    }
    void lines()
    {
        QFETCH(bool, load);
        QFETCH(QString, kind);
        iopGetNum(m_app);
        iopStart(TestUtil::cp("Товары"), load);
        iopMsg(QStringLiteral("Нет справочника"));
        iopFinish(QStringLiteral("Справочник не загружен."));
        iopMsg(QStringLiteral("после"));

        // Windows-1251, CR LF, the header stamped; nothing once the log is closed.
        const QString log = toUi(TestUtil::readFile(iopFileName()));
        const QRegularExpression logShape(QLatin1Char('^') + Stamp + kind
            + QStringLiteral("Товары\r\nНет справочника\r\nСправочник не загружен\\.\r\n$"));
        QVERIFY2(logShape.match(log).hasMatch(), qPrintable(log));
        // The run log: the header after a blank, every line indented by three.
        const QString run = toUi(TestUtil::readFile(m_runLog));
        const QRegularExpression runShape(Stamp + QLatin1Char(' ') + kind
            + QStringLiteral("Товары\r\n   Нет справочника\r\n   Справочник не загружен\\.\r\n   после\r\n$"));
        QVERIFY2(runShape.match(run).hasMatch(), qPrintable(run));
    }

    // A lost marker restarts at 0; the exchange then raises the number above this terminal's logs
    // still kept here or in an exchange folder, so none of them is written over.
    void numberingGoesAboveKeptLogs()
    {
        const QString office = m_dir->filePath(QStringLiteral("office"));
        QVERIFY(QDir().mkpath(office));
        makeEntries(m_work, QStringLiteral("12000003.iop 12000007.iop"));
        makeEntries(office, QStringLiteral("12000005.iop 13000099.iop 1200x009.iop"));
        iopGetNum(m_app);
        QCOMPARE(iopNumber(), quint64(0));
        iopRaiseAbove({ m_work, office, QString() });
        QCOMPARE(oneLog(), QStringLiteral("12000008.iop"));
        QCOMPARE(TestUtil::readFile(QDir(m_work).filePath(QStringLiteral("12000007.iop"))), QByteArray("old"));
    }

    void oldLogOfTheSameNumberIsReplacedWhole()
    {
        QVERIFY(TestUtil::writeFile(QDir(m_work).filePath(QStringLiteral("12000001.iop")), QByteArray(4096, 'z')));
        iopGetNum(m_app);
        QCOMPARE(oneLog(), QStringLiteral("12000001.iop"));
        const QByteArray bytes = TestUtil::readFile(iopFileName());
        QVERIFY2(bytes.endsWith("T\r\nx\r\n") && !bytes.contains('z'), bytes.right(40).constData());
    }

    // A marker that cannot be renamed: a new one is made when it can be, the old one goes, and
    // after a restart the numbers go on from the last one used.
    void markerNotRenamed_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("markers");
        QTest::newRow("next marker is a folder") << QStringLiteral("000001.ipn/") << QStringLiteral("000000.ipn");
        QTest::newRow("next marker already there") << QStringLiteral("000001.ipn") << QStringLiteral("000001.ipn");
        QTest::newRow("marker removed by hand") << QStringLiteral("-") << QStringLiteral("000001.ipn");
    }
    void markerNotRenamed()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, markers);
        iopGetNum(m_app);
        if (obstacle == QLatin1String("-"))
            QVERIFY(QFile::remove(QDir(m_app).filePath(QStringLiteral("000000.ipn"))));
        else
            makeEntries(m_app, obstacle);

        QCOMPARE(oneLog(false), QStringLiteral("12000001.iop"));
        QCOMPARE(markerFiles(m_app), markers);
        iopGetNum(m_app);
        QCOMPARE(oneLog(false), QStringLiteral("12000002.iop"));
        QCOMPARE(markerFiles(m_app), QStringLiteral("000002.ipn"));
    }

    // Folders that cannot hold the number: logged, no crash, the number still moves on.
    void badFolders_data()
    {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<quint64>("first");
        QTest::newRow("marker is a folder")
            << QStringLiteral("app/000005.ipn/") << QStringLiteral("iopGetNum: marker is not a file ") << quint64(6);
        QTest::newRow("application folder missing")
            << QStringLiteral("missing") << QStringLiteral("iopGetNum: folder not readable ") << quint64(1);
        QTest::newRow("application folder is a file")
            << QStringLiteral("plain") << QStringLiteral("iopGetNum: folder not readable ") << quint64(1);
    }
    void badFolders()
    {
        QFETCH(QString, appDir);
        QFETCH(QString, logged);
        QFETCH(quint64, first);
        QString app = m_dir->filePath(appDir);
        if (appDir.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir().mkpath(app));
            app = m_app;
        } else if (appDir == QLatin1String("plain")) {
            QVERIFY(TestUtil::writeFile(app, "x"));
        }

        iopGetNum(app);
        for (quint64 n = first; n < first + 2; ++n) {
            QCOMPARE(oneLog(), QStringLiteral("12") + sixDigits(n) + QStringLiteral(".iop"));
            QCOMPARE(iopNumber(), n);
        }
        const QString run = toUi(TestUtil::readFile(m_runLog));
        QVERIFY2(run.contains(logged + app), qPrintable(run));
    }

    void logNames_data()
    {
        QTest::addColumn<QByteArray>("terminalNumber");
        QTest::addColumn<QString>("name");
        QTest::newRow("terminal 12") << QByteArray("12") << QStringLiteral("12000001.iop");
        QTest::newRow("no terminal number") << QByteArray() << QStringLiteral("000001.iop");
        QTest::newRow("cyrillic terminal number") << TestUtil::cp("Т1") << QStringLiteral("Т1000001.iop");
    }
    void logNames()
    {
        QFETCH(QByteArray, terminalNumber);
        QFETCH(QString, name);
        appState().user.programm.terminalNumber = terminalNumber;
        iopGetNum(m_app);
        QCOMPARE(oneLog(), name);
        QCOMPARE(iopFileName(), QDir(m_work).filePath(name));
        QVERIFY(QFile::exists(iopFileName()));

        iopRelease();
        QVERIFY(!QFile::exists(QDir(m_work).filePath(name)));
        QCOMPARE(iopFileName(), QString());
    }

    // A log that cannot be opened is not written; the run log still is and the number moves on.
    void logNotOpened()
    {
        iopGetNum(m_app);
        QVERIFY(QDir(m_work).mkdir(QStringLiteral("12000001.iop")));
        iopStart(QByteArray("T"), true);
        iopMsg(QStringLiteral("Загрузка прервана"));
        iopFinish(QStringLiteral("Справочник не загружен."));
        QCOMPARE(iopFileName(), QString());
        QCOMPARE(iopNumber(), quint64(1));
        const QString run = toUi(TestUtil::readFile(m_runLog));
        QVERIFY2(run.contains(QStringLiteral("iopStart: log not open ")), qPrintable(run));
        QVERIFY2(
            run.endsWith(QStringLiteral("   Загрузка прервана\r\n   Справочник не загружен.\r\n")), qPrintable(run));
        QCOMPARE(oneLog(), QStringLiteral("12000002.iop"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_app;
    QString m_work;
    QString m_runLog;
};

QTEST_GUILESS_MAIN(TestIopLog)
#include "tst_ioplog.moc"
