// The office's ortova-tool answers `find` without Qt when it can: these tests run a copy of it
// that has no full tool beside it (so a command it hands over fails with exit code 2) against the
// full tool, and the real pair, on the same folders.

#include "TestUtil.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using TestUtil::readFile;
using TestUtil::writeFile;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

const char* const Lone = "lone/ortova-tool";
const QByteArray HandedOver = "не запускается ortova-tool-qt";

// An hour old, so that the plan and the sorted files are trusted by every later process.
void backdate(const QString& file)
{
    const timespec old[2] = { { ::time(nullptr) - 3600, 0 }, { ::time(nullptr) - 3600, 0 } };
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), old, 0) == 0);
}

} // namespace

class TestQuickFind : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sameAnswers_data();
    void sameAnswers();
    void handsOver_data();
    void handsOver();

private:
    Run run(const QString& program, const QStringList& args) const;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList findArgs(int rules, const QString& order, const QByteArray& key) const;
    QTemporaryDir m_dir;
    QList<QByteArray> m_codes;
    QList<QByteArray> m_bars;
};

Run TestQuickFind::run(const QString& program, const QStringList& args) const
{
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), path(QStringLiteral("cache")));
    p.setProcessEnvironment(env);
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QStringList TestQuickFind::findArgs(int rules, const QString& order, const QByteArray& key) const
{
    QStringList args { QStringLiteral("--system"), QStringLiteral("sys%1.ini").arg(rules), QStringLiteral("find"),
        QStringLiteral("--dir"), QStringLiteral("shop%1").arg(rules) };
    if (!order.isEmpty())
        args << QStringLiteral("--order") << order;
    return args << QString::fromUtf8(key);
}

// Two folders of the same 400 goods under two settings files (plain rules; trimmed and padded
// ones), codes and barcodes repeating, names with every Windows-1251 letter and sign.
void TestQuickFind::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QRandomGenerator random(13);
    QByteArray text;
    QByteArray signs;
    for (int c = 0x20; c <= 0xFF; ++c)
        if (c != ';' && c != 0x98 && c != 0x7F)
            signs += char(c);
    for (int i = 0; i < 400; ++i) {
        const QByteArray code = QByteArray::number(100000 + random.bounded(300));
        const QByteArray bar = "46" + QByteArray::number(1000000000 + random.bounded(300)).rightJustified(11, '0');
        m_codes << code;
        m_bars << bar;
        const QByteArray name = signs.mid((i * 7) % (signs.size() - 18), 1 + i % 18);
        text += code + ';' + bar + ';' + name + ';' + QByteArray::number(random.bounded(100000)) + ".50;"
            + QByteArray::number(random.bounded(5000)) + ".250;0" + QByteArray::number(1 + i % 9) + ".12.25;1"
            + QByteArray::number(i % 10) + ":30\r\n";
    }
    const QByteArray settings = readFile(QStringLiteral(ORTOVA_TEST_DATA "/tool/OrtSystem.ini"));
    QByteArray padded = settings;
    padded.replace("FIELD=CODE,DIGIT,STANDART", "FIELD=CODE,DIGIT,MAXLEN")
        .replace("FIELD=NAME,TEXT,STANDART", "FIELD=NAME,TEXT,MINIMAL")
        .replace("FIELD=PRICE,SUMMA,STANDART", "FIELD=PRICE,SUMMA,MINIMAL")
        .replace("FIELD=QUANT,QUANTITY,STANDART", "FIELD=QUANT,QUANTITY,MAXLEN");
    QVERIFY(padded != settings);
    QVERIFY(writeFile(path(QStringLiteral("goods.tvr")), text));
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("cache")));
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("lone")));
    QVERIFY(QFile::copy(QStringLiteral(ORTOVA_TOOL), path(QString::fromLatin1(Lone))));
    for (int rules = 0; rules < 2; ++rules) {
        const QString ini = path(QStringLiteral("sys%1.ini").arg(rules));
        const QString shop = QStringLiteral("shop%1").arg(rules);
        QVERIFY(writeFile(ini, rules == 0 ? settings : padded));
        QVERIFY(QDir(m_dir.path()).mkpath(shop));
        const Run bin = run(QStringLiteral(ORTOVA_TOOL_QT),
            { QStringLiteral("--system"), ini, QStringLiteral("to-bin"), QStringLiteral("--table"),
                QStringLiteral("TVR"), QStringLiteral("goods.tvr"), shop + QStringLiteral("/GOODS_tvr.bin") });
        QVERIFY2(bin.exitCode == 0, bin.out.left(300).constData());
        backdate(ini);
        backdate(path(shop + QStringLiteral("/GOODS_tvr.bin")));
        // The full tool builds both sorted files and leaves the plan.
        QCOMPARE(
            run(QStringLiteral(ORTOVA_TOOL_QT), findArgs(rules, QStringLiteral("bar-code"), m_codes[0])).exitCode, 0);
    }
}

