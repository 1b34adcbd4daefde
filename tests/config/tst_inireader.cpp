// The settings reader: grammar, line numbering, reports in the run log, and bad input that must
// neither crash nor hang.

#include "AppState.h"
#include "DescrRegistry.h"
#include "FailingDevices.h"
#include "IniReader.h"
#include "SettingsFiles.h"
#include "TestUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using TestUtil::cp;

namespace {

// Records what the reader hands a section. A line that begins with "bad" is failed and reported,
// so line numbers show in the run log.
class Recorder : public IniSection {
public:
    explicit Recorder(QStringList& events)
        : m_events(events)
    {
    }
    bool start(IniReader& reader) override
    {
        m_events << QStringLiteral("start:") + QString::fromLatin1(reader.currentSection());
        return true;
    }
    bool line(IniReader& reader, const QByteArray& raw) override
    {
        m_events << QStringLiteral("line:") + QString::fromLatin1(raw);
        if (!raw.startsWith("bad"))
            return true;
        reader.errorLine(QStringLiteral("bad"), raw, reader.lineNumber());
        return false;
    }
    bool end(IniReader&) override
    {
        m_events << QStringLiteral("end");
        return true;
    }

private:
    QStringList& m_events;
};

// The run log after the stamped processing line, which must name the file.
QByteArray reportAfterHeader(const QString& logPath, const QString& fileName)
{
    const QByteArray log = TestUtil::readFile(logPath);
    const QByteArray header = cp("Обработка ини файла ") + fileName.toUtf8() + "\r\n";
    const int at = log.indexOf(header);
    if (at < 0)
        return QByteArrayLiteral("<no processing line>");
    static const QRegularExpression stamp(QStringLiteral("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\. $"));
    const int lineStart = log.lastIndexOf('\n', at) + 1;
    if (!stamp.match(QString::fromLatin1(log.mid(lineStart, at - lineStart))).hasMatch())
        return QByteArrayLiteral("<no time stamp>");
    return log.mid(at + header.size());
}

} // namespace

class TestIniReader : public QObject {
    Q_OBJECT

private slots:
    void grammar_data();
    void grammar();
    void lineEndsAndNumbers();
    void headerErrorKeepsSection();
    void headerLength();
    void unknownSection();
    void missingOrUnopenable_data();
    void missingOrUnopenable();
    void readFailure_data();
    void readFailure();
    void realFileReadFails();
    void garbageBytes();
    void hugeLine();
    void utf8File();
    void upperCasing_data();
    void upperCasing();
    void splitKeyValue_data();
    void splitKeyValue();
    void itemReport();
};

void TestIniReader::grammar_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("events");

    const QStringList none;
    QTest::newRow("empty file fails") << QByteArray() << false << none;
    QTest::newRow("comments only fail") << QByteArrayLiteral("; one\n  ;two\r\n") << false << none;
    QTest::newRow("blanks and lower case in header")
        << QByteArrayLiteral("[  vvod \t]\nk=1\n") << true
        << QStringList { QStringLiteral("start:VVOD"), QStringLiteral("line:k=1"), QStringLiteral("end") };
    QTest::newRow("comment after header") << QByteArrayLiteral("  [VVOD] ; entry\n") << true
                                          << QStringList { QStringLiteral("start:VVOD"), QStringLiteral("end") };
    QTest::newRow("key before first header ignored") << QByteArrayLiteral(
        "k=1\n[VVOD]\n") << true << QStringList { QStringLiteral("start:VVOD"), QStringLiteral("end") };
    QTest::newRow("empty line skipped, blank line handed on")
        << QByteArrayLiteral("[VVOD]\n\n  \n;c\n") << true
        << QStringList { QStringLiteral("start:VVOD"), QStringLiteral("line:  "), QStringLiteral("end") };
    QTest::newRow("raw line untrimmed") << QByteArrayLiteral("[VVOD]\n\t k = v \n") << true
                                        << QStringList { QStringLiteral("start:VVOD"), QStringLiteral("line:\t k = v "),
                                               QStringLiteral("end") };
    QTest::newRow("sections close in turn")
        << QByteArrayLiteral("[VVOD]\na=1\n[OBMEN]\nb=2") << true
        << QStringList { QStringLiteral("start:VVOD"), QStringLiteral("line:a=1"), QStringLiteral("end"),
               QStringLiteral("start:OBMEN"), QStringLiteral("line:b=2"), QStringLiteral("end") };
    QTest::newRow("byte-order mark does not hide the first header")
        << QByteArrayLiteral("\xEF\xBB\xBF[VVOD]\na=1\n") << true
        << QStringList { QStringLiteral("start:VVOD"), QStringLiteral("line:a=1"), QStringLiteral("end") };
    QTest::newRow("failed line fails the file, reading goes on")
        << QByteArrayLiteral("[VVOD]\nbad\na=1\n") << false
        << QStringList { QStringLiteral("start:VVOD"), QStringLiteral("line:bad"), QStringLiteral("line:a=1"),
               QStringLiteral("end") };
}

