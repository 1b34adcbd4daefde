#include "FailingDevices.h"
#include "FieldCodec.h"
#include "RecordFile.h"
#include "TableFiles.h"
#include "TableFixtures.h"
#include "TestUtil.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using TestUtil::readFile;
using TestUtil::writeFile;

namespace {
// n records of the 16-byte example table, record i holding "R<i>" and the amount i.00.
QByteArray records(int n)
{
    const TableDescr t = Fixtures::small();
    QByteArray out;
    for (int i = 0; i < n; ++i) {
        QByteArray rec;
        lineToRecord(t, QByteArray("R") + QByteArray::number(i) + ';' + QByteArray::number(i) + ".00;01.02.03", rec);
        out += rec;
    }
    return out;
}
} // namespace

class TestRecordFile : public QObject {
    Q_OBJECT

private slots:
    void init();
    void countIgnoresPartialTail();
    void readBounds_data();
    void readBounds();
    void putRecOverwritesAndMarks();
    void putRecRefusesHoles();
    void appendKeepsRecordGrid();
    void deleteAt_data();
    void deleteAt();
    void deleteBeyondEndChangesNothing();
    void deleteFailureKeepsTable();
    void refusedWriteIsNoChange_data();
    void refusedWriteIsNoChange();
    void namesIgnoreCase_data();
    void namesIgnoreCase();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString path(const char* name) const { return m_dir->filePath(QString::fromLatin1(name)); }
};

void TestRecordFile::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

void TestRecordFile::countIgnoresPartialTail()
{
    const TableDescr t = Fixtures::small();
    QVERIFY(writeFile(path("t_tab.bin"), records(3) + "tail"));
    QCOMPARE(recordCountOf(path("t_tab.bin"), t), 3);
    QCOMPARE(recordCountOf(path("missing_tab.bin"), t), 0);
    TableDescr empty;
    QCOMPARE(recordCountOf(path("t_tab.bin"), empty), 0);
}

void TestRecordFile::readBounds_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<bool>("ok");
    QTest::newRow("first") << 0 << true;
    QTest::newRow("last") << 2 << true;
    QTest::newRow("one past the end") << 3 << false;
    QTest::newRow("partial tail") << 3 << false;
    QTest::newRow("negative") << -1 << false;
}

void TestRecordFile::readBounds()
{
    QFETCH(int, n);
    QFETCH(bool, ok);
    const TableDescr t = Fixtures::small();
    const bool partial = QByteArray(QTest::currentDataTag()) == "partial tail";
    QVERIFY(writeFile(path("t_tab.bin"), records(3) + (partial ? QByteArray("0123456789") : QByteArray())));
    QByteArray rec("old");
    QCOMPARE(readRec(path("t_tab.bin"), t, n, rec), ok);
    if (ok)
        QCOMPARE(rec, records(3).mid(n * 16, 16));
}

void TestRecordFile::putRecOverwritesAndMarks()
{
    const TableDescr t = Fixtures::small();
    const QString bin = path("t_tab.bin");
    QVERIFY(writeFile(bin, records(3)));
    QVERIFY(!QFile::exists(path("t_tab.chg")));
    const QByteArray fresh = records(10).mid(9 * 16, 16);
    QVERIFY(putRec(bin, t, 1, fresh));
    QCOMPARE(readFile(bin), records(3).left(16) + fresh + records(3).mid(32));
    QVERIFY(QFile::exists(path("t_tab.chg")));
    QCOMPARE(QFileInfo(path("t_tab.chg")).size(), 0);
    // At the count it becomes the next record.
    QVERIFY(putRec(bin, t, 3, fresh));
    QCOMPARE(recordCountOf(bin, t), 4);
    // A buffer shorter than the record is refused.
    QVERIFY(!putRec(bin, t, 0, QByteArray(5, 'x')));
    QCOMPARE(readFile(bin).left(16), records(1));
}

void TestRecordFile::putRecRefusesHoles()
{
    const TableDescr t = Fixtures::small();
    const QString bin = path("t_tab.bin");
    QVERIFY(writeFile(bin, records(2)));
    QVERIFY(!putRec(bin, t, 5, records(1)));
    QVERIFY(!putRec(bin, t, -1, records(1)));
    QCOMPARE(readFile(bin), records(2));
    QVERIFY(!QFile::exists(path("t_tab.chg")));
}

void TestRecordFile::appendKeepsRecordGrid()
{
    TableDescr t = Fixtures::small();
    const QString bin = path("t_tab.bin");
    QVERIFY(appendRec(bin, t, records(1)));
    QCOMPARE(t.recordCount, 1);
    QVERIFY(QFile::exists(path("t_tab.chg")));
    QVERIFY(appendRec(bin, t, records(2).mid(16)));
    QCOMPARE(readFile(bin), records(2));
    QCOMPARE(t.recordCount, 2);
    // A partial tail from an interrupted write is replaced, not pushed in front of the record.
    QVERIFY(writeFile(bin, records(2) + "junk"));
    QVERIFY(appendRec(bin, t, records(3).mid(32)));
    QCOMPARE(readFile(bin), records(3));
    QCOMPARE(t.recordCount, 3);
}

void TestRecordFile::deleteAt_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("n");
    QTest::newRow("first") << 5 << 0;
    QTest::newRow("middle") << 5 << 2;
    QTest::newRow("last") << 5 << 4;
    QTest::newRow("only record") << 1 << 0;
    // Large enough that the copy takes several chunks on both sides of the record.
    QTest::newRow("large table") << 200000 << 131075;
}

