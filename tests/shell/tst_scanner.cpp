// The scanner layer: line splitting, the back ends (file, named pipe, serial line through a
// pseudo-terminal, none) and the scan-key read.

#include "Cue.h"
#include "ScanFeed.h"
#include "Scanner.h"
#include "TestUtil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <linux/input.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Time-out for reads that are meant to fail: short, so a test that waits for one is not slow.
constexpr int ShortTimeoutMs = 50;

// Writes bytes into a named pipe from another thread after a pause, the way a scanner daemon would.
QThread* delayedFifoWriter(const QString& path, const QByteArray& bytes, int delayMs)
{
    return QThread::create([path, bytes, delayMs] {
        QThread::msleep(static_cast<unsigned long>(delayMs));
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
        if (fd < 0)
            return;
        if (::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) != bytes.size())
            qWarning("short write to the pipe");
        ::close(fd);
    });
}

} // namespace

class TestScanner : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { installScanner(nullptr); }

    void splitsLines_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QByteArrayList>("codes");
        QTest::newRow("LF") << QByteArrayList { "123\n456\n" } << QByteArrayList { "123", "456" };
        QTest::newRow("CRLF") << QByteArrayList { "123\r\n456\r\n" } << QByteArrayList { "123", "456" };
        QTest::newRow("CR only") << QByteArrayList { "123\r456\r" } << QByteArrayList { "123", "456" };
        QTest::newRow("empty lines skipped") << QByteArrayList { "\n\r\n123\n\n" } << QByteArrayList { "123" };
        QTest::newRow("line across chunks")
            << QByteArrayList { "46000", "12345", "678\r", "\n9\n" } << QByteArrayList { "4600012345678", "9" };
        QTest::newRow("no line end yet") << QByteArrayList { "123\n45" } << QByteArrayList { "123" };
        QTest::newRow("255 kept") << QByteArrayList { QByteArray(255, '7') + "\n" }
                                  << QByteArrayList { QByteArray(255, '7') };
        QTest::newRow("256 cut") << QByteArrayList { QByteArray(256, '7') + "\n1\n" }
                                 << QByteArrayList { QByteArray(255, '7'), "1" };
        QTest::newRow("long line over chunks") << QByteArrayList { QByteArray(200, 'a'), QByteArray(5000, 'b'),
            "c\nnext\n" } << QByteArrayList { QByteArray(200, 'a') + QByteArray(55, 'b'), "next" };
    }
    void splitsLines()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArrayList, codes);
        ScanLineSplitter splitter;
        for (const QByteArray& chunk : chunks)
            splitter.feed(chunk);
        QByteArrayList got;
        QByteArray code;
        while (splitter.take(code))
            got.append(code);
        QCOMPARE(got, codes);
    }

    void descriptionsWithoutDevice_data()
    {
        QTest::addColumn<QString>("device");
        QTest::newRow("empty") << QString();
        QTest::newRow("none") << QStringLiteral("none");
        QTest::newRow("unknown kind") << QStringLiteral("usb:/dev/x");
        QTest::newRow("pipe without path") << QStringLiteral("pipe:");
        QTest::newRow("file missing") << QStringLiteral("file:/nonexistent/ortova/codes.txt");
        QTest::newRow("file is a folder") << QStringLiteral("file:/");
        QTest::newRow("pipe is a regular file") << QStringLiteral("pipe:/etc/hostname");
        QTest::newRow("serial missing") << QStringLiteral("serial:/dev/ortova-no-such-tty");
    }
    void descriptionsWithoutDevice()
    {
        QFETCH(QString, device);
        std::unique_ptr<Scanner> s = makeScanner(device);
        QVERIFY(s);
        QVERIFY(!s->init());
        QByteArray code = "untouched";
        QVERIFY(!s->read(code, ShortTimeoutMs));
        QCOMPARE(code, QByteArray("untouched"));
    }

    void fileGivesCodesInOrderThenTimesOut()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("codes.txt"));
        QVERIFY(TestUtil::writeFile(path, "4600000000017\r\n\r\n2302468013579\n"));
        std::unique_ptr<Scanner> s = makeScanner(QStringLiteral("file:") + path);
        QVERIFY(s->init());
        QByteArray code;
        QVERIFY(s->read(code, 1000));
        QCOMPARE(code, QByteArray("4600000000017"));
        QVERIFY(s->read(code, 1000));
        QCOMPARE(code, QByteArray("2302468013579"));

        // Nothing more in the file: the read times out.
        QVERIFY(!s->read(code, ShortTimeoutMs));

        // A script appends the next code while the program waits.
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("777\n");
        f.close();
        QVERIFY(s->read(code, 2000));
        QCOMPARE(code, QByteArray("777"));

        // Watched, a code a script appends arrives by itself.
        QByteArrayList arrived;
        QVERIFY(s->watch([&arrived](const QByteArray& c) { arrived << c; }));
        QVERIFY(f.open(QIODevice::Append));
        f.write("888\n");
        f.close();
        QTRY_COMPARE(arrived, QByteArrayList { "888" });
    }

    void pipeBlocksUntilAWriterSends()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("scan.fifo"));
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        std::unique_ptr<Scanner> s = makeScanner(QStringLiteral("pipe:") + path);
        QVERIFY(s->init());

        // Nothing sent yet: the read times out.
        QByteArray code;
        QVERIFY(!s->read(code, ShortTimeoutMs));

        std::unique_ptr<QThread> first(delayedFifoWriter(path, "4607001234567\n", 150));
        first->start();
        QVERIFY(s->read(code, 10000));
        QCOMPARE(code, QByteArray("4607001234567"));
        QVERIFY(first->wait());

        // The first writer has gone; the pipe must neither report an end nor spin, and the next
        // writer's code still arrives.
        std::unique_ptr<QThread> second(delayedFifoWriter(path, "12\r\n34\r\n", 100));
        second->start();
        QVERIFY(s->read(code, 10000));
        QCOMPARE(code, QByteArray("12"));
        QVERIFY(s->read(code, 10000));
        QCOMPARE(code, QByteArray("34"));
        QVERIFY(second->wait());

        // Every code taken: the next read times out again.
        QVERIFY(!s->read(code, ShortTimeoutMs));
    }

    void pipeIsCreatedWhenMissing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("new.fifo"));
        std::unique_ptr<Scanner> s = makeScanner(QStringLiteral("pipe:") + path);
        QVERIFY(s->init());
        struct stat st { };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
    }

    void serialLineThroughPseudoTerminal()
    {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            QSKIP("no pseudo-terminals here");
        const QString slave = QString::fromLocal8Bit(::ptsname(master));
        std::unique_ptr<Scanner> s = makeScanner(QStringLiteral("serial:") + slave + QStringLiteral(":19200"));
        QVERIFY2(s->init(), qPrintable(slave));
        const QByteArray sent = "2204680135792\r";
        QCOMPARE(::write(master, sent.constData(), static_cast<size_t>(sent.size())), ssize_t(sent.size()));
        QByteArray code;
        QVERIFY(s->read(code, 5000));
        QCOMPARE(code, QByteArray("2204680135792"));
        QVERIFY(!s->read(code, ShortTimeoutMs));

        // Watched, the line's codes arrive by themselves.
        QByteArrayList arrived;
        QVERIFY(s->watch([&arrived](const QByteArray& c) { arrived << c; }));
        const QByteArray more = "11\r\n22\r\n";
        QCOMPARE(::write(master, more.constData(), static_cast<size_t>(more.size())), ssize_t(more.size()));
        QTRY_COMPARE(arrived, (QByteArrayList { "11", "22" }));
        s.reset();
        ::close(master);
    }

    void scanKeyReadNeedsSuccessfulInit()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("codes.txt"));
        QVERIFY(TestUtil::writeFile(path, "123\n"));
        installScanner(makeScanner(QStringLiteral("file:") + path));
        QString text = QStringLiteral("untouched");
        // Start-up has not initialised it: reads fail silently.
        QVERIFY(!scannerReady());
        QVERIFY(!scanBarcode(text, ShortTimeoutMs));
        QCOMPARE(text, QStringLiteral("untouched"));
        QVERIFY(initScanner());
        QVERIFY(scanBarcode(text, 1000));
        QCOMPARE(text, QStringLiteral("123"));
        // Failure: no text, nothing changed.
        text = QStringLiteral("kept");
        QVERIFY(!scanBarcode(text, ShortTimeoutMs));
        QCOMPARE(text, QStringLiteral("kept"));
    }

    // Key events of a scanner in keyboard mode, as "code:value" (value 1 press, 0 release, 2 the
    // keyboard's repeat), become the codes it typed.
    void evdevKeysTypeCodes_data()
    {
        QTest::addColumn<QList<int>>("events"); // pairs: key code, value
        QTest::addColumn<QByteArrayList>("codes");
        const auto press = [](std::initializer_list<int> keys) {
            QList<int> e;
            for (const int k : keys)
                e << k << 1 << k << 0;
            return e;
        };
        QTest::newRow("digits, Enter ends")
            << press({ KEY_4, KEY_6, KEY_0, KEY_1, KEY_ENTER }) << QByteArrayList { "4601" };
        QTest::newRow("keypad digits and Enter")
            << press({ KEY_KP7, KEY_KP0, KEY_KP3, KEY_KPENTER }) << QByteArrayList { "703" };
        QTest::newRow("letters lower case")
            << press({ KEY_A, KEY_B, KEY_Z, KEY_MINUS, KEY_ENTER }) << QByteArrayList { "abz-" };
        QTest::newRow("shift held: upper case, then lower again") << (QList<int> { KEY_LEFTSHIFT, 1 }
            + press({ KEY_Q, KEY_M }) + QList<int> { KEY_LEFTSHIFT, 0 } + press({ KEY_Q, KEY_1 })
            + QList<int> { KEY_RIGHTSHIFT, 1 } + press({ KEY_MINUS }) + QList<int> { KEY_RIGHTSHIFT, 0 }
            + press({ KEY_ENTER })) << QByteArrayList { "QMq1_" };
        QTest::newRow("repeat and releases type nothing") << QList<int> { KEY_5, 1, KEY_5, 2, KEY_5, 2, KEY_5, 0,
            KEY_ENTER, 1, KEY_ENTER, 0 } << QByteArrayList { "5" };
        QTest::newRow("keys without a character")
            << press({ KEY_F1, KEY_1, KEY_LEFTCTRL, KEY_2, KEY_ENTER }) << QByteArrayList { "12" };
        QTest::newRow("two codes, no end yet")
            << press({ KEY_1, KEY_ENTER, KEY_2, KEY_ENTER, KEY_3 }) << QByteArrayList { "1", "2" };
    }
    void evdevKeysTypeCodes()
    {
        QFETCH(QList<int>, events);
        QFETCH(QByteArrayList, codes);
        EvdevKeys keys;
        ScanLineSplitter lines;
        // Between key events the kernel sends scan codes (EV_MSC) and reports (EV_SYN): they type nothing.
        for (int i = 0; i + 1 < events.size(); i += 2) {
            lines.feed(keys.feed(EV_MSC, MSC_SCAN, 0x70027));
            lines.feed(keys.feed(EV_KEY, quint16(events[i]), events[i + 1]));
            lines.feed(keys.feed(EV_SYN, SYN_REPORT, 0));
        }
        QByteArrayList got;
        QByteArray code;
        while (lines.take(code))
            got << code;
        QCOMPARE(got, codes);
    }

    void evdevDeviceMissing()
    {
        std::unique_ptr<Scanner> s = makeScanner(QStringLiteral("evdev:/dev/input/ortova-no-such-event"));
        QVERIFY(!s->init());
        // A file that is no input device cannot be grabbed: not taken as a scanner.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("event0"));
        QVERIFY(TestUtil::writeFile(path, "x"));
        QVERIFY(!makeScanner(QStringLiteral("evdev:") + path)->init());
    }

    // The scan key's wait runs on a timer: the event loop goes on, and the time-out ends it.
    void waitEndsByTimeOut()
    {
        ScanFeed& feed = ScanFeed::instance();
        QVERIFY(!feed.startWait(ShortTimeoutMs)); // no scanner ready: no wait
        QTemporaryDir dir;
        installScanner(makeScanner(QStringLiteral("pipe:") + dir.filePath(QStringLiteral("scan.fifo"))));
        QVERIFY(initScanner());
        QSignalSpy changes(&feed, &ScanFeed::waitChanged);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(feed.startWait(ShortTimeoutMs));
        QVERIFY(clock.elapsed() < ShortTimeoutMs);
        QVERIFY(feed.waiting());
        QTRY_VERIFY(!feed.waiting());
        QCOMPARE(changes.size(), 2);
        QCOMPARE(changes.at(0).at(0).toBool(), true);
        QCOMPARE(changes.at(1).at(0).toBool(), false);
    }

    // A code that no window takes is not lost in silence: the operator hears it refused.
    void codeNobodyTakesSoundsRefused()
    {
        QList<Cue> cues;
        setCueListener([&cues](Cue cue) { cues.append(cue); });
        QObject owner;
        bool ready = false;
        QString taken;
        ScanFeed::instance().claim(
            &owner, [&ready] { return ready; }, [&taken](const QString& text) { taken = text; });
        ScanFeed::instance().deliver("4600000000017");
        QCOMPARE(cues, QList<Cue> { Cue::Refused });
        ready = true;
        ScanFeed::instance().deliver("4600000000024");
        QCOMPARE(taken, QStringLiteral("4600000000024"));
        QCOMPARE(cues.size(), 1);
        ScanFeed::instance().release(&owner);
        setCueListener(nullptr);
    }

    void scanKeyReadTextRules_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("text");
        QTest::newRow("digits") << QByteArray("4600000000017") << QStringLiteral("4600000000017");
        QTest::newRow("Windows-1251 letters") << TestUtil::cp("АБВ-01") << QStringLiteral("АБВ-01");
        QTest::newRow("ends at a zero byte") << QByteArray("12\0"
                                                           "34",
            5) << QStringLiteral("12");
        QTest::newRow("at most 255") << QByteArray(300, '5') << QString(255, QLatin1Char('5'));
    }
    void scanKeyReadTextRules()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("codes.txt"));
        QVERIFY(TestUtil::writeFile(path, line + "\n"));
        installScanner(makeScanner(QStringLiteral("file:") + path));
        QVERIFY(initScanner());
        QString got;
        QVERIFY(scanBarcode(got, 1000));
        QCOMPARE(got, text);
    }
};

QTEST_MAIN(TestScanner)
#include "tst_scanner.moc"
