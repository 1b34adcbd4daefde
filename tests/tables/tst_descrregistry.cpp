// The descriptor registry: its slots, filing and replacement, the lookups and record transfer
// between layouts.

#include "AppState.h"
#include "DescrRegistry.h"
#include "SettingsFiles.h"
#include "TestUtil.h"

#include <QTemporaryDir>
#include <QTest>

using TestUtil::cp;

namespace {

const char* const viewPairs[][2] = {
    { "TVR", "ВВОД" },
    { "TVR", "ДОБАВЛЕНИЕ" },
    { "TVR", "ПРОСМОТР" },
    { "PRH", "ВВОД" },
    { "PRH", "ДОБАВЛЕНИЕ" },
    { "PRH", "ПРОСМОТР" },
    { "RES", "ВВОД" },
    { "RES", "ВЫБОР" },
    { "RES", "ПРОСМОТР" },
    { "WGT", "ПРОСМОТР" },
    { "WGT", "НАСТРОЙКА" },
    { "TAB", "ПРОСМОТР" },
    { "TAB", "ВВОД" },
    { "TAB", "ЗАГРУЗКА" },
};
const char* const tableExtensions[] = { "TVR", "PRH", "RES", "WGT", "TAB" };
const char* const parmViewNames[] = { "PROGRAMM", "FTP_CLIENT", "FTP_SERVER", "LOCAL_DIR", "OBMEN", "VVOD" };

bool readInto(const QByteArray& content, DescrRegistry& registry, QByteArray* report = nullptr)
{
    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("OrtSystem.ini"));
    if (!TestUtil::writeFile(path, content))
        return false;
    AppState state;
    const bool ok = getIniFile(path, state, registry);
    if (report) {
        const QByteArray all = TestUtil::readFile(log);
        *report = all.mid(all.indexOf('\n') + 1);
    }
    return ok;
}

FieldDescr field(const char* name, FieldType type, int length)
{
    FieldDescr f;
    f.name = name;
    f.type = type;
    f.length = length;
    return f;
}

TableDescr layout(const QList<FieldDescr>& fields)
{
    TableDescr t;
    t.fields = fields;
    t.computeLayout();
    return t;
}

} // namespace

class TestDescrRegistry : public QObject {
    Q_OBJECT

private slots:
    void everyViewPairHasItsOwnSlot();
    void tableAndParmViewSlots();
    void laterSectionReplaces();
    void droppedSectionLeavesSlot();
    void lookups();
    void transfer_data();
    void transfer();
    void newFieldFlags();
};

void TestDescrRegistry::everyViewPairHasItsOwnSlot()
{
    QByteArray content;
    int rows = 1;
    for (const auto& pair : viewPairs)
        content += "[VIEW]\nTABLEEXTENSION=" + QByteArray(pair[0]) + "\nMODE=" + cp(pair[1])
            + "\nROWS=" + QByteArray::number(rows++) + "\n";
    DescrRegistry registry;
    QByteArray report;
    QVERIFY2(readInto(content, registry, &report), report.constData());
    rows = 1;
    for (const auto& pair : viewPairs) {
        const ViewDescr* v = registry.view(pair[0], cp(pair[1]));
        QVERIFY(v);
        QCOMPARE(v->rows, rows++);
    }
    // Only these pairs have slots.
    QVERIFY(!registry.view("TVR", cp("ВЫБОР")));
    QVERIFY(!registry.view("WGT", cp("ВВОД")));
    QVERIFY(!registry.view("tvr", cp("ВВОД")));
    QVERIFY(!registry.view("TVR", cp("ввод")));
}

void TestDescrRegistry::tableAndParmViewSlots()
{
    QByteArray content;
    int length = 1;
    for (const char* ext : tableExtensions)
        content += "[TABLE]\nNAME=T" + QByteArray(ext) + "\nEXTENSION=" + ext + "\nFIELD=F,TEXT,STANDART,0,"
            + QByteArray::number(2 * length++) + "\n";
    for (const char* name : parmViewNames)
        content += "[PARMVIEW]\nPARMNAME=" + QByteArray(name) + "\nPARM=" + name + ",label,1,+\n";
    DescrRegistry registry;
    QByteArray report;
    QVERIFY2(readInto(content, registry, &report), report.constData());
    length = 1;
    for (const char* ext : tableExtensions) {
        const TableDescr* t = registry.table(ext);
        QVERIFY(t);
        QCOMPARE(t->name, "T" + QByteArray(ext));
        QCOMPARE(t->recordLength, 2 * length++);
    }
    for (const char* name : parmViewNames) {
        const ParmViewDescr* p = registry.parmView(name);
        QVERIFY(p);
        QCOMPARE(p->parms.size(), 1);
        QCOMPARE(p->parms[0].key, QByteArray(name));
    }
    QVERIFY(!registry.table("TXT"));
    QVERIFY(!registry.parmView("SYSTEM"));

    registry.clear();
    QVERIFY(registry.table("TVR")->fields.isEmpty());
    QVERIFY(registry.parmView("VVOD")->parms.isEmpty());
}

void TestDescrRegistry::laterSectionReplaces()
{
    DescrRegistry registry;
    QVERIFY(readInto("[TABLE]\nNAME=OLD\nEXTENSION=RES\nFIELD=A,TEXT,STANDART,0,8\nFIELD=B,TEXT,STANDART,0,8\n"
                     "[TABLE]\nNAME=NEW\nEXTENSION=RES\nFIELD=C,INTEGER,STANDART,0,4\n",
        registry));
    const TableDescr* t = registry.table("RES");
    QCOMPARE(t->name, QByteArray("NEW"));
    QCOMPARE(t->fields.size(), 1);
    QCOMPARE(t->recordLength, 4);
    // A fresh descriptor at each header: nothing of the first section leaks into the second.
    QCOMPARE(t->pname, QByteArray());
}

