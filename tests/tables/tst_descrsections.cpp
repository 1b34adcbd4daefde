// TABLE, VIEW and PARMVIEW sections: keys, items, layouts, limits and their reports.

#include "AppState.h"
#include "DescrRegistry.h"
#include "SettingsFiles.h"
#include "TestUtil.h"

#include <QTemporaryDir>
#include <QTest>

using TestUtil::cp;

namespace {

// Reads one system file into a fresh registry and keeps what the run log got after the
// processing line.
struct SystemRead {
    bool ok = false;
    QByteArray report;
    AppState state;
    DescrRegistry registry;

    explicit SystemRead(const QByteArray& content)
    {
        QTemporaryDir dir;
        const QString log = TestUtil::openRunLogIn(dir.path());
        const QString path = dir.filePath(QStringLiteral("OrtSystem.ini"));
        if (!TestUtil::writeFile(path, content)) {
            report = "<not written>";
            return;
        }
        ok = getIniFile(path, state, registry);
        const QByteArray all = TestUtil::readFile(log);
        report = all.mid(all.indexOf('\n') + 1);
    }
};

QByteArray table(const QByteArray& lines, const QByteArray& extension = "TVR")
{
    return "[TABLE]\nNAME=GOODS\nEXTENSION=" + extension + "\nPNAME=Goods\n" + lines;
}

QByteArray errorLine(const QByteArray& line, int lineNo, const QByteArray& message)
{
    return "   |" + line + "|\r\n" + cp("строка ") + QByteArray::number(lineNo) + "\r\n" + message + "\r\n";
}

QByteArray itemLine(int lineNo, int item, const QByteArray& text)
{
    return cp("строка ") + QByteArray::number(lineNo) + cp(" поле ") + QByteArray::number(item) + " \"" + text
        + "\"\r\n";
}

} // namespace

class TestDescrSections : public QObject {
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void badField_data();
    void badField();
    void tableKeys();
    void tabChar_data();
    void tabChar();
    void unknownAndMalformed_data();
    void unknownAndMalformed();
    void viewKeys();
    void column_data();
    void column();
    void font_data();
    void font();
    void parmView();
    void limits_data();
    void limits();
    void namesCutToBuffers();
};

void TestDescrSections::layout_data()
{
    QTest::addColumn<QByteArray>("fields");
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<QList<int>>("offsets");
    QTest::addColumn<int>("recordLength");

    QTest::newRow("text, summa, date") << QByteArray("FIELD=A,TEXT,STANDART,0,5\nFIELD=B,SUMMA,STANDART,0,10\n"
                                                     "FIELD=C,DATE,STANDART,0,8\n")
                                       << QList<int> { 6, 4, 6 } << QList<int> { 0, 6, 10 } << 16;
    QTest::newRow("odd and even lengths") << QByteArray("FIELD=CODE,DIGIT,STANDART,13,13\nFIELD=BAR,DIGIT,MAXLEN,0,14\n"
                                                        "FIELD=Z,TEXT,MINIMAL,0,0\nFIELD=ONE,TEXT,STANDART,0,1\n")
                                          << QList<int> { 14, 14, 0, 2 } << QList<int> { 0, 14, 28, 28 } << 30;
    QTest::newRow("fixed widths whatever the length")
        << QByteArray("FIELD=D,DATE,STANDART,0,99\nFIELD=I,INTEGER,STANDART,0,11\nFIELD=S,SUMMA,MAXLEN,0,1\n"
                      "FIELD=Q,QUANTITY,MINIMAL,0,0\nFIELD=T,TIME,STANDART,0,5\n")
        << QList<int> { 6, 4, 4, 4, 4 } << QList<int> { 0, 6, 10, 14, 18 } << 22;
    QTest::newRow("sixth item ignored, key in lower case")
        << QByteArray("field = N , TEXT , STANDART , -7 , 3 , extra\n") << QList<int> { 4 } << QList<int> { 0 } << 4;
    QTest::newRow("no fields") << QByteArray() << QList<int>() << QList<int>() << 0;
}

void TestDescrSections::layout()
{
    QFETCH(QByteArray, fields);
    QFETCH(QList<int>, widths);
    QFETCH(QList<int>, offsets);
    QFETCH(int, recordLength);

    SystemRead read(table(fields));
    QVERIFY2(read.ok, read.report.constData());
    const TableDescr* t = read.registry.table("TVR");
    QVERIFY(t);
    QCOMPARE(t->fields.size(), widths.size());
    for (int i = 0; i < widths.size(); ++i) {
        QCOMPARE(t->fields[i].width, widths[i]);
        QCOMPARE(t->fields[i].offset, offsets[i]);
    }
    QCOMPARE(t->recordLength, recordLength);
}