void TestIniReader::grammar()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, result);
    QFETCH(QStringList, events);

    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("OrtUser.ini"));
    QVERIFY(TestUtil::writeFile(path, content));

    QStringList seen;
    Recorder vvod(seen);
    Recorder obmen(seen);
    IniReader reader;
    reader.addSection("VVOD", &vvod);
    reader.addSection("OBMEN", &obmen);
    QCOMPARE(reader.readFile(path), result);
    QCOMPARE(seen, events);
    // Nothing but the processing line unless a line was bad.
    const QByteArray report = reportAfterHeader(log, QStringLiteral("OrtUser.ini"));
    QCOMPARE(report.isEmpty(), !content.contains("bad"));
}

void TestIniReader::lineEndsAndNumbers()
{
    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("mixed.ini"));
    // LF, lone CR, CRLF and an LF-CR pair (two ends, an empty line between) in one file.
    QVERIFY(TestUtil::writeFile(path, QByteArrayLiteral("[VVOD]\rbad1\n\nbad2\r\n\r\nbad3\n\rbad4")));

    QStringList seen;
    Recorder vvod(seen);
    IniReader reader;
    reader.addSection("VVOD", &vvod);
    QVERIFY(!reader.readFile(path));
    QCOMPARE(reportAfterHeader(log, QStringLiteral("mixed.ini")),
        QByteArray(cp("   |bad1|\r\nстрока 2\r\nbad\r\n") + cp("   |bad2|\r\nстрока 4\r\nbad\r\n")
            + cp("   |bad3|\r\nстрока 6\r\nbad\r\n") + cp("   |bad4|\r\nстрока 8\r\nbad\r\n")));
}

void TestIniReader::headerErrorKeepsSection()
{
    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("h.ini"));
    QVERIFY(TestUtil::writeFile(path, QByteArrayLiteral("[VVOD]\na=1\n  [OBMEN \nb=2\n[]\nc=3\n")));

    QStringList seen;
    Recorder vvod(seen);
    Recorder obmen(seen);
    IniReader reader;
    reader.addSection("VVOD", &vvod);
    reader.addSection("OBMEN", &obmen);
    QVERIFY(!reader.readFile(path));
    // The lines after a broken header still belong to the section before it.
    QCOMPARE(seen,
        (QStringList { QStringLiteral("start:VVOD"), QStringLiteral("line:a=1"), QStringLiteral("line:b=2"),
            QStringLiteral("line:c=3"), QStringLiteral("end") }));
    QCOMPARE(reportAfterHeader(log, QStringLiteral("h.ini")),
        QByteArray(cp("   |  [OBMEN |\r\n   строка 3 поле 1 \"\"\r\n") + cp("   |[]|\r\n   строка 5 поле 1 \"\"\r\n")));
}