void TestDescrRegistry::droppedSectionLeavesSlot()
{
    DescrRegistry registry;
    QVERIFY(readInto("[TABLE]\nNAME=KEEP\nEXTENSION=WGT\n", registry));
    // A second read in which the extension is wrong does not touch the filled slot.
    QVERIFY(!readInto("[TABLE]\nNAME=LOST\nEXTENSION=WGT \nEXTENSION=wgt\n", registry));
    QCOMPARE(registry.table("WGT")->name, QByteArray("KEEP"));
    // Slots no section filled stay empty.
    QVERIFY(registry.table("TVR")->fields.isEmpty());
    QVERIFY(registry.view("TAB", cp("ВВОД"))->columns.isEmpty());
}

void TestDescrRegistry::lookups()
{
    DescrRegistry registry;
    QVERIFY(readInto(cp("[TABLE]\nNAME=G\nEXTENSION=TVR\nFIELD=CODE,DIGIT,STANDART,0,13\n"
                        "FIELD=NAME,TEXT,STANDART,0,20\nFIELD=PRICE,SUMMA,STANDART,0,10\n"
                        "[VIEW]\nTABLEEXTENSION=TVR\nMODE=ПРОСМОТР\nCOLUMN=NAME,N,100,+,LEFT\n"
                        "COLUMN=GONE,G,10,+,LEFT\nCOLUMN=PRICE,P,40,-,RIGHT\nCOLUMN=PRICE,P2,40,+,RIGHT\n"),
        registry));
    const TableDescr& t = *registry.table("TVR");
    QCOMPARE(t.fieldIndex("PRICE"), 2);
    QCOMPARE(t.fieldIndex("price"), -1);
    QCOMPARE(t.fieldIndex("NAM"), -1);

    ViewDescr v = *registry.view("TVR", cp("ПРОСМОТР"));
    QCOMPARE(v.columnOfField("PRICE"), 2);
    QCOMPARE(v.columnOfField("CODE"), -1);
    v.bind(t);
    QCOMPARE(v.columns[0].fieldIndex, 1);
    QCOMPARE(v.columns[1].fieldIndex, -1);
    QCOMPARE(v.columns[2].fieldIndex, 2);
    QCOMPARE(v.columnOfFieldIndex(2), 2);
    QCOMPARE(v.columnOfFieldIndex(2, ColumnFilter::Shown), 3);
    QCOMPARE(v.columnOfFieldIndex(2, ColumnFilter::Hidden), 2);
    QCOMPARE(v.columnOfFieldIndex(1, ColumnFilter::Hidden), -1);
    QCOMPARE(v.columnOfFieldIndex(0), -1);
}

void TestDescrRegistry::transfer_data()
{
    QTest::addColumn<int>("targetSize");
    QTest::addColumn<QByteArray>("expected");

    // Target: QTY (4), NAME TEXT 20, CODE DIGIT 13 (14); filled with '#' beforehand.
    const QByteArray code("4600000000001\xff");
    QTest::newRow("whole record") << 38 << QByteArray("####" + QByteArray("Milk      ") + QByteArray(10, '#') + code);
    // Never beyond the end of a record that is shorter than its layout.
    QTest::newRow("short target") << 9 << QByteArray("####Milk ");
    QTest::newRow("empty target") << 0 << QByteArray();
}

void TestDescrRegistry::transfer()
{
    QFETCH(int, targetSize);
    QFETCH(QByteArray, expected);

    const TableDescr source = layout({ field("CODE", FieldType::Digit, 13), field("NAME", FieldType::Text, 10),
        field("PRICE", FieldType::Summa, 10) });
    const TableDescr target = layout({ field("QTY", FieldType::Quantity, 8), field("NAME", FieldType::Text, 20),
        field("CODE", FieldType::Digit, 13) });
    QCOMPARE(target.recordLength, 38);

    const QByteArray sourceRecord = QByteArray("4600000000001\xff") + "Milk      " + QByteArray("\x10\x27\0\0", 4);
    QCOMPARE(sourceRecord.size(), source.recordLength);
    QByteArray targetRecord(targetSize, '#');
    transferRecord(source, sourceRecord, target, targetRecord);
    QCOMPARE(targetRecord, expected);
}

void TestDescrRegistry::newFieldFlags()
{
    const TableDescr source = layout({ field("CODE", FieldType::Digit, 13), field("NAME", FieldType::Text, 10) });
    const TableDescr target = layout({ field("QTY", FieldType::Quantity, 8), field("NAME", FieldType::Text, 20),
        field("CODE", FieldType::Digit, 13), field("DATE", FieldType::Date, 8) });
    const QByteArray flags = ::newFieldFlags(source, target);
    QCOMPARE(flags, QByteArray("+--+" + QByteArray(28, '-')));
    QCOMPARE(::newFieldFlags(target, source), QByteArray(32, '-'));
    QCOMPARE(::newFieldFlags(TableDescr(), source), QByteArray("++" + QByteArray(30, '-')));
}

QTEST_GUILESS_MAIN(TestDescrRegistry)
#include "tst_descrregistry.moc"