void TestQuickFind::sameAnswers_data()
{
    QTest::addColumn<int>("rules");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QByteArray>("key");

    QList<QByteArray> keys = { "100000", "099999", "400000", "999999", "12345", "1234567", "4600000000000",
        "4699999999999", "46000000000001", "abcdef", "10000x", "0", QByteArray(70, '7') };
    for (int i = 0; i < 60; i += 3)
        keys << m_codes[i] << m_bars[i + 1] << m_bars[i].left(12);
    for (int rules = 0; rules < 2; ++rules)
        for (const char* order : { "", "code", "code-bar", "bar-code" })
            for (const QByteArray& key : keys)
                QTest::addRow("%d %s %s", rules, order, key.left(20).constData())
                    << rules << QString::fromLatin1(order) << key;
}

// The quick answer is the full tool's, byte for byte, found or not; duplicates give the lowest
// record; and it really is the quick path's (the lone copy cannot hand over).
void TestQuickFind::sameAnswers()
{
    QFETCH(int, rules);
    QFETCH(QString, order);
    QFETCH(QByteArray, key);
    const QStringList args = findArgs(rules, order, key);
    const Run quick = run(path(QString::fromLatin1(Lone)), args);
    const Run full = run(QStringLiteral(ORTOVA_TOOL_QT), args);
    QVERIFY2(quick.exitCode == 0 || quick.exitCode == 1, quick.err.constData());
    QCOMPARE(quick.exitCode, full.exitCode);
    QCOMPARE(quick.out, full.out);
    QCOMPARE(quick.err, full.err);
    if (full.exitCode == 0) {
        const qsizetype n = full.out.left(full.out.indexOf('\n')).toInt();
        QVERIFY(m_codes[n] == key || m_bars[n] == key);
        const QList<QByteArray>& column = m_bars[n] == key ? m_bars : m_codes;
        QVERIFY(column.indexOf(column[n]) == n); // the lowest record holding the key
    }
}

void TestQuickFind::handsOver_data()
{
    QTest::addColumn<QString>("change"); // what is done to folder shop0 before the run
    QTest::addColumn<QStringList>("args");

    const QStringList find = findArgs(0, QString(), "100007");
    QTest::newRow("receipt") << QString() << (QStringList(find) << QStringLiteral("--receipt"));
    QTest::newRow("help") << QString() << QStringList { QStringLiteral("find"), QStringLiteral("--help") };
    QTest::newRow("other command") << QString()
                                   << QStringList { QStringLiteral("--system"), QStringLiteral("sys0.ini"),
                                          QStringLiteral("list"), QStringLiteral("--dir"), QStringLiteral("shop0"),
                                          QStringLiteral("--kind"), QStringLiteral("1") };
    QTest::newRow("letters beyond ASCII") << QString() << findArgs(0, QString(), "Молоко");
    QTest::newRow("no plan for these settings") << QStringLiteral("settings") << find;
    // A damaged plan whose NAME would be padded to two thousand million blanks.
    QTest::newRow("plan with a length beyond its field")
        << QStringLiteral("plan") << findArgs(0, QString(), m_codes[0]);
    // A code no record had, so that the lookup rebuilds the index files as well.
    QTest::newRow("goods table rewritten") << QStringLiteral("goods") << findArgs(0, QString(), "100999");
    QTest::newRow("sorted file damaged") << QStringLiteral("sorted") << find;
    QTest::newRow("no sorted file") << QStringLiteral("nosorted") << find;
}

