#include "AppState.h"
#include "Codec.h"
#include "ConvFile.h"
#include "Cue.h"
#include "DescrRegistry.h"
#include "FailingDevices.h"
#include "FieldCodec.h"
#include "KeyIndex.h"
#include "ProsmCase.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "ScanFeed.h"
#include "Scanner.h"
#include "ScriptedResponder.h"
#include "SettingsFiles.h"
#include "TableFiles.h"
#include "TestUtil.h"
#include "Units.h"
#include "ViewingFixtures.h"
#include "Vvod.h"
#include "VvodPanelWin.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QtEndian>

#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Goods of the tests: code, barcode, name, price.
struct Item {
    const char* code;
    const char* bar;
    const char* name;
    const char* price;
};
const Item Goods[] = {
    { "024680", "4600000000017", "Сахар", "500.00" },
    { "000111", "4600000000024", "Соль", "12.50" },
    { "000222", "2204680000000", "Сыр весовой", "800.00" },
};

TableDescr& table(const char* extension)
{
    return *descrRegistry().table(QByteArray(extension));
}

QByteArray makeRecord(const TableDescr& t, const QList<QPair<const char*, QByteArray>>& values)
{
    QByteArray record = defaultRecord(t);
    for (const auto& [name, value] : values) {
        const int i = t.fieldIndex(QByteArray(name));
        if (i < 0 || !textToField(t.fields[i], value, record))
            qFatal("fixture value does not convert: %s", name);
    }
    return record;
}

// A result line as "BAR/CODE/REST".
QString line(const TableDescr& res, const QByteArray& record)
{
    const auto text = [&](const char* name) {
        return QString::fromLatin1(fieldToText(res.fields[res.fieldIndex(QByteArray(name))], record).trimmed());
    };
    const FieldDescr& rest = res.fields[res.fieldIndex(QByteArrayLiteral("REST"))];
    const qint32 thousandths = qFromLittleEndian<qint32>(record.constData() + rest.offset);
    return text("BAR") + QLatin1Char('/') + text("CODE") + QLatin1Char('/')
        + QString::fromLatin1(formatQuantity(thousandths));
}

} // namespace

class TestVvod : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void booking_data();
    void booking();
    void badQuantity_data();
    void badQuantity();
    void singlePanelTotals();
    void rowCorrection();
    void clickBelowLastRecord();
    void weightBarcodes_data();
    void weightBarcodes();
    void scanWhileQuantityAwaits();
    void existingResults_data();
    void existingResults();
    void everyWayOut_data();
    void everyWayOut();
    void writeFailure();
    void numberedCopies();
    void copyDelete_data();
    void copyDelete();
    void chooserDeleteAsks_data();
    void chooserDeleteAsks();
    void cancelClearsPendingItem();
    void demoCountsAtOnce();
    void incompleteSettingsRefuse();
    void entryPath_data();
    void entryPath();
    void keypadCorrection();
    void newItemNamedUnderTable();
    void enterKeepsWork_data();
    void enterKeepsWork();
    void scanWhileAwaitedConfirms();
    void weightLabelOfUnknownGoods();
    void newTableWhenMarkerStays();
    void resultLineByWholeKey();
    void newItemKeyLimit();
    void scannerCodesArriveByThemselves();
    void receiving_data();
    void receiving();

private:
    void click(QWidget* window, const char* button);
    void start(bool tablePanel = false);
    void type(const char* objectName, const QString& text);
    QString label(const char* objectName) const;
    QStringList resultLines() const;
    void writeResult(const QStringList& lines);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedResponder> m_boxes;
    std::unique_ptr<Vvod> m_vvod;
    QList<Cue> m_cues;
    QString m_log;
};