void TestDescrSections::badField_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("items"); // the item lines expected, in order

    // The bad line is line 6 of the file.
    QTest::newRow("type in lower case") << QByteArray("FIELD=CODE,digit,STANDART,13,13") << itemLine(6, 2, "digit");
    QTest::newRow("unknown rule") << QByteArray("FIELD=CODE,DIGIT,STANDARD,13,13") << itemLine(6, 3, "STANDARD");
    QTest::newRow("aux not a number") << QByteArray("FIELD=CODE,DIGIT,STANDART,x1,13") << itemLine(6, 4, "x1");
    QTest::newRow("length not a number") << QByteArray("FIELD=CODE,DIGIT,STANDART,0,13.5") << itemLine(6, 5, "13.5");
    QTest::newRow("negative length") << QByteArray("FIELD=CODE,TEXT,STANDART,0,-2") << itemLine(6, 5, "-2");
    QTest::newRow("absurd length") << QByteArray("FIELD=CODE,TEXT,STANDART,0,2000000000")
                                   << itemLine(6, 5, "2000000000");
    QTest::newRow("items missing") << QByteArray("FIELD=CODE,TEXT")
                                   << QByteArray(itemLine(6, 3, "") + itemLine(6, 4, "") + itemLine(6, 5, ""));
    QTest::newRow("empty value") << QByteArray(
        "FIELD=") << QByteArray(itemLine(6, 2, "") + itemLine(6, 3, "") + itemLine(6, 4, "") + itemLine(6, 5, ""));
}

void TestDescrSections::badField()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, items);
    SystemRead read(table("FIELD=OK,TEXT,STANDART,0,4\n" + line + "\nFIELD=LAST,INTEGER,STANDART,0,4\n"));
    QVERIFY(!read.ok);
    QCOMPARE(read.report, items);
    // The bad field is not added; the fields around it are.
    const TableDescr* t = read.registry.table("TVR");
    QCOMPARE(t->fields.size(), 2);
    QCOMPARE(t->fields[1].name, QByteArray("LAST"));
    QCOMPARE(t->fields[1].offset, 4);
}

void TestDescrSections::tableKeys()
{
    SystemRead read(cp("[TABLE]\nname = Goods\nExtension=PRH\nPNAME=Приход товара\nTABCHAR=;\n"
                       "FIELD=CODE,DIGIT,STANDART,13,13\n"));
    QVERIFY2(read.ok, read.report.constData());
    const TableDescr* t = read.registry.table("PRH");
    QCOMPARE(t->name, QByteArray("Goods"));
    QCOMPARE(t->workName, QByteArray("Goods"));
    QCOMPARE(t->pname, cp("Приход товара"));
    QCOMPARE(t->extension, QByteArray("PRH"));
    QCOMPARE(t->tabChar, ';');
    QCOMPARE(t->fields[0].type, FieldType::Digit);
    QCOMPARE(t->fields[0].rule, LenRule::Standart);
    QCOMPARE(t->fields[0].aux, 13);
    QCOMPARE(t->fields[0].length, 13);
    QCOMPARE(read.state.settingsChanged.load(), true);

    // Empty values fail their line without a message of their own.
    SystemRead empty("[TABLE]\nNAME=GOODS\nNAME=\nEXTENSION=\nPNAME=\nEXTENSION=TVR\n");
    QVERIFY(!empty.ok);
    QCOMPARE(empty.report, QByteArray());
    QCOMPARE(empty.registry.table("TVR")->name, QByteArray("GOODS"));
}

void TestDescrSections::tabChar_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<char>("tabChar");
    QTest::newRow("default comma") << QByteArray() << true << ',';
    QTest::newRow("first of several") << QByteArray("TABCHAR=;|\n") << true << ';';
    QTest::newRow("empty resets to comma") << QByteArray("TABCHAR=|\nTABCHAR=\n") << false << ',';
}

void TestDescrSections::tabChar()
{
    QFETCH(QByteArray, lines);
    QFETCH(bool, ok);
    QFETCH(char, tabChar);
    SystemRead read(table(lines));
    QCOMPARE(read.ok, ok);
    QCOMPARE(read.registry.table("TVR")->tabChar, tabChar);
}