// Whatever the quick path cannot vouch for goes to the full tool: the lone copy cannot answer,
// and the real one answers as the full tool does, which brings the sorted file up to date.
void TestQuickFind::handsOver()
{
    QFETCH(QString, change);
    QFETCH(QStringList, args);
    const QString goods = path(QStringLiteral("shop0/GOODS_tvr.bin"));
    const QString sorted = path(QStringLiteral("shop0/Code.sorted.ndx"));
    const QByteArray sortedBefore = readFile(sorted);
    if (change == QLatin1String("settings")) {
        const QByteArray ini = readFile(path(QStringLiteral("sys0.ini")));
        QVERIFY(writeFile(path(QStringLiteral("sys0.ini")), ini + "\r\n"));
        backdate(path(QStringLiteral("sys0.ini")));
    } else if (change == QLatin1String("goods")) {
        QByteArray table = readFile(goods);
        table.replace(0, 6, "100999");
        QVERIFY(writeFile(goods, table));
        backdate(goods);
    } else if (change == QLatin1String("sorted")) {
        QByteArray damaged = sortedBefore;
        damaged[4096 + 100] = char(damaged[4096 + 100] ^ 1);
        QVERIFY(writeFile(sorted, damaged));
    } else if (change == QLatin1String("nosorted")) {
        QVERIFY(QFile::remove(sorted));
    } else if (change == QLatin1String("plan")) {
        // sys0.ini's plan: NAME is TEXT STANDART 20 at offset 20.
        const QDir cache(path(QStringLiteral("cache/ortova")));
        bool damaged = false;
        for (const QString& name : cache.entryList({ QStringLiteral("find-*") }, QDir::Files)) {
            QByteArray plan = readFile(cache.filePath(name));
            if (!plan.contains("\n0 0 20 20 20\n") || !plan.contains("\n1 0 6 6 0\n"))
                continue;
            plan.replace("\n0 0 20 20 20\n", "\n0 2 2000000000 20 20\n");
            QVERIFY(writeFile(cache.filePath(name), plan));
            damaged = true;
        }
        QVERIFY(damaged);
    }
    const Run lone = run(path(QString::fromLatin1(Lone)), args);
    QCOMPARE(lone.exitCode, 2);
    QVERIFY2(lone.err.contains(HandedOver), lone.err.constData());

    const Run front = run(QStringLiteral(ORTOVA_TOOL), args);
    const Run full = run(QStringLiteral(ORTOVA_TOOL_QT), args);
    QCOMPARE(front.exitCode, full.exitCode);
    QCOMPARE(front.out, full.out);
    QCOMPARE(front.err, full.err);
    if (change == QLatin1String("goods")) {
        // The changed record is found, and the rebuilt sorted file serves the quick path again.
        QVERIFY(full.out.startsWith("0\n100999;"));
        QVERIFY(readFile(sorted) != sortedBefore);
        const Run again = run(path(QString::fromLatin1(Lone)), args);
        QCOMPARE(again.out, full.out);
    }
    if (change == QLatin1String("sorted") || change == QLatin1String("nosorted"))
        QCOMPARE(run(path(QString::fromLatin1(Lone)), args).out, full.out);
}

QTEST_GUILESS_MAIN(TestQuickFind)
#include "tst_quickfind.moc"