void TestVvod::initTestCase()
{
    QVERIFY(getIniFile(QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/OrtSystem.ini")));
}

void TestVvod::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_log = TestUtil::openRunLogIn(m_dir->path());
    AppState& state = appState();
    state.appDir = QFile::encodeName(m_dir->path());
    state.workDir = state.appDir;
    state.user = UserSettings();
    state.user.vvod.quantityIncr = 1000;
    state.user.vvod.enSumDocum = true;
    state.user.vvod.vvodPanel = 1;
    state.menuGate = false;
    QVERIFY(QDir::setCurrent(m_dir->path()));

    TableDescr& goods = table("TVR");
    QList<QByteArray> records;
    for (const Item& item : Goods)
        records << makeRecord(goods,
            { { "CODE", item.code }, { "BAR", item.bar }, { "NAME", TestUtil::cp(item.name) },
                { "PRICE", item.price } });
    QVERIFY(ViewFx::writeTable(binFileName(goods), goods, records));

    m_cues.clear();
    setCueListener([this](Cue cue) { m_cues << cue; });
    m_boxes = std::make_unique<ScriptedResponder>();
    m_vvod = std::make_unique<Vvod>();
}

void TestVvod::cleanup()
{
    installScanner(nullptr);
    m_vvod.reset();
    m_boxes.reset();
    setCueListener(nullptr);
    RunLog::instance().close();
    QDir::setCurrent(QDir::tempPath());
    m_dir.reset();
}

void TestVvod::start(bool tablePanel)
{
    appState().user.vvod.vvodPanel = tablePanel ? 0 : 1;
    m_vvod->vvMainMainCall();
    QVERIFY(m_vvod->panel());
}

void TestVvod::type(const char* objectName, const QString& text)
{
    auto* edit = m_vvod->panel()->findChild<QLineEdit*>(QLatin1String(objectName));
    QVERIFY(edit);
    edit->clear();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

QString TestVvod::label(const char* objectName) const
{
    const auto* l = m_vvod->panel()->findChild<QLabel*>(QLatin1String(objectName));
    return l ? l->text() : QStringLiteral("<no %1>").arg(QLatin1String(objectName));
}

QStringList TestVvod::resultLines() const
{
    const TableDescr& res = table("RES");
    QStringList lines;
    QByteArray record;
    for (qint32 n = 0; readRec(binFileName(res), res, n, record); ++n)
        lines << line(res, record);
    return lines;
}

// Lines "bar/code/rest" as the result table's file.
void TestVvod::writeResult(const QStringList& lines)
{
    TableDescr& res = table("RES");
    QList<QByteArray> records;
    for (const QString& l : lines) {
        const QStringList parts = l.split(QLatin1Char('/'));
        records << makeRecord(res,
            { { "BAR", parts[0].toLatin1() }, { "CODE", parts[1].toLatin1() }, { "REST", parts[2].toLatin1() },
                { "PRICE", "1.00" } });
    }
    QVERIFY(ViewFx::writeTable(binFileName(res), res, records));
}

void TestVvod::booking_data()
{
    QTest::addColumn<bool>("sumRepeated");
    QTest::addColumn<bool>("skip");
    QTest::addColumn<QStringList>("before"); // result lines already there
    QTest::addColumn<QStringList>("input"); // codes, "=q" for a quantity
    QTest::addColumn<QStringList>("after");

    const QString a = QStringLiteral("4600000000017");
    QTest::newRow("repeated scans add up") << true << true << QStringList() << QStringList { a, a }
                                           << QStringList { QStringLiteral("4600000000017/024680/2.000") };
    QTest::newRow("each scan its own line")
        << false << true << QStringList() << QStringList { a, a }
        << QStringList { QStringLiteral("4600000000017/024680/1.000"), QStringLiteral("4600000000017/024680/1.000") };
    QTest::newRow("typed quantity adds to the line")
        << true << false << QStringList { QStringLiteral("4600000000017/024680/2.5") }
        << QStringList { a, QStringLiteral("=0.75") } << QStringList { QStringLiteral("4600000000017/024680/3.250") };
    // The same code under another barcode is the line of an item found by code, not of one found by barcode.
    QTest::newRow("found by code, matched by code")
        << true << true << QStringList { QStringLiteral("4600000000099/024680/3") }
        << QStringList { QStringLiteral("024680") } << QStringList { QStringLiteral("4600000000099/024680/4.000") };
    QTest::newRow("found by barcode, matched by barcode")
        << true << true << QStringList { QStringLiteral("4600000000099/024680/3") } << QStringList { a }
        << QStringList { QStringLiteral("4600000000099/024680/3.000"), QStringLiteral("4600000000017/024680/1.000") };
}

void TestVvod::booking()
{
    QFETCH(bool, sumRepeated);
    QFETCH(bool, skip);
    QFETCH(QStringList, before);
    QFETCH(QStringList, input);
    QFETCH(QStringList, after);
    appState().user.vvod.enSumRepeated = sumRepeated;
    appState().user.vvod.enQuantitySkip = skip;
    appState().user.vvod.searchOrder = 1; // code, then barcode
    if (!before.isEmpty()) {
        writeResult(before);
        m_boxes->answerNext(0); // "Продолжить"
    }
    start();
    for (const QString& step : input) {
        if (step.startsWith(QLatin1Char('=')))
            type("vRest", step.mid(1));
        else
            type("vBar", step);
    }
    QCOMPARE(resultLines(), after);
    QVERIFY(!m_vvod->awaitingQuantity());
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestVvod::badQuantity_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("letters") << QStringLiteral("1a");
    QTest::newRow("comma and point") << QStringLiteral("1,5.0");
    QTest::newRow("minus") << QStringLiteral("-1");
    QTest::newRow("ten digits") << QStringLiteral("3000000000");
    QTest::newRow("four decimals") << QStringLiteral("1.0005");
}

void TestVvod::badQuantity()
{
    QFETCH(QString, typed);
    start();
    type("vBar", QStringLiteral("4600000000017"));
    QVERIFY(m_vvod->awaitingQuantity());
    m_boxes->answerNext(0); // a suspiciously long quantity is asked about; the answer must not matter
    type("vRest", typed);
    QCOMPARE(resultLines(), QStringList());
    QVERIFY(m_vvod->awaitingQuantity());
    QCOMPARE(m_vvod->panel()->restText(), QString());
}

void TestVvod::singlePanelTotals()
{
    appState().user.vvod.enSumRepeated = false;
    start();
    for (int i = 0; i < 2; ++i) {
        type("vBar", QStringLiteral("4600000000017"));
        type("vRest", QStringLiteral("25"));
    }
    QCOMPARE(label("vDocLin"), QStringLiteral("2"));
    QCOMPARE(label("vDocSum"), QStringLiteral("25000.00"));
    // The next scan of the item shows what the document already holds of it.
    type("vBar", QStringLiteral("4600000000017"));
    QCOMPARE(label("vDocTovRest"), QStringLiteral("50.000"));
    QCOMPARE(label("vSumTovRest"), QStringLiteral("25000.00"));
    QCOMPARE(label("vCode"), QStringLiteral("024680"));
    ViewFx::screen(m_vvod->panel(), "vvod-record");

    m_vvod.reset();
    appState().user.vvod.enSumDocum = false;
    m_vvod = std::make_unique<Vvod>();
    m_boxes->answerNext(0);
    start();
    QCOMPARE(label("vDocSum"), QStringLiteral("Нет учёта"));
}

void TestVvod::rowCorrection()
{
    appState().user.vvod.enQuantitySkip = true;
    start(true);
    type("vBar", QStringLiteral("4600000000017"));
    type("vBar", QStringLiteral("4600000000024"));
    auto* tw = m_vvod->panel()->findChild<QTableWidget*>(QStringLiteral("TabWid"));
    QVERIFY(tw);
    ViewFx::screen(m_vvod->panel(), "vvod-table");
    QTest::mouseClick(tw->viewport(), Qt::LeftButton, {}, tw->visualItemRect(tw->item(0, 0)).center());
    QVERIFY(m_vvod->awaitingQuantity());
    QCOMPARE(m_vvod->panel()->restText(), QStringLiteral("1"));
    type("vRest", QStringLiteral("5"));
    QCOMPARE(resultLines(),
        QStringList({ QStringLiteral("4600000000017/024680/5.000"), QStringLiteral("4600000000024/000111/1.000") }));
}

void TestVvod::clickBelowLastRecord()
{
    appState().user.vvod.enQuantitySkip = true;
    start(true);
    type("vBar", QStringLiteral("4600000000017"));
    const QByteArray before = TestUtil::readFile(binFileName(table("RES")));
    auto* tw = m_vvod->panel()->findChild<QTableWidget*>(QStringLiteral("TabWid"));
    QVERIFY(tw->rowCount() > 3);
    QTest::mouseClick(tw->viewport(), Qt::LeftButton, {}, tw->visualItemRect(tw->item(3, 0)).center());
    QVERIFY(!m_vvod->awaitingQuantity());
    type("vRest", QStringLiteral("7"));
    QCOMPARE(TestUtil::readFile(binFileName(table("RES"))), before);
}

void TestVvod::weightBarcodes_data()
{
    QTest::addColumn<QString>("barcode");
    QTest::addColumn<bool>("booked");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("weight by code") << QStringLiteral("2302468013579") << true
                                    << QStringList { QStringLiteral("4600000000017/024680/1.357") };
    QTest::newRow("weight by barcode") << QStringLiteral("2204680135792") << true
                                       << QStringList { QStringLiteral("2204680000000/000222/13.579") };
    // A label without weight digits proposes 0, which is always asked for.
    QTest::newRow("no weight digits") << QStringLiteral("2902468013579") << false << QStringList();
    // Decodes to a key the goods lack, but is an ordinary barcode of the goods.
    QTest::newRow("decoded key unknown") << QStringLiteral("2300000000000") << true
                                         << QStringList { QStringLiteral("2300000000000/000333/1.000") };
}

void TestVvod::weightBarcodes()
{
    QFETCH(QString, barcode);
    QFETCH(bool, booked);
    QFETCH(QStringList, lines);
    TableDescr& wgt = table("WGT");
    const auto rule = [&](const char* len, const char* prefix, const char* layout, const char* scale) {
        return makeRecord(wgt, { { "LEN", len }, { "PREFIX", prefix }, { "LAYOUT", layout }, { "SCALE", scale } });
    };
    QVERIFY(ViewFx::writeTable(binFileName(wgt), wgt,
        { rule("13", "23", "2S6A4W1S", "0"), rule("13", "22", "7A5WZ1SZ", "0"), rule("13", "29", "2S6A5S", "0") }));
    TableDescr& goods = table("TVR");
    QVERIFY(appendRec(binFileName(goods), goods,
        makeRecord(goods, { { "CODE", "000333" }, { "BAR", "2300000000000" }, { "PRICE", "1.00" } })));
    appState().user.vvod.enWeightBarCode = true;
    appState().user.vvod.enQuantitySkip = true;
    start();
    type("vBar", barcode);
    QCOMPARE(resultLines(), lines);
    QCOMPARE(m_vvod->awaitingQuantity(), !booked);
}

void TestVvod::scanWhileQuantityAwaits()
{
    start();
    m_vvod->vvBarRead(QStringLiteral("4600000000017"));
    QVERIFY(m_vvod->awaitingQuantity());
    m_vvod->vvBarRead(QStringLiteral("4600000000024"));
    QCOMPARE(m_cues, QList<Cue> { Cue::Refused });
    QVERIFY(m_vvod->awaitingQuantity());
    QCOMPARE(m_vvod->panel()->barText(), QStringLiteral("4600000000017"));
    // A keyboard scanner typing a code into the quantity line is asked about, not booked.
    m_boxes->answerNext(1);
    type("vRest", QStringLiteral("460001"));
    QCOMPARE(resultLines(), QStringList());
    QCOMPARE(m_boxes->lastText(), QStringLiteral("Количество 460001\nЗаписать?"));
    // Too long for the entry line: refused whole, never cut to fit.
    type("vRest", QStringLiteral("2"));
    m_boxes->expectMessage();
    m_vvod->vvBarRead(QString(33, QLatin1Char('4')));
    QCOMPARE(m_boxes->lastText(), QStringLiteral("Неправильный ШК/Код"));
    QCOMPARE(resultLines(), QStringList { QStringLiteral("4600000000017/024680/2.000") });
}

void TestVvod::existingResults_data()
{
    QTest::addColumn<bool>("unsent");
    QTest::addColumn<QList<int>>("answers"); // -1 Escape
    QTest::addColumn<int>("linesAfter");
    QTest::newRow("escape continues") << false << QList<int> { -1 } << 1;
    QTest::newRow("new table") << false << QList<int> { 1 } << 0;
    QTest::newRow("unsent, escape keeps") << true << QList<int> { 1, -1 } << 1;
    QTest::newRow("unsent, delete") << true << QList<int> { 1, 0 } << 0;
}

void TestVvod::existingResults()
{
    QFETCH(bool, unsent);
    QFETCH(QList<int>, answers);
    QFETCH(int, linesAfter);
    writeResult({ QStringLiteral("4600000000017/024680/3") });
    if (unsent)
        touchChangeMarker(binFileName(table("RES")));
    for (const int a : answers) {
        if (a < 0)
            m_boxes->answerEscape();
        else
            m_boxes->answerNext(a);
    }
    start();
    QCOMPARE(resultLines().size(), linesAfter);
    QCOMPARE(m_boxes->boxes().size(), answers.size());
    if (unsent)
        QCOMPARE(m_boxes->boxes().last().text, QStringLiteral("Остатки не выгружены.\nУдалить?"));
}

void TestVvod::everyWayOut_data()
{
    QTest::addColumn<QString>("way");
    for (const char* way : { "exit", "escape", "source missing", "chooser back", "row chooser back", "editor back" })
        QTest::newRow(way) << QString::fromLatin1(way);
}

void TestVvod::everyWayOut()
{
    QFETCH(QString, way);
    QSignalSpy returned(m_vvod.get(), &Vvod::returned);
    appState().user.vvod.enAddItem = true;
    if (way == QLatin1String("source missing")) {
        QFile::remove(binFileName(table("TVR")));
        m_boxes->answerNext(1); // "Выйти"
        m_vvod->vvMainMainCall();
    } else {
        start();
        QWidget* panel = m_vvod->panel();
        if (way == QLatin1String("exit")) {
            QTest::mouseClick(panel->findChild<QPushButton*>(QStringLiteral("Exit")), Qt::LeftButton);
        } else if (way == QLatin1String("escape")) {
            QTest::keyClick(panel, Qt::Key_Escape);
        } else if (way == QLatin1String("chooser back")) {
            QTest::mouseClick(panel->findChild<QPushButton*>(QStringLiteral("Search")), Qt::LeftButton);
            QVERIFY(m_vvod->chooser());
            QTest::mouseClick(
                m_vvod->chooser()->window()->findChild<QPushButton*>(QStringLiteral("Back")), Qt::LeftButton);
            QVERIFY(!m_vvod->chooser());
            QTest::keyClick(panel, Qt::Key_Escape);
        } else if (way == QLatin1String("row chooser back")) {
            type("vBar", QStringLiteral("024680"));
            type("vRest", QStringLiteral("1"));
            QTest::mouseClick(panel->findChild<QPushButton*>(QStringLiteral("Cancel")), Qt::LeftButton);
            QVERIFY(m_vvod->chooser());
            QTest::mouseClick(
                m_vvod->chooser()->window()->findChild<QPushButton*>(QStringLiteral("Back")), Qt::LeftButton);
            QTest::mouseClick(panel->findChild<QPushButton*>(QStringLiteral("Exit")), Qt::LeftButton);
        } else if (way == QLatin1String("editor back")) {
            m_boxes->answerNext(0); // "Добавить"
            type("vBar", QStringLiteral("4699999999994"));
            QVERIFY(m_vvod->editor());
            QTest::mouseClick(
                m_vvod->editor()->window()->findChild<QPushButton*>(QStringLiteral("Back")), Qt::LeftButton);
            QVERIFY(!m_vvod->editor());
            QVERIFY(m_vvod->panel()->guardOpen());
            QTest::mouseClick(panel->findChild<QPushButton*>(QStringLiteral("Exit")), Qt::LeftButton);
        }
    }
    QCOMPARE(returned.count(), 1);
    QVERIFY(appState().menuGate);
    QVERIFY(!m_vvod->active());
    QTRY_VERIFY(!m_vvod->panel());
    // Data entry opens again afterwards.
    appState().menuGate = false;
    const TableDescr& goods = table("TVR");
    if (!QFile::exists(binFileName(goods)))
        m_boxes->answerNext(0); // "Создать"
    if (QFileInfo(binFileName(table("RES"))).size() > 0)
        m_boxes->answerNext(0); // "Продолжить"
    m_vvod->vvMainMainCall();
    QVERIFY(m_vvod->panel());
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestVvod::writeFailure()
{
    start();
    type("vBar", QStringLiteral("4600000000017"));
    const FileSizeLimit limit(QFileInfo(binFileName(table("RES"))).size());
    m_boxes->expectMessage();
    type("vRest", QStringLiteral("3"));
    QCOMPARE(m_boxes->lastText(), QStringLiteral("Ошибка записи"));
    QCOMPARE(m_vvod->resultCount(), 0);
    QVERIFY(!m_vvod->awaitingQuantity());
}

void TestVvod::click(QWidget* window, const char* button)
{
    QVERIFY(window);
    auto* b = window->findChild<QPushButton*>(QLatin1String(button));
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
}

// With numbered copies the operator picks the goods directory, skips the weight codes and starts a
// result table under a new number; a number that would name a path is refused.
void TestVvod::numberedCopies()
{
    appState().user.programm.enOnDocument = true;
    QVERIFY(QFile::rename(binFileName(table("TVR")), QStringLiteral("Tovar01_TVR.BIN")));
    const QByteArray goodsName = table("TVR").pname;
    const QByteArray resultsName = table("RES").pname;
    m_vvod->vvMainMainCall();
    QVERIFY(m_vvod->chooser());
    click(m_vvod->chooser()->window(), "Case"); // the only goods directory
    QVERIFY(m_vvod->chooser());
    QCOMPARE(
        m_vvod->chooser()->window()->findChild<QPushButton*>(QStringLiteral("Back"))->text(), QStringLiteral("Дальше"));
    click(m_vvod->chooser()->window(), "Back");
    QVERIFY(m_vvod->chooser());
    for (const char* number : { "../x", "7" }) {
        click(m_vvod->chooser()->window(), "Add");
        QVERIFY(m_vvod->editor());
        auto* tw = m_vvod->editor()->window()->findChild<QTableWidget*>(QStringLiteral("TabWid"));
        tw->setCurrentCell(m_vvod->editor()->editRow(), 0);
        QTest::keyClick(tw, Qt::Key_F2);
        auto* cell = qobject_cast<QLineEdit*>(tw->indexWidget(tw->currentIndex()));
        QVERIFY(cell);
        QTest::keyClicks(cell, QString::fromLatin1(number));
        if (QByteArray(number) == "../x")
            m_boxes->expectMessage();
        click(m_vvod->editor()->window(), "Case");
    }
    QCOMPARE(m_boxes->boxes().first().text, QStringLiteral("Ошибка в колонке\nНомер"));
    QVERIFY(m_vvod->panel());
    QVERIFY(QFile::exists(QStringLiteral("Ostatki7_RES.BIN")));
    QVERIFY(!QFile::exists(QStringLiteral("Ostatki../x_RES.BIN")));
    // The copy is named by the table's own name and its number, for this session only.
    QCOMPARE(m_vvod->panel()->titleLine(), QStringLiteral("Ввод данных.") + toUi(resultsName) + QStringLiteral(" N 7"));
    QCOMPARE(table("TVR").pname, goodsName + QByteArrayLiteral(" N 01"));
    appState().user.vvod.enQuantitySkip = true;
    type("vBar", QStringLiteral("4600000000017"));
    QCOMPARE(QFileInfo(QStringLiteral("Ostatki7_RES.BIN")).size(), table("RES").recordLength);
    click(m_vvod->panel(), "Exit");
    QVERIFY(appState().menuGate);
    QCOMPARE(table("RES").pname, resultsName);
    QCOMPARE(table("TVR").pname, goodsName);
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestVvod::copyDelete_data()
{
    QTest::addColumn<bool>("results"); // the list of results, else the goods list
    QTest::addColumn<bool>("marker");
    QTest::newRow("goods") << false << true;
    QTest::newRow("unsent results") << true << true;
    QTest::newRow("sent results") << true << false;
}

// Deleting a copy from a list of data entry asks under data entry's title, says when results in
// it have not been unloaded, and takes its text, its change marker and, for goods, the index
// files with it.
void TestVvod::copyDelete()
{
    QFETCH(bool, results);
    QFETCH(bool, marker);
    appState().user.programm.enOnDocument = true;
    const QString copy = results ? QStringLiteral("Ostatki01_RES.BIN") : QStringLiteral("Tovar01_TVR.BIN");
    const QString text = results ? QStringLiteral("Ostatki01.RES") : QStringLiteral("Tovar01.TVR");
    const QStringList indexes { QStringLiteral("Bar.ndx"), QStringLiteral("Code.ndx"),
        sortedIndexFileName(QStringLiteral("Bar.ndx")), sortedIndexFileName(QStringLiteral("Code.ndx")) };
    for (const QString& file : QStringList { copy, text } + indexes)
        QVERIFY(TestUtil::writeFile(file, QByteArrayLiteral("1")));
    if (marker)
        touchChangeMarker(copy);
    m_vvod->vvMainMainCall();
    if (results) {
        click(m_vvod->chooser()->window(), "Case"); // a goods directory
        click(m_vvod->chooser()->window(), "Back"); // no weight codes
    }
    const qint32 listed = m_vvod->chooser()->recordCount();
    m_boxes->answerNext(0);
    click(m_vvod->chooser()->window(), "Delete"); // the copy comes first in its list

    QCOMPARE(m_boxes->boxes().size(), 1);
    QCOMPARE(m_boxes->lastTitle(), QStringLiteral("Ввод данных"));
    QCOMPARE(m_boxes->lastText(),
        QStringLiteral("Удалить\nсправочник?")
            + (results && marker ? QStringLiteral("\nОстатки в нём\nне выгружены.") : QString()));
    for (const QString& file : { copy, text, changeMarkerName(copy) })
        QVERIFY2(!QFile::exists(file), qPrintable(file));
    for (const QString& index : indexes)
        QVERIFY2(QFile::exists(index) == results, qPrintable(index));
    QVERIFY(QFile::exists(binFileName(table("TVR"))));
    QCOMPARE(m_vvod->chooser()->recordCount(), listed - 1);
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestVvod::chooserDeleteAsks_data()
{
    QTest::addColumn<bool>("rowChooser");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("removed");
    // The goods pick list of a count offers no deleting: no button, no question, nothing removed.
    QTest::newRow("goods, not offered") << false << 0 << 0;
    QTest::newRow("results, escape") << true << -1 << 0;
    QTest::newRow("results, yes") << true << 0 << 1;
}

void TestVvod::chooserDeleteAsks()
{
    QFETCH(bool, rowChooser);
    QFETCH(int, answer);
    QFETCH(int, removed);
    const TableDescr& t = table(rowChooser ? "RES" : "TVR");
    if (rowChooser) {
        writeResult({ QStringLiteral("4600000000017/024680/3"), QStringLiteral("4600000000024/000111/1") });
        m_boxes->answerNext(0); // "Продолжить"
    }
    start();
    const qint32 before = recordCountOf(binFileName(t), t);
    click(m_vvod->panel(), rowChooser ? "Cancel" : "Search");
    QVERIFY(m_vvod->chooser());
    QWidget* list = m_vvod->chooser()->window();
    if (!rowChooser) {
        QVERIFY(!list->findChild<QPushButton*>(QStringLiteral("Delete"))->isVisible());
        click(list, "Delete");
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(m_boxes->boxes().size(), 0);
    } else {
        if (answer < 0)
            m_boxes->answerEscape();
        else
            m_boxes->answerNext(answer);
        click(list, "Delete");
        // The question names the line (its barcode where it has no name) and its quantity.
        QCOMPARE(m_boxes->lastText(), QStringLiteral("Удалить\n4600000000024\n1?"));
    }
    QCOMPARE(recordCountOf(binFileName(t), t), before - removed);
    QVERIFY(m_vvod->chooser()); // the list stays for the next choice
    if (rowChooser)
        QCOMPARE(m_vvod->resultCount(), before - removed);
}

void TestVvod::cancelClearsPendingItem()
{
    start(true);
    type("vBar", QStringLiteral("4600000000017"));
    QVERIFY(m_vvod->awaitingQuantity());
    click(m_vvod->panel(), "Cancel");
    QVERIFY(!m_vvod->awaitingQuantity());
    QVERIFY(!m_vvod->chooser());
    QCOMPARE(m_vvod->panel()->barText(), QString());
    // An unknown code sounds its own way and books nothing.
    m_boxes->expectMessage();
    type("vBar", QStringLiteral("4699999999994"));
    QCOMPARE(m_boxes->lastText(), QStringLiteral("Товар отсутствует"));
    QCOMPARE(m_cues, QList<Cue> { Cue::NotFound });
    QCOMPARE(resultLines(), QStringList());
}

// What the README promises a newcomer: the demo's office files in the work folder, then a barcode
// and Enter twice books one piece, a weight label its weight.
void TestVvod::demoCountsAtOnce()
{
    const QString office = QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/office/in/");
    ConvFile conv;
    QVERIFY(conv.ConvertToBin(office + QStringLiteral("Tovar.tvr"), binFileName(table("TVR")), table("TVR")));
    QVERIFY(conv.ConvertToBin(office + QStringLiteral("Vescod.wgt"), binFileName(table("WGT")), table("WGT")));
    const QByteArray work = appState().workDir;
    QVERIFY(getIniFile(QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/OrtUser.ini")));
    appState().workDir = work;
    m_vvod->vvMainMainCall();
    QVERIFY(m_vvod->panel());
    for (const char* code : { "4671900930535", "2302468013579" }) {
        type("vBar", QString::fromLatin1(code));
        QVERIFY(m_vvod->awaitingQuantity());
        QTest::keyClick(m_vvod->panel()->findChild<QLineEdit*>(QStringLiteral("vRest")), Qt::Key_Return);
    }
    const QStringList lines = resultLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith(QLatin1String("4671900930535/")) && lines[0].endsWith(QLatin1String("/1.000")),
        qPrintable(lines[0]));
    QVERIFY2(lines[1].contains(QLatin1String("/024680/1.357")), qPrintable(lines[1]));
    QCOMPARE(m_boxes->unexpected(), 0);
}

// A result table without REST, or no key field anywhere, cannot book: data entry says so and
// hands the menu back instead of opening a panel that would crash on the first scan.
void TestVvod::incompleteSettingsRefuse()
{
    TableDescr& res = table("RES");
    const TableDescr saved = res;
    res.fields.removeAt(res.fieldIndex(QByteArrayLiteral("REST")));
    res.computeLayout();
    QSignalSpy returned(m_vvod.get(), &Vvod::returned);
    m_boxes->expectMessage();
    m_vvod->vvMainMainCall();
    res = saved;
    QVERIFY(!m_vvod->panel());
    QCOMPARE(returned.count(), 1);
    QCOMPARE(m_boxes->lastTitle(), QStringLiteral("Ввод данных"));
    QVERIFY(appState().menuGate);
}

void TestVvod::entryPath_data()
{
    QTest::addColumn<bool>("tablePanel");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("reason"); // empty: booked
    const QString cheese = QStringLiteral("2204680000000/000222/");
    QTest::newRow("comma, table") << true << QStringLiteral("2,5") << QString();
    QTest::newRow("comma, record") << false << QStringLiteral("2,5") << QString();
    QTest::newRow("letters") << true << QStringLiteral("2a") << QStringLiteral("В количестве только цифры");
    QTest::newRow("empty line") << false << QString() << QStringLiteral("Введите количество");
    QTest::newRow("barcode in the quantity line")
        << true << QStringLiteral("4600000000024") << QStringLiteral("Это штрихкод, не количество");
    QTest::newRow("past 32 bits") << false << QStringLiteral("2147484") << QStringLiteral("Слишком большое количество");
    QTest::newRow("four decimals") << true << QStringLiteral("0,0005")
                                   << QStringLiteral("Не больше 3 знаков после запятой");
}

// A scan shows the item's whole name and what is counted of it before any quantity; the quantity
// is booked, or refused with a reason on the panel, the refusal sound and a run-log line, the item
// still waiting.
void TestVvod::entryPath()
{
    QFETCH(bool, tablePanel);
    QFETCH(QString, typed);
    QFETCH(QString, reason);
    writeResult({ QStringLiteral("2204680000000/000222/1") });
    m_boxes->answerNext(0); // "Продолжить"
    start(tablePanel);
    const auto* name = m_vvod->panel()->findChild<QTextEdit*>(QStringLiteral("vName"));
    m_vvod->vvBarRead(QStringLiteral("2204680000000"));
    QVERIFY(m_vvod->awaitingQuantity());
    if (tablePanel) {
        QCOMPARE(m_vvod->panel()->titleLine(), QStringLiteral("Сыр весовой: 1"));
    } else {
        QCOMPARE(name->toPlainText(), QStringLiteral("Сыр весовой"));
        QCOMPARE(label("vDocTovRest"), QStringLiteral("1.000"));
    }

    type("vRest", typed);
    const QStringList before { QStringLiteral("2204680000000/000222/1.000") };
    if (reason.isEmpty()) {
        QCOMPARE(resultLines(), before + QStringList { QStringLiteral("2204680000000/000222/2.500") });
        QVERIFY(!m_vvod->awaitingQuantity());
        QCOMPARE(m_cues, QList<Cue>());
        QCOMPARE(m_vvod->panel()->titleLine(), QStringLiteral("Записано Сыр весовой: 3.5"));
        // The single-record panel keeps the booking on screen until the next code.
        if (!tablePanel) {
            QCOMPARE(name->toPlainText(), QStringLiteral("Сыр весовой"));
            QCOMPARE(label("vDocTovRest"), QStringLiteral("3.500"));
        }
        return;
    }
    QCOMPARE(resultLines(), before);
    QVERIFY(m_vvod->awaitingQuantity());
    QCOMPARE(m_vvod->panel()->titleLine(), reason);
    QCOMPARE(m_cues, QList<Cue> { Cue::Refused });
    QVERIFY(TestUtil::readFile(m_log).contains(fromUi(QStringLiteral("vvCntOk:refused ") + reason)));
    QCOMPARE(m_boxes->unexpected(), 0);
}

// A new item has no row yet: the line under the table names it, not the row selected before.
void TestVvod::newItemNamedUnderTable()
{
    writeResult({ QStringLiteral("4600000000017/024680/1") });
    m_boxes->answerNext(0); // "Продолжить"
    start(true);
    const auto* rowName = m_vvod->panel()->findChild<QLabel*>(QStringLiteral("RowName"));
    QTest::keyClick(m_vvod->panel()->findChild<QLineEdit*>(QStringLiteral("vBar")), Qt::Key_Up);
    QCOMPARE(rowName->text(), QStringLiteral("4600000000017")); // a line without a name shows its key
    m_vvod->vvBarRead(QStringLiteral("4600000000024"));
    QVERIFY(m_vvod->awaitingQuantity());
    QCOMPARE(rowName->text(), QStringLiteral("Соль"));
    type("vRest", QStringLiteral("x"));
    QCOMPARE(rowName->text(), QStringLiteral("Соль"));
}

// Up and Down walk the result lines, Return opens the selected one, F1 and F2 are the two buttons.
void TestVvod::keypadCorrection()
{
    appState().user.vvod.enQuantitySkip = true;
    start(true);
    VvodPanelWin* panel = m_vvod->panel();
    QCOMPARE(panel->findChild<QPushButton*>(QStringLiteral("Cancel"))->text(), QStringLiteral("F1 Отмена"));
    QCOMPARE(panel->findChild<QPushButton*>(QStringLiteral("Search"))->text(), QStringLiteral("F2 Подбор"));
    type("vBar", QStringLiteral("4600000000017"));
    type("vBar", QStringLiteral("4600000000024"));
    auto* bar = panel->findChild<QLineEdit*>(QStringLiteral("vBar"));
    QTRY_VERIFY(bar->hasFocus());
    QTest::keyClick(bar, Qt::Key_Up); // the last line
    QCOMPARE(panel->titleLine(), QStringLiteral("Соль: 1"));
    QTest::keyClick(bar, Qt::Key_Up);
    QTest::keyClick(bar, Qt::Key_Up); // stays on the first
    QCOMPARE(panel->titleLine(), QStringLiteral("Сахар: 1"));
    QTest::keyClick(bar, Qt::Key_Return);
    QVERIFY(m_vvod->awaitingQuantity());
    QCOMPARE(panel->restText(), QStringLiteral("1"));
    type("vRest", QStringLiteral("5"));
    QCOMPARE(resultLines(),
        QStringList({ QStringLiteral("4600000000017/024680/5.000"), QStringLiteral("4600000000024/000111/1.000") }));

    QTest::keyClick(bar, Qt::Key_F2);
    QVERIFY(m_vvod->chooser());
    QTest::mouseClick(m_vvod->chooser()->window()->findChild<QPushButton*>(QStringLiteral("Back")), Qt::LeftButton);
    QTRY_VERIFY(!m_vvod->chooser());
    // Tab reaches the buttons and Return presses the one reached.
    auto* search = panel->findChild<QPushButton*>(QStringLiteral("Search"));
    for (int i = 0; i < 12 && !search->hasFocus(); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(search->hasFocus());
    QTest::keyClick(search, Qt::Key_Return);
    QVERIFY(m_vvod->chooser());
    QTest::mouseClick(m_vvod->chooser()->window()->findChild<QPushButton*>(QStringLiteral("Back")), Qt::LeftButton);
    QTRY_VERIFY(!m_vvod->chooser());
    QTest::keyClick(bar, Qt::Key_F1);
    QVERIFY(m_vvod->chooser()); // the row chooser
    QCOMPARE(m_boxes->unexpected(), 0);
}

void TestVvod::enterKeepsWork_data()
{
    QTest::addColumn<QString>("question");
    QTest::newRow("unsent results") << QStringLiteral("Остатки не выгружены.\nУдалить?");
    QTest::newRow("result line") << QStringLiteral("Удалить\n4600000000017\n3?");
    QTest::newRow("leaving with a quantity awaited") << QStringLiteral("Количество не записано.\nВыйти?");
}

// Enter on a question whose one answer throws work away keeps the work.
void TestVvod::enterKeepsWork()
{
    QFETCH(QString, question);
    writeResult({ QStringLiteral("4600000000017/024680/3") });
    touchChangeMarker(binFileName(table("RES")));
    m_boxes->answerNext(question.startsWith(QStringLiteral("Остатки")) ? 1 : 0); // "Созд.новый" or "Продолжить"
    m_boxes->answerEnter();
    start();
    if (question.startsWith(QStringLiteral("Удалить"))) {
        click(m_vvod->panel(), "Cancel");
        click(m_vvod->chooser()->window(), "Delete");
    } else if (question.startsWith(QStringLiteral("Количество"))) {
        type("vBar", QStringLiteral("4600000000017"));
        QTest::keyClick(m_vvod->panel(), Qt::Key_Escape);
        QVERIFY(m_vvod->active());
        QVERIFY(m_vvod->awaitingQuantity());
    }
    QCOMPARE(m_boxes->lastText(), question);
    QCOMPARE(resultLines(), QStringList { QStringLiteral("4600000000017/024680/3.000") });
    QCOMPARE(m_boxes->unexpected(), 0);
}

// With "Скан подтверждает количество" the next scan books the item waiting with the quantity shown;
// "Подбор" never drops it.
void TestVvod::scanWhileAwaitedConfirms()
{
    appState().user.vvod.enScanConfirms = true;
    start(true);
    m_vvod->vvBarRead(QStringLiteral("4600000000017"));
    m_vvod->panel()->setRestText(QStringLiteral("1,5"));
    m_vvod->vvBarRead(QStringLiteral("4600000000024"));
    QCOMPARE(resultLines(), QStringList { QStringLiteral("4600000000017/024680/1.500") });
    QVERIFY(m_vvod->awaitingQuantity());
    QCOMPARE(m_vvod->panel()->barText(), QStringLiteral("4600000000024"));
    click(m_vvod->panel(), "Search");
    QVERIFY(!m_vvod->chooser());
    QVERIFY(m_vvod->awaitingQuantity());
    QCOMPARE(m_vvod->panel()->titleLine(), QStringLiteral("Подтвердите количество"));
    QVERIFY(m_vvod->panel()->guardOpen());
}

// A weighing of goods the directory lacks offers the goods item under the key decoded from the
// label, never under the label itself.
void TestVvod::weightLabelOfUnknownGoods()
{
    TableDescr& wgt = table("WGT");
    QVERIFY(ViewFx::writeTable(binFileName(wgt), wgt,
        { makeRecord(wgt, { { "LEN", "13" }, { "PREFIX", "23" }, { "LAYOUT", "2S6A4W1S" }, { "SCALE", "0" } }) }));
    appState().user.vvod.enWeightBarCode = true;
    appState().user.vvod.enAddItem = true;
    start();
    m_boxes->answerNext(0); // "Добавить"
    type("vBar", QStringLiteral("2399999013579"));
    QVERIFY(m_vvod->editor());
    QStringList cells;
    const auto* grid = m_vvod->editor()->window()->findChild<QTableWidget*>(QStringLiteral("TabWid"));
    for (int r = 0; r < grid->rowCount(); ++r)
        for (int c = 0; c < grid->columnCount(); ++c)
            if (grid->item(r, c))
                cells << grid->item(r, c)->text().trimmed();
    QVERIFY2(cells.contains(QStringLiteral("999990")), qPrintable(cells.join(QLatin1Char('|'))));
    QVERIFY(!cells.contains(QStringLiteral("2399999013579")));
}

// "Созд.новый" that cannot take the old table's change marker away stops with a box instead of
// counting on under a marker of unsent results.
void TestVvod::newTableWhenMarkerStays()
{
    writeResult({ QStringLiteral("4600000000017/024680/3") });
    const QString marker = changeMarkerName(binFileName(table("RES")));
    QVERIFY(QDir().mkpath(marker + QStringLiteral("/in-the-way")));
    m_boxes->answerNext(1); // "Созд.новый"
    m_boxes->answerNext(0); // "Удалить"
    m_boxes->expectMessage();
    QSignalSpy returned(m_vvod.get(), &Vvod::returned);
    m_vvod->vvMainMainCall();
    QCOMPARE(m_boxes->lastText(), QStringLiteral("Справочник остатков\n не удалён"));
    QVERIFY(!m_vvod->panel());
    QCOMPARE(returned.count(), 1);
}

// A result field narrower than the key cannot hold it whole: the line of another item whose key
// begins the same is never taken for this one.
void TestVvod::resultLineByWholeKey()
{
    TableDescr& res = table("RES");
    struct Restore {
        TableDescr& table;
        const TableDescr saved;
        ~Restore() { table = saved; }
    } restore { res, res };
    res.fields[res.fieldIndex(QByteArrayLiteral("BAR"))].length = 8;
    res.computeLayout();
    appState().user.vvod.enSumRepeated = true;
    appState().user.vvod.enQuantitySkip = true;
    start();
    type("vBar", QStringLiteral("4600000000017"));
    type("vBar", QStringLiteral("4600000000024"));
    QCOMPARE(m_vvod->resultCount(), 2);
    m_vvod.reset();
}

// A barcode as long as the lookup takes (the field's stored width) can be added as a new item.
void TestVvod::newItemKeyLimit()
{
    appState().user.vvod.enAddItem = true;
    start();
    const FieldDescr& bar = table("TVR").fields[table("TVR").fieldIndex(QByteArrayLiteral("BAR"))];
    QVERIFY(bar.width > bar.length);
    m_boxes->answerNext(0); // "Добавить"
    type("vBar", QString(bar.width, QLatin1Char('7')));
    QVERIFY(m_vvod->editor());
    QCOMPARE(m_boxes->unexpected(), 0);
}

// Codes a scanner sends through a pipe arrive without a key: booked by data entry, searched for by
// the goods chooser while it is open over it. The scan key with no code never blocks the program;
// Escape ends its wait and not data entry.
void TestVvod::scannerCodesArriveByThemselves()
{
    const QByteArray fifo = QFile::encodeName(m_dir->filePath(QStringLiteral("scan.fifo")));
    installScanner(makeScanner(QStringLiteral("pipe:") + QFile::decodeName(fifo)));
    QVERIFY(initScanner());
    const auto send = [&fifo](const QByteArray& bytes) {
        const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        ::close(fd);
    };
    const QString waitLine = QStringLiteral("Ожидание сканирования");
    ScanFeed& feed = ScanFeed::instance();
    appState().user.vvod.enQuantitySkip = true;
    start(true);
    VvodPanelWin* panel = m_vvod->panel();

    send("4600000000017\n");
    QTRY_COMPARE(resultLines(), QStringList { QStringLiteral("4600000000017/024680/1.000") });

    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(panel, Qt::Key_Print);
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(feed.waiting());
    QVERIFY2(panel->titleLine().startsWith(waitLine), qPrintable(panel->titleLine()));
    bool ticked = false;
    QTimer::singleShot(20, panel, [&ticked] { ticked = true; });
    QTRY_VERIFY(ticked);
    QVERIFY(feed.waiting());
    QTest::keyClick(panel, Qt::Key_Escape);
    QVERIFY(!feed.waiting());
    QVERIFY(m_vvod->active());
    QCOMPARE(m_vvod->panel(), panel);
    QVERIFY(!panel->titleLine().startsWith(waitLine));

    // A code during the wait ends it and is taken.
    QTest::keyClick(panel, Qt::Key_Print);
    send("4600000000024\r\n");
    QTRY_COMPARE(resultLines().size(), 2);
    QCOMPARE(resultLines().last(), QStringLiteral("4600000000024/000111/1.000"));
    QVERIFY(!feed.waiting());

    click(panel, "Search");
    QVERIFY(m_vvod->chooser());
    auto* searchText = m_vvod->chooser()->window()->findChild<QLineEdit*>(QStringLiteral("ColText"));
    QVERIFY(searchText);
    send("000111\n");
    QTRY_COMPARE(searchText->text(), QStringLiteral("000111"));
    QCOMPARE(m_vvod->chooser()->chosenRecord(), 1);
    QCOMPARE(resultLines().size(), 2);
}

// Receiving names the receipt, says which goods are not on it, and shows what the receipt lists of
// an item (over all its lines) beside what has come so far.
void TestVvod::receiving_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("box"); // the box the code brings, empty for none
    QTest::addColumn<QString>("shown"); // the title line with the item awaiting its quantity
    QTest::addColumn<QString>("booked"); // the title line after 6 more are booked
    QTest::newRow("on the receipt in two lines")
        << QStringLiteral("4600000000017") << QString() << QStringLiteral("Сахар: по накладной 18, принято 4")
        << QStringLiteral("Записано Сахар: по накладной 18, принято 10");
    QTest::newRow("by its code") << QStringLiteral("000222") << QString()
                                 << QStringLiteral("Сыр весовой: по накладной 2.5, принято 0")
                                 << QStringLiteral("Записано Сыр весовой: по накладной 2.5, принято 6");
    QTest::newRow("in the goods, not on the receipt")
        << QStringLiteral("4600000000024") << QStringLiteral("Нет в накладной") << QString() << QString();
    QTest::newRow("nowhere") << QStringLiteral("4699999999999") << QStringLiteral("Товар отсутствует") << QString()
                             << QString();
}

void TestVvod::receiving()
{
    QFETCH(QString, code);
    QFETCH(QString, box);
    QFETCH(QString, shown);
    QFETCH(QString, booked);
    TableDescr& receipt = table("PRH");
    const auto line = [&receipt](const Item& item, const char* rest) {
        return makeRecord(receipt,
            { { "CODE", item.code }, { "BAR", item.bar }, { "NAME", TestUtil::cp(item.name) }, { "PRICE", item.price },
                { "REST", rest } });
    };
    QVERIFY(ViewFx::writeTable(
        binFileName(receipt), receipt, { line(Goods[0], "10"), line(Goods[2], "2.5"), line(Goods[0], "8") }));
    TableDescr& res = table("RES");
    QVERIFY(ViewFx::writeTable(binFileName(res), res,
        { makeRecord(res,
            { { "BAR", Goods[0].bar }, { "CODE", Goods[0].code }, { "NAME", TestUtil::cp(Goods[0].name) },
                { "REST", "4" } }) }));
    appState().user.programm.programm = true;
    appState().user.vvod.enSumRepeated = true;
    m_boxes->answerNext(0); // "Продолжить"
    start(true);
    QCOMPARE(m_vvod->panel()->titleLine(), QStringLiteral("Приход: Приходная накладная"));
    if (!box.isEmpty())
        m_boxes->expectMessage();
    type("vBar", code);
    if (!box.isEmpty()) {
        QCOMPARE(m_boxes->lastText(), box);
        QVERIFY(!m_vvod->awaitingQuantity());
        return;
    }
    QCOMPARE(m_vvod->panel()->titleLine(), shown);
    type("vRest", QStringLiteral("6"));
    QCOMPARE(m_vvod->panel()->titleLine(), booked);
    QCOMPARE(m_boxes->unexpected(), 0);
}

QTEST_MAIN(TestVvod)
#include "tst_vvod.moc"