void TestDescrSections::unknownAndMalformed_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("report");

    const QByteArray view("[VIEW]\nTABLEEXTENSION=TVR\nMODE=" + cp("ПРОСМОТР") + "\n");
    const QByteArray parm("[PARMVIEW]\nPARMNAME=VVOD\n");
    QTest::newRow("401 ignored") << table("COLOR=red\n") << true
                                 << errorLine("COLOR=red", 5, cp("401:Нет такого параметра "));
    QTest::newRow("402 ignored") << QByteArray(view + "WIDTH=3\n") << true
                                 << errorLine("WIDTH=3", 4, cp("402:Нет такого параметра "));
    QTest::newRow("403 fails") << QByteArray(parm + "ROWS=3\n") << false
                               << errorLine("ROWS=3", 3, cp("403:Нет такого параметра "));
    QTest::newRow("TABLE line without =")
        << table("FIELD CODE\n") << false << errorLine("FIELD CODE", 5, cp("404:Неправильная структура строки"));
    QTest::newRow("VIEW line beginning with =")
        << QByteArray(view + "=3\n") << false << errorLine("=3", 4, cp("404:Неправильная структура строки"));
    QTest::newRow("PARMVIEW value over 254")
        << QByteArray(parm + "PARM=" + QByteArray(255, 'x') + "\n") << false
        << errorLine("PARM=" + QByteArray(255, 'x'), 3, cp("404:Неправильная структура строки"));
    QTest::newRow("TABLE value of 254 is fine")
        << table("PNAME=" + QByteArray(254, 'p') + "\n") << true << QByteArray();
    QTest::newRow("409 lower-case extension")
        << QByteArray("[TABLE]\nNAME=G\nEXTENSION=tvr\n[SYSTEM]\n") << false
        << errorLine("", 1, cp("409:Нет или неверный параметр EXTENSION в секции TABLE."));
    QTest::newRow("409 no extension") << QByteArray("\n[SYSTEM]\n[TABLE]\nNAME=G\n") << false
                                      << errorLine(
                                             "", 3, cp("409:Нет или неверный параметр EXTENSION в секции TABLE."));
    QTest::newRow("410 pair without a slot")
        << QByteArray(";\n[VIEW]\nTABLEEXTENSION=TVR\nMODE=" + cp("ВЫБОР") + "\n") << false
        << errorLine("", 2, cp("410:Нет или неверный параметр EXTENSION в секции VIEW."));
    QTest::newRow("410 mode in lower case")
        << QByteArray("[VIEW]\nTABLEEXTENSION=RES\nMODE=" + cp("выбор") + "\n") << false
        << errorLine("", 1, cp("410:Нет или неверный параметр EXTENSION в секции VIEW."));
    QTest::newRow("412 unknown name") << QByteArray("[PARMVIEW]\nPARMNAME=SYSTEM\n") << false
                                      << errorLine(
                                             "", 1, cp("412:Нет или неверный параметр PARMNAME в секции PARMVIEW."));
}

void TestDescrSections::unknownAndMalformed()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    QFETCH(QByteArray, report);
    SystemRead read(content);
    QCOMPARE(read.ok, ok);
    QCOMPARE(read.report, report);
}

void TestDescrSections::viewKeys()
{
    SystemRead read(cp("[VIEW]\nTableName=GOODS\nTABLEEXTENSION=TVR\nMODE=ВВОД\nROWS=7\n"));
    QVERIFY2(read.ok, read.report.constData());
    const ViewDescr* v = read.registry.view("TVR", cp("ВВОД"));
    QCOMPARE(v->tableName, QByteArray("GOODS"));
    QCOMPARE(v->rows, 7);
    QCOMPARE(v->fontFamily, QByteArray("Courier"));
    QCOMPARE(v->fontSize, 12);

    // Rows that do not parse are 5 and fail; empty names fail without a message.
    SystemRead bad(cp("[VIEW]\nTABLEEXTENSION=TVR\nMODE=ВВОД\nROWS=9\nROWS=nine\nMODE=\nTABLENAME=\n"));
    QVERIFY(!bad.ok);
    QCOMPARE(bad.report, QByteArray());
    QCOMPARE(bad.registry.view("TVR", cp("ВВОД"))->rows, 5);
}

