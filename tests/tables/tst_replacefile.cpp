#include "FailingDevices.h"
#include "ReplaceFile.h"
#include "TestUtil.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using TestUtil::readFile;
using TestUtil::writeFile;

class TestReplaceFile : public QObject {
    Q_OBJECT

private slots:
    void init();
    void writersNeverShareATemporary_data();
    void writersNeverShareATemporary();
    void failureKeepsTarget_data();
    void failureKeepsTarget();
    void permissions_data();
    void permissions();

private:
    QStringList files() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
    QString path(const char* name) const { return m_dir->filePath(QString::fromLatin1(name)); }
    QScopedPointer<QTemporaryDir> m_dir;
};

void TestReplaceFile::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

void TestReplaceFile::writersNeverShareATemporary_data()
{
    QTest::addColumn<bool>("firstCommitsFirst");
    QTest::newRow("first writer commits first") << true;
    QTest::newRow("second writer commits first") << false;
}

void TestReplaceFile::writersNeverShareATemporary()
{
    // Two writers of one file at the same time, their writes interleaved: each commit puts a
    // whole version in place, and the one committed last is what stays.
    QFETCH(bool, firstCommitsFirst);
    const QString target = path("t_tab.bin");
    QVERIFY(writeFile(target, "old"));
    ReplaceFile first(target);
    ReplaceFile second(target);
    QVERIFY(first.open());
    QVERIFY(second.open());
    // Each has its own new file beside the target.
    const QStringList during = files();
    QCOMPARE(during.size(), 3);
    for (const QString& name : during)
        QVERIFY2(name.startsWith(QStringLiteral("t_tab.bin")), qPrintable(name));
    const QByteArray a(5000, 'a');
    const QByteArray b(3000, 'b');
    QVERIFY(first.write(a));
    QVERIFY(second.write(b));
    QVERIFY(first.write(a));
    QVERIFY(second.write(b));
    ReplaceFile& early = firstCommitsFirst ? first : second;
    ReplaceFile& late = firstCommitsFirst ? second : first;
    QVERIFY(early.commit());
    QCOMPARE(readFile(target), firstCommitsFirst ? a + a : b + b);
    QVERIFY(late.commit());
    QCOMPARE(readFile(target), firstCommitsFirst ? b + b : a + a);
    QCOMPARE(files(), QStringList { QStringLiteral("t_tab.bin") });
}

void TestReplaceFile::failureKeepsTarget_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("write refused") << QStringLiteral("limit");
    QTest::newRow("never committed") << QStringLiteral("dropped");
    QTest::newRow("target is a folder") << QStringLiteral("folder");
}

void TestReplaceFile::failureKeepsTarget()
{
    QFETCH(QString, how);
    const QString target = path("t_tab.bin");
    if (how == QLatin1String("folder"))
        QVERIFY(writeFile(path("t_tab.bin/inside"), "kept"));
    else
        QVERIFY(writeFile(target, "old"));
    {
        ReplaceFile file(target);
        QVERIFY(file.open());
        if (how == QLatin1String("limit")) {
            QVERIFY(!withFileSizeLimit(4096, [&] { return file.write(QByteArray(10000, 'x')); }));
            QVERIFY(!file.commit());
        } else if (how == QLatin1String("folder")) {
            QVERIFY(file.write(QByteArray("new")));
            QVERIFY(!file.commit());
        } else {
            QVERIFY(file.write(QByteArray("new")));
        }
    }
    if (how == QLatin1String("folder")) {
        QCOMPARE(readFile(path("t_tab.bin/inside")), QByteArray("kept"));
        QVERIFY(files().isEmpty());
    } else {
        QCOMPARE(readFile(target), QByteArray("old"));
        QCOMPARE(files(), QStringList { QStringLiteral("t_tab.bin") });
    }
    // A folder that does not exist holds no new file either.
    ReplaceFile nowhere(path("none/t_tab.bin"));
    QVERIFY(!nowhere.open());
    QVERIFY(!nowhere.commit());
}

void TestReplaceFile::permissions_data()
{
    QTest::addColumn<int>("oldMode"); // -1: no old file
    QTest::addColumn<int>("newMode");
    QTest::addColumn<int>("mask");
    QTest::newRow("fresh file") << -1 << 0644 << 022;
    QTest::newRow("fresh file, umask 027") << -1 << 0640 << 027;
    QTest::newRow("kept from the old file") << 0640 << 0640 << 022;
}

void TestReplaceFile::permissions()
{
    QFETCH(int, oldMode);
    QFETCH(int, newMode);
    QFETCH(int, mask);
    const mode_t wasMask = ::umask(mode_t(mask));
    const auto restoreMask = qScopeGuard([&] { ::umask(wasMask); });
    const QString target = path("t_tab.bin");
    const QByteArray name = QFile::encodeName(target);
    if (oldMode >= 0) {
        QVERIFY(writeFile(target, "old"));
        QCOMPARE(::chmod(name.constData(), mode_t(oldMode)), 0);
    }
    ReplaceFile file(target);
    QVERIFY(file.open());
    QVERIFY(file.write(QByteArray("new")));
    QVERIFY(file.commit());
    struct stat st { };
    QCOMPARE(::stat(name.constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), newMode);
}

QTEST_GUILESS_MAIN(TestReplaceFile)
#include "tst_replacefile.moc"
