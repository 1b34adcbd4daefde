// One running program per application folder: the lock, the request to raise the window, a lock
// left by a program that died, and two real starts of the program.

#include "SingleInstance.h"
#include "TestUtil.h"

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString DemoDir = QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo");

QProcessEnvironment offscreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("ORTOVA_SCANNER"));
    return env;
}

int startsLogged(const QString& dir)
{
    const QByteArray log = TestUtil::readFile(QDir(dir).filePath(QStringLiteral("logortc.txt")));
    return log.count(TestUtil::cp("Начало работы"));
}
} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

private slots:
    void secondClaimAsksTheFirstToRaise()
    {
        QTemporaryDir dir;
        SingleInstance first(dir.path());
        QSignalSpy raise(&first, &SingleInstance::raiseRequested);
        QVERIFY(first.claim());

        SingleInstance second(dir.path());
        QVERIFY(!second.claim());
        QTRY_COMPARE(raise.count(), 1);

        SingleInstance third(dir.path());
        QVERIFY(!third.claim());
        QTRY_COMPARE(raise.count(), 2);
    }

    void folderIsFreeAgainAfterTheEnd()
    {
        QTemporaryDir dir;
        {
            SingleInstance first(dir.path());
            QVERIFY(first.claim());
        }
        SingleInstance next(dir.path());
        QVERIFY(next.claim());
    }

    void otherFoldersRunSideBySide()
    {
        QTemporaryDir a;
        QTemporaryDir b;
        SingleInstance first(a.path());
        SingleInstance second(b.path());
        QVERIFY(first.claim());
        QVERIFY(second.claim());
        QVERIFY(SingleInstance::serverName(a.path()) != SingleInstance::serverName(b.path()));
        // The same folder by another spelling is the same instance.
        QCOMPARE(SingleInstance::serverName(a.path() + QStringLiteral("/.")), SingleInstance::serverName(a.path()));
    }

    void lockOfAProgramThatDiedIsTakenOver()
    {
        QTemporaryDir dir;
        // A lock file written by a process that no longer exists.
        QProcess gone;
        gone.start(QStringLiteral("/bin/true"), {});
        QVERIFY(gone.waitForFinished(10000));
        const qint64 deadPid = gone.processId() ? gone.processId() : 999999;
        QVERIFY(TestUtil::writeFile(dir.filePath(QStringLiteral("ortova.lck")),
            QByteArray::number(deadPid > 0 ? deadPid : 999999) + "\nortova\n" + QSysInfo::machineHostName().toUtf8()
                + '\n'));
        SingleInstance next(dir.path());
        QVERIFY(next.claim());
    }

    void realProgramStartedTwice()
    {
#ifndef ORTOVA_BINARY
        QSKIP("the program is not built");
#else
        QTemporaryDir dir;
        const QString app = dir.path();
        for (const QString& name : { QStringLiteral("OrtSystem.ini"), QStringLiteral("OrtUser.ini") })
            QVERIFY(QFile::copy(DemoDir + QLatin1Char('/') + name, app + QLatin1Char('/') + name));
        const QStringList arguments { QStringLiteral("--app-dir"), app, QStringLiteral("--windowed") };

        QProcess first;
        first.setProcessEnvironment(offscreen());
        first.start(QStringLiteral(ORTOVA_BINARY), arguments);
        QVERIFY(first.waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(startsLogged(app), 1, 20000);
        QCOMPARE(first.state(), QProcess::Running);

        QProcess second;
        second.setProcessEnvironment(offscreen());
        second.start(QStringLiteral(ORTOVA_BINARY), arguments);
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        // The first runs on, and the second left no trace in the log.
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(startsLogged(app), 1);

        // A program killed outright leaves its lock and socket behind; the next start runs anyway.
        first.kill();
        QVERIFY(first.waitForFinished(10000));
        QProcess third;
        third.setProcessEnvironment(offscreen());
        third.start(QStringLiteral(ORTOVA_BINARY), arguments);
        QVERIFY(third.waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(startsLogged(app), 2, 20000);
        QCOMPARE(third.state(), QProcess::Running);
        third.kill();
        QVERIFY(third.waitForFinished(10000));
#endif
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