void TestDescrSections::column_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<int>("width");
    QTest::addColumn<char>("shown");
    QTest::addColumn<int>("alignment");

    QTest::newRow("shown left") << cp("NAME, Наименование, 120, +, LEFT") << true << QByteArray() << cp("Наименование")
                                << 120 << '+' << 1;
    QTest::newRow("hidden right") << QByteArray("PRICE,Price,40,-,RIGHT") << true << QByteArray() << QByteArray("Price")
                                  << 40 << '-' << 2;
    QTest::newRow("other flag is hidden, centre")
        << QByteArray("REST,Rest,30,yes,CENTER") << true << QByteArray() << QByteArray("Rest") << 30 << '-' << 132;
    QTest::newRow("width not a number") << QByteArray("REST,Rest,wide,+,LEFT") << false << itemLine(4, 3, "wide")
                                        << QByteArray() << 0 << '-' << 0;
    QTest::newRow("alignment in lower case")
        << QByteArray("REST,Rest,30,+,left") << false << itemLine(4, 5, "left") << QByteArray() << 0 << '-' << 0;
}

void TestDescrSections::column()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, ok);
    QFETCH(QByteArray, report);
    QFETCH(QByteArray, title);
    QFETCH(int, width);
    QFETCH(char, shown);
    QFETCH(int, alignment);

    SystemRead read("[VIEW]\nTABLEEXTENSION=TVR\nMODE=" + cp("ПРОСМОТР") + "\nCOLUMN=" + value + "\n");
    QCOMPARE(read.ok, ok);
    QCOMPARE(read.report, report);
    const ViewDescr* v = read.registry.view("TVR", cp("ПРОСМОТР"));
    QCOMPARE(v->columns.size(), ok ? 1 : 0);
    if (!ok)
        return;
    const ColumnDescr& c = v->columns[0];
    QCOMPARE(c.title, title);
    QCOMPARE(c.width, width);
    QCOMPARE(c.shown, shown);
    QCOMPARE(c.alignment, alignment);
    QCOMPARE(c.fieldIndex, -1);
}

void TestDescrSections::font_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("family");
    QTest::addColumn<int>("size");
    QTest::newRow("family only keeps size") << QByteArray("FONT=Arial\n") << true << QByteArray("Arial") << 12;
    QTest::newRow("family and size") << QByteArray("FONT=Times New Roman, 9\n") << true << QByteArray("Times New Roman")
                                     << 9;
    QTest::newRow("size not a number") << QByteArray("FONT=Arial,8\nFONT=Tahoma,big\n") << false << QByteArray("Tahoma")
                                       << 12;
    QTest::newRow("empty changes nothing") << QByteArray("FONT=Arial,8\nFONT=\n") << true << QByteArray("Arial") << 8;
    QTest::newRow("long family cut") << QByteArray("FONT=" + QByteArray(40, 'f') + ",10\n") << true
                                     << QByteArray(31, 'f') << 10;
}

void TestDescrSections::font()
{
    QFETCH(QByteArray, lines);
    QFETCH(bool, ok);
    QFETCH(QByteArray, family);
    QFETCH(int, size);

    // The same rule in VIEW and PARMVIEW.
    SystemRead view("[VIEW]\nTABLEEXTENSION=WGT\nMODE=" + cp("НАСТРОЙКА") + "\n" + lines);
    QCOMPARE(view.ok, ok);
    const ViewDescr* v = view.registry.view("WGT", cp("НАСТРОЙКА"));
    QCOMPARE(v->fontFamily, family);
    QCOMPARE(v->fontSize, size);

    SystemRead parm("[PARMVIEW]\nPARMNAME=OBMEN\n" + lines);
    QCOMPARE(parm.ok, ok);
    const ParmViewDescr* p = parm.registry.parmView("OBMEN");
    QCOMPARE(p->fontFamily, family);
    QCOMPARE(p->fontSize, size);
}