void TestRecordFile::deleteAt()
{
    QFETCH(int, count);
    QFETCH(int, n);
    TableDescr t = Fixtures::small();
    const QString bin = path("t_tab.bin");
    const QByteArray all = records(count);
    QVERIFY(writeFile(bin, all + "xy")); // the partial tail is dropped with the rewrite
    QByteArray deleted;
    QVERIFY(deleteRec(bin, t, n, deleted));
    QCOMPARE(deleted, all.mid(n * 16, 16));
    QCOMPARE(readFile(bin), all.left(n * 16) + all.mid((n + 1) * 16));
    QCOMPARE(t.recordCount, count - 1);
    QVERIFY(QFile::exists(path("t_tab.chg")));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2); // no temporary left behind
}

void TestRecordFile::deleteBeyondEndChangesNothing()
{
    TableDescr t = Fixtures::small();
    const QString bin = path("t_tab.bin");
    QVERIFY(writeFile(bin, records(3)));
    QByteArray deleted("untouched");
    QVERIFY(deleteRec(bin, t, 3, deleted));
    QVERIFY(deleteRec(bin, t, 100, deleted));
    QCOMPARE(deleted, QByteArray("untouched"));
    QCOMPARE(readFile(bin), records(3));
    QCOMPARE(t.recordCount, 3);
    QVERIFY(!QFile::exists(path("t_tab.chg")));
    QVERIFY(!deleteRec(path("missing_tab.bin"), t, 0, deleted));
}

void TestRecordFile::deleteFailureKeepsTable()
{
    // The new file cannot be written (file size limit below the table's size; the limit holds for
    // root too): the table must stay whole and the call must fail.
    TableDescr t = Fixtures::small();
    const QString bin = path("t_tab.bin");
    const QByteArray all = records(1000);
    QVERIFY(writeFile(bin, all));

    QByteArray deleted;
    const bool result = withFileSizeLimit(4096, [&] { return deleteRec(bin, t, 10, deleted); });

    QVERIFY(!result);
    QCOMPARE(readFile(bin), all);
    QVERIFY(!QFile::exists(path("t_tab.chg")));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList { QStringLiteral("t_tab.bin") });
}

void TestRecordFile::refusedWriteIsNoChange_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("n"); // record number for putRec
    QTest::addColumn<int>("limit"); // bytes a file may reach; the table holds 3 records of 16
    QTest::addColumn<bool>("tableKept"); // the table's bytes are as they were

    QTest::newRow("putRec at the end") << QStringLiteral("putRec") << 3 << 48 << true;
    QTest::newRow("putRec over a record") << QStringLiteral("putRec") << 1 << 16 << true;
    // Half the record goes in before the limit: what reached the file cannot be taken back.
    QTest::newRow("putRec half written") << QStringLiteral("putRec") << 2 << 40 << false;
    QTest::newRow("appendRec") << QStringLiteral("appendRec") << 0 << 48 << true;
    QTest::newRow("appendRec half written") << QStringLiteral("appendRec") << 0 << 56 << true;
}

void TestRecordFile::refusedWriteIsNoChange()
{
    QFETCH(QString, operation);
    QFETCH(int, n);
    QFETCH(int, limit);
    QFETCH(bool, tableKept);
    TableDescr t = Fixtures::small();
    t.recordCount = 3;
    const QString bin = path("t_tab.bin");
    QVERIFY(writeFile(bin, records(3)));
    const QByteArray fresh = records(10).mid(9 * 16, 16);
    const bool saved = withFileSizeLimit(limit,
        [&] { return operation == QLatin1String("putRec") ? putRec(bin, t, n, fresh) : appendRec(bin, t, fresh); });
    QVERIFY(!saved);
    // The exchange would send a table marked changed; nothing was changed.
    QVERIFY(!QFile::exists(path("t_tab.chg")));
    QCOMPARE(t.recordCount, 3);
    if (tableKept)
        QCOMPARE(readFile(bin), records(3));
    QCOMPARE(recordCountOf(bin, t), 3);
}

void TestRecordFile::namesIgnoreCase_data()
{
    QTest::addColumn<QString>("onDisk");
    QTest::addColumn<QString>("asBuilt");
    QTest::newRow("Latin") << QStringLiteral("SMALL_TAB.BIN") << QStringLiteral("small_tab.bin");
    QTest::newRow("Cyrillic") << QStringLiteral("ОСТАТКИ_tab.bin") << QStringLiteral("остатки_TAB.bin");
    QTest::newRow("exact") << QStringLiteral("small_tab.bin") << QStringLiteral("small_tab.bin");
}

// A table the office named in other letter case is the same table: read, written and deleted
// under its own name, never doubled by a second file.
void TestRecordFile::namesIgnoreCase()
{
    QFETCH(QString, onDisk);
    QFETCH(QString, asBuilt);
    TableDescr t = Fixtures::small();
    QVERIFY(writeFile(m_dir->filePath(onDisk), records(2)));
    const QString built = m_dir->filePath(asBuilt);
    QCOMPARE(resolveFileCase(built), m_dir->filePath(onDisk));
    QCOMPARE(recordCountOf(built, t), 2);
    QByteArray rec;
    QVERIFY(readRec(built, t, 1, rec));
    QVERIFY(appendRec(built, t, rec));
    QByteArray deleted;
    QVERIFY(deleteRec(built, t, 0, deleted));
    QCOMPARE(readFile(m_dir->filePath(onDisk)), records(2).mid(t.recordLength) + rec);
    QCOMPARE(QDir(m_dir->path()).entryList({ QStringLiteral("*.bin"), QStringLiteral("*.BIN") }, QDir::Files),
        QStringList { onDisk });
    // Nothing of that name: the name as built.
    QCOMPARE(resolveFileCase(m_dir->filePath(QStringLiteral("other_tab.bin"))),
        m_dir->filePath(QStringLiteral("other_tab.bin")));
}

QTEST_GUILESS_MAIN(TestRecordFile)
#include "tst_recordfile.moc"
