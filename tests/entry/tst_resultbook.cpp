#include "FailingDevices.h"
#include "FieldCodec.h"
#include "ResultBook.h"
#include "TableFixtures.h"
#include "TestUtil.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const char* const ChildVariable = "ORTOVA_BOOKING_CHILD";

TableDescr results()
{
    using Fixtures::field;
    return Fixtures::table("RES", "R", ';',
        { field("BAR", FieldType::Digit, 13), field("CODE", FieldType::Digit, 6), field("PRICE", FieldType::Summa, 10),
            field("REST", FieldType::Quantity, 10) });
}

QByteArray booking(const TableDescr& t, const char* bar, const char* code, const QByteArray& price, qint64 rest)
{
    QByteArray record(t.recordLength, '\0');
    const QByteArray line = QByteArray(bar) + ';' + code + ';' + price + ';' + QByteArray::number(rest) + ".000";
    if (lineToRecord(t, line, record) >= 0)
        qFatal("booking does not convert");
    return record;
}

qint32 restOf(const TableDescr& t, const QByteArray& record)
{
    return fieldToText(t.fields[3], record).split('.').first().toInt();
}

// The child books 1, 2, 3, ... one record each, and tells the parent each booking the moment the
// book has accepted it, as the panel would clear its entry line.
int bookingChild(const QString& file)
{
    const TableDescr t = results();
    ResultBook book;
    if (!book.open(file, t))
        return 3;
    for (qint64 i = 1;; ++i) {
        if (!book.append(booking(t, "4600000000017", "024680", "1.00", i)))
            return 4;
        std::printf("%lld\n", static_cast<long long>(i));
        std::fflush(stdout);
    }
}

} // namespace

class TestResultBook : public QObject {
    Q_OBJECT
private slots:
    void totalsFollowWrites();
    void tornTailIsOverwritten();
    void acknowledgedBookingsSurviveAKill();
    void failedAppendLeavesTheFileAsItWas();
    void noBookingWithoutItsMarker();
};

void TestResultBook::totalsFollowWrites()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("r_res.bin"));
    const TableDescr t = results();
    // 500.00 x 50.000 passes 32 bits on the way to 25000.00.
    QVERIFY(TestUtil::writeFile(file, booking(t, "4600000000017", "024680", "500.00", 50)));
    ResultBook book;
    QVERIFY(book.open(file, t));
    QCOMPARE(book.documentSum(), 2500000);
    const QByteArray other = booking(t, "4600000000017", "024681", "2.00", 3);
    QVERIFY(book.append(other));
    QVERIFY(book.append(booking(t, "4600000000017", "024680", "500.00", 1)));
    QCOMPARE(book.documentSum(), 2500000 + 600 + 50000);
    // The whole code tells items apart, not its first bytes.
    QCOMPARE(book.itemRest(other), 3000);
    QCOMPARE(book.itemRest(booking(t, "4600000000017", "024680", "0.00", 0)), 51000);
    // An overwrite replaces the record's share.
    QVERIFY(book.put(0, booking(t, "4600000000017", "024680", "500.00", 2)));
    QCOMPARE(book.itemRest(booking(t, "4600000000017", "024680", "0.00", 0)), 3000);
    QCOMPARE(book.documentSum(), 100000 + 600 + 50000);
    QVERIFY(!book.put(4, other)); // beyond the end would leave a hole
    QCOMPARE(book.count(), 3);
}

void TestResultBook::tornTailIsOverwritten()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("r_res.bin"));
    const TableDescr t = results();
    const QByteArray first = booking(t, "4600000000017", "024680", "1.00", 1);
    QVERIFY(TestUtil::writeFile(file, first + first.left(5)));
    ResultBook book;
    QVERIFY(book.open(file, t));
    QCOMPARE(book.count(), 1);
    const QByteArray second = booking(t, "4600000000024", "000111", "1.00", 2);
    QVERIFY(book.append(second));
    QCOMPARE(TestUtil::readFile(file), first + second);
}

void TestResultBook::acknowledgedBookingsSurviveAKill()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("r_res.bin"));
    QVERIFY(TestUtil::writeFile(file, QByteArray()));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(ChildVariable), file);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    qint64 acknowledged = 0;
    while (acknowledged < 300 && child.waitForReadyRead(10000)) {
        while (child.canReadLine())
            acknowledged = qMax(acknowledged, child.readLine().trimmed().toLongLong());
    }
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());
    // Only whole lines are acknowledgements.
    const QList<QByteArray> rest = child.readAllStandardOutput().split('\n');
    for (qsizetype i = 0; i + 1 < rest.size(); ++i)
        acknowledged = qMax(acknowledged, rest[i].toLongLong());
    QVERIFY2(acknowledged >= 300, "the child stopped booking");

    const TableDescr t = results();
    ResultBook book;
    QVERIFY(book.open(file, t));
    QVERIFY(book.count() >= acknowledged);
    QByteArray record;
    for (qint32 n = 0; n < acknowledged; ++n) {
        QVERIFY(book.read(n, record));
        QCOMPARE(restOf(t, record), n + 1);
    }
}

// The disk fills halfway through a record: the booking fails and the file is cut back, so the
// next booking is not written after half a record.
void TestResultBook::failedAppendLeavesTheFileAsItWas()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("r_res.bin"));
    const TableDescr t = results();
    const QByteArray first = booking(t, "4600000000017", "024680", "1.00", 1);
    QVERIFY(TestUtil::writeFile(file, first));
    ResultBook book;
    QVERIFY(book.open(file, t));
    QVERIFY(book.append(first)); // the change marker is there before the disk fills
    {
        const FileSizeLimit full(2 * t.recordLength + t.recordLength / 2);
        QVERIFY(!book.append(booking(t, "4600000000024", "000111", "1.00", 2)));
    }
    QCOMPARE(book.count(), 2);
    QCOMPARE(TestUtil::readFile(file), first + first);
}

// A table whose change marker cannot be made takes no booking: the exchange would never send it.
void TestResultBook::noBookingWithoutItsMarker()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("r_res.bin"));
    const TableDescr t = results();
    QVERIFY(TestUtil::writeFile(file, QByteArray()));
    ResultBook book;
    QVERIFY(book.open(file, t));
    // No new file can be opened: the lowest free descriptor is the limit.
    const int lowest = ::dup(0);
    QVERIFY(lowest >= 0);
    ::close(lowest);
    rlimit old {};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit low = old;
    low.rlim_cur = rlim_t(lowest);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &low), 0);
    const bool booked = book.append(booking(t, "4600000000017", "024680", "1.00", 1));
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &old), 0);
    QVERIFY(!booked);
    QCOMPARE(book.count(), 0);
    QCOMPARE(QFileInfo(file).size(), 0);
}

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsSet(ChildVariable))
        return bookingChild(qEnvironmentVariable(ChildVariable));
    QCoreApplication app(argc, argv);
    TestResultBook test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_resultbook.moc"