void TestDescrSections::parmView()
{
    SystemRead read(cp("[PARMVIEW]\nPARMNAME=FTP_CLIENT\nPARM=ipadress,Адрес сервера,1,+\n"
                       "PARM=PassWord,Пароль,2,x,extra,more\nPARM=Root,Папка,kind,+\nPARM=Input\n"));
    QVERIFY(!read.ok);
    QCOMPARE(read.report, QByteArray(itemLine(5, 3, "kind") + itemLine(6, 3, "")));
    const ParmViewDescr* p = read.registry.parmView("FTP_CLIENT");
    QCOMPARE(p->parms.size(), 2);
    QCOMPARE(p->parms[0].key, QByteArray("IPADRESS"));
    QCOMPARE(p->parms[0].label, cp("Адрес сервера"));
    QCOMPARE(p->parms[0].kind, 1);
    QCOMPARE(p->parms[0].flag, '+');
    QCOMPARE(p->parms[1].key, QByteArray("PASSWORD"));
    QCOMPARE(p->parms[1].flag, '-');
}

void TestDescrSections::limits_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("item");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QByteArray>("kind");
    QTest::newRow("32 fields") << table("") << QByteArray("FIELD=F%1,TEXT,STANDART,0,2") << 32 << QByteArray("table");
    QTest::newRow("32 columns") << QByteArray("[VIEW]\nTABLEEXTENSION=RES\nMODE=" + cp("ВВОД") + "\n")
                                << QByteArray("COLUMN=F%1,T,10,+,LEFT") << 32 << QByteArray("view");
    QTest::newRow("64 parameters") << QByteArray("[PARMVIEW]\nPARMNAME=PROGRAMM\n") << QByteArray("PARM=K%1,L,1,+")
                                   << 64 << QByteArray("parm");
}

void TestDescrSections::limits()
{
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, item);
    QFETCH(int, limit);
    QFETCH(QByteArray, kind);

    QByteArray content = header;
    for (int i = 0; i <= limit; ++i)
        content += QByteArray(item).replace("%1", QByteArray::number(i)) + "\n";
    const int headerLines = header.count('\n');
    SystemRead read(content);
    // The line beyond the limit is refused and reported; the others stand.
    QVERIFY(!read.ok);
    const QByteArray refused = QByteArray(item).replace("%1", QByteArray::number(limit));
    QCOMPARE(read.report, errorLine(refused, headerLines + limit + 1, cp("404:Неправильная структура строки")));
    if (kind == "table") {
        QCOMPARE(read.registry.table("TVR")->fields.size(), limit);
        QCOMPARE(read.registry.table("TVR")->recordLength, 2 * limit);
    } else if (kind == "view") {
        QCOMPARE(read.registry.view("RES", cp("ВВОД"))->columns.size(), limit);
        QCOMPARE(read.registry.view("RES", cp("ВВОД"))->columns.last().fieldName, "F" + QByteArray::number(limit - 1));
    } else {
        QCOMPARE(read.registry.parmView("PROGRAMM")->parms.size(), limit);
    }
}

void TestDescrSections::namesCutToBuffers()
{
    const QByteArray long40(40, 'n');
    SystemRead read("[TABLE]\nNAME=" + long40 + "\nEXTENSION=TAB\nPNAME=" + long40
        + "\nFIELD=ABCDEFGHIJKLMNOP,TEXT,STANDART,0,3\n" + "[VIEW]\nTABLENAME=" + long40
        + "\nTABLEEXTENSION=TAB\nMODE=" + cp("ЗАГРУЗКА") + "\nCOLUMN=ABCDEFGHIJKLMNOP," + long40 + ",5,+,LEFT\n"
        + "[PARMVIEW]\nPARMNAME=LOCAL_DIR\nPARM=" + long40 + "," + long40 + ",0,+\n");
    QVERIFY2(read.ok, read.report.constData());
    const TableDescr* t = read.registry.table("TAB");
    QCOMPARE(t->name, QByteArray(31, 'n'));
    QCOMPARE(t->pname, QByteArray(31, 'n'));
    QCOMPARE(t->fields[0].name, QByteArray("ABCDEFGHIJK"));
    const ViewDescr* v = read.registry.view("TAB", cp("ЗАГРУЗКА"));
    QCOMPARE(v->tableName, QByteArray(31, 'n'));
    QCOMPARE(v->columns[0].fieldName, QByteArray("ABCDEFGHIJK"));
    QCOMPARE(v->columns[0].title, QByteArray(31, 'n'));
    const ParmViewDescr* p = read.registry.parmView("LOCAL_DIR");
    QCOMPARE(p->parms[0].key, QByteArray(31, 'N'));
    QCOMPARE(p->parms[0].label, QByteArray(34, 'n'));
}

QTEST_GUILESS_MAIN(TestDescrSections)
#include "tst_descrsections.moc"
