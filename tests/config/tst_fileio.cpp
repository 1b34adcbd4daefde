// Reading files whole or by the buffer, with one rule for read errors, and the report texts that
// echo what was read.

#include "FailingDevices.h"
#include "FileIo.h"
#include "Report.h"
#include "TestUtil.h"

#include <QBuffer>
#include <QTest>

namespace {
// Bytes that show where in the content a piece came from.
QByteArray content(qsizetype size)
{
    QByteArray out;
    for (qsizetype i = 0; i < size; ++i)
        out += char('a' + i % 23);
    return out;
}
} // namespace

class TestFileIo : public QObject {
    Q_OBJECT

private slots:
    void readFull_data();
    void readFull();
    void readToEnd_data();
    void readToEnd();
    void reportText_data();
    void reportText();
};

void TestFileIo::readFull_data()
{
    QTest::addColumn<int>("size"); // of the content
    QTest::addColumn<int>("goodBytes"); // reads at or beyond fail
    QTest::addColumn<int>("want");
    QTest::addColumn<int>("result");

    QTest::newRow("buffer filled") << 100 << 100 << 60 << 60;
    QTest::newRow("end comes first") << 100 << 100 << 150 << 100;
    QTest::newRow("error before the buffer is full") << 100 << 40 << 60 << -1;
    QTest::newRow("error after the buffer is full") << 100 << 70 << 60 << 60;
    QTest::newRow("error at once") << 100 << 0 << 10 << -1;
    QTest::newRow("nothing wanted") << 100 << 0 << 0 << 0;
}

void TestFileIo::readFull()
{
    QFETCH(int, size);
    QFETCH(int, goodBytes);
    QFETCH(int, want);
    QFETCH(int, result);
    // Unbuffered, so every read reaches the device and pieces come as the device gives them.
    FailingAfter device(content(size), goodBytes);
    QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    QByteArray buffer(want, '#');
    QCOMPARE(::readFull(device, buffer.data(), want), qint64(result));
    if (result >= 0)
        QCOMPARE(buffer.left(result), content(size).left(result));
}

void TestFileIo::readToEnd_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("goodBytes");
    QTest::addColumn<bool>("ok");

    QTest::newRow("empty") << 0 << 0 << true;
    QTest::newRow("small") << 1000 << 1000 << true;
    // More than one chunk, so the rule holds across the chunks as well.
    QTest::newRow("several chunks") << int(FileChunkBytes * 2 + 17) << int(FileChunkBytes * 2 + 17) << true;
    QTest::newRow("error in the second chunk") << int(FileChunkBytes * 2) << int(FileChunkBytes + 5) << false;
    QTest::newRow("error at the last byte") << 1000 << 999 << false;
}

void TestFileIo::readToEnd()
{
    QFETCH(int, size);
    QFETCH(int, goodBytes);
    QFETCH(bool, ok);
    FailingAfter device(content(size), goodBytes);
    QVERIFY(device.open(QIODevice::ReadOnly));
    QByteArray data("old");
    QCOMPARE(::readToEnd(device, data), ok);
    QCOMPARE(data, ok ? content(size) : QByteArray());
}

void TestFileIo::reportText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("shown");

    QTest::newRow("short") << QByteArray("12.5") << QByteArray("12.5");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("exactly the limit") << QByteArray(64, '9') << QByteArray(64, '9');
    QTest::newRow("one over") << QByteArray(65, '9') << QByteArray(64, '9') + "...";
    QTest::newRow("huge") << content(5 << 20) << content(64) + "...";
}

void TestFileIo::reportText()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, shown);
    QCOMPARE(::reportText(text), shown);
    // The bad-item line of the conversions and of the settings reader echoes the same.
    QCOMPARE(badItemLine(7, 3, text), TestUtil::cp("строка 7 поле 3 \"") + shown + '"');
}

QTEST_GUILESS_MAIN(TestFileIo)
#include "tst_fileio.moc"