void TestIniReader::headerLength()
{
    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("len.ini"));
    const QByteArray name30(30, 'S');
    const QByteArray name31(31, 'S');
    QVERIFY(TestUtil::writeFile(path, "[" + name30 + "]\n[" + name31 + "]\n"));

    QStringList seen;
    Recorder sec(seen);
    IniReader reader;
    reader.addSection(name30, &sec);
    reader.addSection(name31, &sec);
    QVERIFY(!reader.readFile(path));
    QCOMPARE(seen, (QStringList { QStringLiteral("start:") + QString::fromLatin1(name30), QStringLiteral("end") }));
    QCOMPARE(reportAfterHeader(log, QStringLiteral("len.ini")),
        QByteArray("   |[" + name31 + "]|\r\n" + cp("   строка 2 поле 1 \"\"\r\n")));
}

void TestIniReader::unknownSection()
{
    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("u.ini"));
    QVERIFY(TestUtil::writeFile(path, QByteArrayLiteral(";x\n[VVOD]\n[Nothing]\nbad=1\n[VVOD]\na=1\n")));

    QStringList seen;
    Recorder vvod(seen);
    IniReader reader;
    reader.addSection("VVOD", &vvod);
    QVERIFY(!reader.readFile(path));
    // Lines of an unknown section are taken without action; the report names the header line.
    QCOMPARE(seen,
        (QStringList { QStringLiteral("start:VVOD"), QStringLiteral("end"), QStringLiteral("start:VVOD"),
            QStringLiteral("line:a=1"), QStringLiteral("end") }));
    QCOMPARE(reportAfterHeader(log, QStringLiteral("u.ini")), cp("   ||\r\nстрока 3\r\n408:Нет такой секциии \r\n"));

    // A file that only has an unknown section fails at its end as well.
    QVERIFY(TestUtil::writeFile(path, QByteArrayLiteral("[OTHER]\n")));
    QVERIFY(!reader.readFile(path));
}

void TestIniReader::missingOrUnopenable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("report");
    QTest::newRow("missing") << QStringLiteral("missing") << cp("   Нет файла \r\n");
    QTest::newRow("folder") << QStringLiteral("folder") << cp("   Ошибка при открытии файла \r\n");
    QTest::newRow("pipe") << QStringLiteral("pipe") << cp("   Ошибка при открытии файла \r\n");
    QTest::newRow("unreadable") << QStringLiteral("unreadable") << cp("   Ошибка при открытии файла \r\n");
}

void TestIniReader::missingOrUnopenable()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, report);

    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("OrtSystem.ini"));
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("OrtSystem.ini")));
    } else if (kind == QLatin1String("pipe")) {
        // A pipe nobody writes to would block a plain open for ever.
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("unreadable")) {
        if (::geteuid() == 0)
            QSKIP("file permissions do not stop root");
        QVERIFY(TestUtil::writeFile(path, QByteArrayLiteral("[SYSTEM]\n")));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    }

    AppState state;
    DescrRegistry registry;
    QVERIFY(!getIniFile(path, state, registry));
    QVERIFY(!state.settingsChanged);
    QCOMPARE(reportAfterHeader(log, QStringLiteral("OrtSystem.ini")), report);
}

void TestIniReader::readFailure_data()
{
    QTest::addColumn<qint64>("goodBytes");
    QTest::newRow("fails at once") << qint64(0);
    QTest::newRow("fails after the first sections") << qint64(19);
}

