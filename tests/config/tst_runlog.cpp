// The run log: rotation at start, time stamps, and writers on two threads.

#include "Codec.h"
#include "RunLog.h"
#include "TestUtil.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

class TestRunLog : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { RunLog::instance().close(); }

    void rotation_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("rotated");
        QTest::newRow("empty") << 0 << false;
        QTest::newRow("exactly 50000 is kept") << 50000 << false;
        QTest::newRow("50001 is rotated") << 50001 << true;
        QTest::newRow("far over") << 200000 << true;
    }
    void rotation()
    {
        QFETCH(int, size);
        QFETCH(bool, rotated);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString current = dir.filePath(QStringLiteral("logortc.txt"));
        const QString previous = dir.filePath(QStringLiteral("logortp.txt"));
        const QByteArray old(size, 'x');
        QVERIFY(TestUtil::writeFile(current, old));
        QVERIFY(TestUtil::writeFile(previous, "older generation\r\n"));

        QVERIFY(RunLog::instance().open(dir.path()));
        RunLog::instance().line(QByteArray("next"));
        RunLog::instance().close();

        if (rotated) {
            // One previous generation only: the older one is gone.
            QCOMPARE(TestUtil::readFile(previous), old);
            QCOMPARE(TestUtil::readFile(current), QByteArray("next\r\n"));
        } else {
            QCOMPARE(TestUtil::readFile(previous), QByteArray("older generation\r\n"));
            QCOMPARE(TestUtil::readFile(current), old + "next\r\n");
        }
    }

    void missingLogIsCreated()
    {
        QTemporaryDir dir;
        QVERIFY(RunLog::instance().open(dir.path()));
        RunLog::instance().line(QByteArray("a"));
        RunLog::instance().close();
        QCOMPARE(TestUtil::readFile(dir.filePath(QStringLiteral("logortc.txt"))), QByteArray("a\r\n"));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("logortp.txt"))));
    }

    void writesBeforeOpenGoNowhere()
    {
        QTemporaryDir dir;
        RunLog::instance().line(QByteArray("lost"));
        QVERIFY(!RunLog::instance().isOpen());
        QVERIFY(RunLog::instance().open(dir.path()));
        RunLog::instance().close();
        RunLog::instance().line(QByteArray("lost too"));
        QCOMPARE(TestUtil::readFile(dir.filePath(QStringLiteral("logortc.txt"))), QByteArray());
    }

    void stampAndWindows1251()
    {
        QTemporaryDir dir;
        QVERIFY(RunLog::instance().open(dir.path()));
        RunLog::instance().stamped(QStringLiteral("Начало работы ************************\r\n"));
        RunLog::instance().close();
        const QByteArray bytes = TestUtil::readFile(dir.filePath(QStringLiteral("logortc.txt")));
        QCOMPARE(bytes.right(40), TestUtil::cp("Начало работы ************************\r\n"));
        const QRegularExpression stamp(
            QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\. Начало работы \\*{24}\r\n$"));
        QVERIFY2(stamp.match(toUi(bytes)).hasMatch(), bytes.constData());
    }

    // The user-interface thread and the FTP server thread share the log: every line must arrive
    // whole, in each writer's own order.
    void concurrentWritersNeverInterleave()
    {
        QTemporaryDir dir;
        QVERIFY(RunLog::instance().open(dir.path()));
        const int perThread = 3000;
        auto writer = [](char tag) {
            return QThread::create([tag] {
                for (int i = 0; i < perThread; ++i) {
                    // Lines of varying length, the way real messages are.
                    const QByteArray body(1 + i % 37, tag);
                    RunLog::instance().line(tag + QByteArray::number(i) + ':' + body);
                }
            });
        };
        std::unique_ptr<QThread> a(writer('a'));
        std::unique_ptr<QThread> b(writer('b'));
        a->start();
        b->start();
        QVERIFY(a->wait(60000));
        QVERIFY(b->wait(60000));
        RunLog::instance().close();

        const QByteArray bytes = TestUtil::readFile(dir.filePath(QStringLiteral("logortc.txt")));
        QVERIFY(bytes.endsWith("\r\n"));
        QList<QByteArray> lines = bytes.split('\n');
        QVERIFY(lines.takeLast().isEmpty());
        QCOMPARE(lines.size(), 2 * perThread);
        int next[2] = { 0, 0 };
        const QRegularExpression shape(QStringLiteral("^([ab])(\\d+):([ab]+)\r$"));
        for (const QByteArray& line : lines) {
            const QRegularExpressionMatch m = shape.match(QString::fromLatin1(line));
            QVERIFY2(m.hasMatch(), line.constData());
            const QChar tag = m.captured(1).at(0);
            const int i = m.captured(2).toInt();
            const int t = tag == QLatin1Char('a') ? 0 : 1;
            QCOMPARE(i, next[t]++);
            QCOMPARE(m.captured(3), QString(1 + i % 37, tag));
        }
    }
};

QTEST_GUILESS_MAIN(TestRunLog)
#include "tst_runlog.moc"