void TestIniReader::readFailure()
{
    QFETCH(qint64, goodBytes);
    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    // Everything before the failure is a complete, valid file on its own.
    FailingAfter device(QByteArrayLiteral("[SYSTEM]\nSUMMADP=2\n[VVOD]\nEnSumDocum=TRUE\n"), goodBytes);
    QVERIFY(device.open(QIODevice::ReadOnly));

    QStringList seen;
    Recorder vvod(seen);
    Recorder system(seen);
    IniReader reader;
    reader.addSection("VVOD", &vvod);
    reader.addSection("SYSTEM", &system);
    QVERIFY(!reader.readDevice(device, QStringLiteral("OrtUser.ini")));
    QCOMPARE(reportAfterHeader(log, QStringLiteral("OrtUser.ini")), cp("   Ошибка при открытии файла \r\n"));
}

void TestIniReader::realFileReadFails()
{
    // A regular file that opens but cannot be read.
    const QString path = QStringLiteral("/proc/self/mem");
    QFile probe(path);
    if (!QFileInfo(path).isFile() || !probe.open(QIODevice::ReadOnly))
        QSKIP("no /proc/self/mem here");
    probe.close();
    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    AppState state;
    DescrRegistry registry;
    QVERIFY(!getIniFile(path, state, registry));
    QCOMPARE(reportAfterHeader(log, QStringLiteral("mem")), cp("   Ошибка при открытии файла \r\n"));
}

void TestIniReader::garbageBytes()
{
    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("OrtUser.ini"));
    // Zero bytes, the one byte Windows-1251 leaves undefined, and control characters.
    const QByteArray junk("\x00\x98\x01\xff\x7f", 5);
    QVERIFY(TestUtil::writeFile(path,
        QByteArrayLiteral("[VVOD]\n") + junk + "\nEnSumDocum=TRUE\n"
            + QByteArray("En\x00"
                         "AddItem=TRUE\n",
                16)
            + QByteArray(4096, '\x98') + "\n"));

    AppState state;
    DescrRegistry registry;
    QVERIFY(!getIniFile(path, state, registry));
    // Good lines are still read; a key with a zero byte inside is a key the section lacks.
    QVERIFY(state.user.vvod.enSumDocum);
    QVERIFY(!state.user.vvod.enAddItem);
    const QByteArray report = reportAfterHeader(log, QStringLiteral("OrtUser.ini"));
    QVERIFY(report.contains(cp("строка 2\r\n404:Секция [VVOD].Неправильная структура строки\r\n")));
    QVERIFY(report.contains(cp("строка 4\r\n406:Нет такого параметра \r\n")));
    QVERIFY(report.contains(cp("строка 5\r\n404:Секция [VVOD].Неправильная структура строки\r\n")));
}

void TestIniReader::hugeLine()
{
    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("OrtUser.ini"));
    const QByteArray longValue(100 * 1024, 'x');
    QVERIFY(TestUtil::writeFile(
        path, "[PROGRAMM]\nWorkDirectory=" + longValue + "\nTerminalNumber=7\n[" + longValue + "]\nEnAvtoriz=TRUE\n"));

    AppState state;
    DescrRegistry registry;
    QVERIFY(!getIniFile(path, state, registry));
    QVERIFY(state.user.programm.workDirectory.isEmpty());
    QCOMPARE(state.user.programm.terminalNumber, QByteArray("7"));
    // The overlong header is an error and the section goes on.
    QVERIFY(state.user.programm.enAvtoriz);
    const QByteArray report = reportAfterHeader(log, QStringLiteral("OrtUser.ini"));
    QVERIFY(report.contains(cp("строка 2\r\n404:Секция [PROGRAMM].Неправильная структура строки\r\n")));
    QVERIFY(report.contains(cp("   строка 4 поле 1 \"\"\r\n")));
}

void TestIniReader::utf8File()
{
    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("OrtUser.ini"));
    QVERIFY(TestUtil::writeFile(path,
        QStringLiteral("[OBMEN]\nEnLoadReplace=TRUE\nIoFTPLocal=ЛокальнаЯ папка\nLoadAct=Удалять справочник\n")
            .toUtf8()));

    AppState state;
    DescrRegistry registry;
    QVERIFY(!getIniFile(path, state, registry));
    QVERIFY(state.user.obmen.enLoadReplace);
    QCOMPARE(state.user.obmen.ioFtpLocal, 0);
    QCOMPARE(state.user.obmen.loadAct, 0);
    const QByteArray report = reportAfterHeader(log, QStringLiteral("OrtUser.ini"));
    QVERIFY(report.contains(cp("строка 3\r\n411:секция [OBMEN]. Нет такого параметра \r\n")));
}

void TestIniReader::upperCasing_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("latin") << QByteArray("abzAZ09_=") << QByteArray("ABZAZ09_=");
    QTest::newRow("а to ю raised") << cp("абвгдежзийклмнопрстуфхцшщъыьэю") << cp("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦШЩЪЫЬЭЮ");
    QTest::newRow("я ч ё stay") << cp("ячё") << cp("ячё");
    QTest::newRow("capitals stay") << cp("ЯЧЁАЮ") << cp("ЯЧЁАЮ");
    QTest::newRow("word with small я") << cp("Локальная папка") << cp("ЛОКАЛЬНАя ПАПКА");
    QTest::newRow("word with capital Я") << cp("ЛокальнаЯ папка") << cp("ЛОКАЛЬНАЯ ПАПКА");
    QTest::newRow("other bytes") << QByteArray("\x00\x98\xb3\xbf", 4) << QByteArray("\x00\x98\xb3\xbf", 4);
}

void TestIniReader::upperCasing()
{
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, out);
    QCOMPARE(IniReader::upper(in), out);
}

void TestIniReader::splitKeyValue_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("plain") << QByteArray("Key=Value") << true << QByteArray("KEY") << QByteArray("Value");
    QTest::newRow("blanks round both") << QByteArray(" \tmIxEd  =  Some Value \r") << true << QByteArray("MIXED")
                                       << QByteArray("Some Value");
    QTest::newRow("first = splits") << QByteArray("a=b=c") << true << QByteArray("A") << QByteArray("b=c");
    QTest::newRow("empty value") << QByteArray("a=") << true << QByteArray("A") << QByteArray();
    QTest::newRow("no =") << QByteArray("abc") << false << QByteArray() << QByteArray();
    QTest::newRow("begins with =") << QByteArray("=abc") << false << QByteArray() << QByteArray();
    QTest::newRow("blank key") << QByteArray("   =abc") << false << QByteArray() << QByteArray();
    QTest::newRow("key 62") << QByteArray(QByteArray(62, 'k') + "=v") << true << QByteArray(62, 'K') << QByteArray("v");
    QTest::newRow("key 63") << QByteArray(QByteArray(63, 'k') + "=v") << false << QByteArray() << QByteArray();
    QTest::newRow("value 510") << QByteArray("k=" + QByteArray(510, 'v')) << true << QByteArray("K")
                               << QByteArray(510, 'v');
    QTest::newRow("value 511") << QByteArray("k=" + QByteArray(511, 'v')) << false << QByteArray() << QByteArray();
}

void TestIniReader::splitKeyValue()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, ok);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QByteArray k;
    QByteArray v;
    QCOMPARE(IniReader::splitKeyValue(line, k, v), ok);
    if (ok) {
        QCOMPARE(k, key);
        QCOMPARE(v, value);
    }
}

void TestIniReader::itemReport()
{
    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    IniReader reader;
    reader.errorAt(cp("строка с ошибкой"), 41, 2, QByteArray("X1"));
    reader.errorLine(QStringLiteral("409:message"), QByteArray(), 0);
    QCOMPARE(TestUtil::readFile(log),
        QByteArray(cp("   |строка с ошибкой|\r\n   строка 42 поле 3 \"X1\"\r\n") + "   ||\r\n" + cp("строка 1\r\n")
            + "409:message\r\n"));
}

QTEST_GUILESS_MAIN(TestIniReader)
#include "tst_inireader.moc"
