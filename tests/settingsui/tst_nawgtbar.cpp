#include "AppState.h"
#include "DescrRegistry.h"
#include "FieldCodec.h"
#include "NaWgtbar.h"
#include "ProsmAdd.h"
#include "ProsmCase.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "ScriptedResponder.h"
#include "SettingsFiles.h"
#include "TableFiles.h"
#include "TestUtil.h"
#include "ViewingFixtures.h"
#include "Vvod.h"
#include "VvodPanelWin.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QtEndian>

#include <memory>

namespace {

TableDescr& table(const char* extension)
{
    return *descrRegistry().table(QByteArray(extension));
}

// A weight code from its line of text, "length;prefix;layout;scale".
QByteArray weightCode(const QString& line)
{
    return ViewFx::record(table("WGT"), line.toUtf8().constData());
}

void click(QWidget* window, const char* name)
{
    auto* button = window ? window->findChild<QPushButton*>(QLatin1String(name)) : nullptr;
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace

class TestNaWgtbar : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void browserScreen();
    void editedCodeDecodes_data();
    void editedCodeDecodes();
    void neverMatchingRefused_data();
    void neverMatchingRefused();
    void numberedCopies();

private:
    // Types the cells of the record editor's row, one per view column, and presses "Записать".
    void typeRowAndSave(const QStringList& cells);
    QWidget* browserWindow() const { return m_wgt->browser() ? m_wgt->browser()->window() : nullptr; }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedResponder> m_boxes;
    std::unique_ptr<NaWgtbar> m_wgt;
};

void TestNaWgtbar::initTestCase()
{
    QVERIFY(getIniFile(QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/OrtSystem.ini")));
}

void TestNaWgtbar::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    TestUtil::openRunLogIn(m_dir->path());
    AppState& state = appState();
    state.appDir = state.workDir = QFile::encodeName(m_dir->path());
    state.user = UserSettings();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_boxes = std::make_unique<ScriptedResponder>();
    m_wgt = std::make_unique<NaWgtbar>();
}

void TestNaWgtbar::cleanup()
{
    m_wgt.reset();
    m_boxes.reset();
    RunLog::instance().close();
    QDir::setCurrent(QDir::tempPath());
    m_dir.reset();
}

void TestNaWgtbar::typeRowAndSave(const QStringList& cells)
{
    QVERIFY(m_wgt->editor());
    QWidget* win = m_wgt->editor()->window();
    auto* tw = win->findChild<QTableWidget*>(QStringLiteral("TabWid"));
    for (int column = 0; column < cells.size(); ++column) {
        tw->setCurrentCell(m_wgt->editor()->editRow(), column);
        if (!tw->indexWidget(tw->currentIndex()))
            QTest::keyClick(tw, Qt::Key_F2);
        auto* line = qobject_cast<QLineEdit*>(tw->indexWidget(tw->currentIndex()));
        QVERIFY(line);
        line->selectAll();
        QTest::keyClick(line, Qt::Key_Delete);
        ViewFx::typeText(line, cells[column]);
    }
    click(win, "Case");
}

void TestNaWgtbar::browserScreen()
{
    m_wgt->naMain();
    QVERIFY(browserWindow());
    ViewFx::screen(browserWindow(), "weight-codes");
    const auto* help = browserWindow()->findChild<QTextEdit*>(QStringLiteral("Help"));
    QVERIFY(help->toPlainText().startsWith(
        QStringLiteral("Дл - длина весового\n    штрихкода.\nПреф - префикс весового\n   штрихкода.")));
    // Every line fits the help area of the terminal's 240-pixel screen without wrapping.
    const QFontMetrics metrics(help->font());
    for (const QString& line : help->toPlainText().split(QLatin1Char('\n')))
        QVERIFY2(metrics.horizontalAdvance(line) <= help->viewport()->width() - 8, qPrintable(line));
}

void TestNaWgtbar::editedCodeDecodes_data()
{
    QTest::addColumn<QString>("before"); // a weight code already there, changed instead of added
    QTest::addColumn<QString>("typed"); // length;prefix;layout;scale as typed
    QTest::addColumn<QString>("barcode");
    QTest::addColumn<QByteArray>("code"); // the goods code of the booked line
    QTest::addColumn<qint32>("quantity");
    QTest::newRow("code and weight") << QString() << QStringLiteral("13;23;2S6A4W1S;0")
                                     << QStringLiteral("2302468013579") << QByteArray("024680") << 1357;
    QTest::newRow("barcode with zeros") << QString() << QStringLiteral("13;22;7A5WZ1SZ;0")
                                        << QStringLiteral("2204680135792") << QByteArray("000222") << 13579;
    QTest::newRow("scaled weight") << QString() << QStringLiteral("13;21;2S6A1S3W1S;3")
                                   << QStringLiteral("2102468013579") << QByteArray("024680") << 357000;
    QTest::newRow("changed, lower case") << QStringLiteral("13;23;2S6A5W;0") << QStringLiteral("13;23;2s6a4w1s;0")
                                         << QStringLiteral("2302468013579") << QByteArray("024680") << 1357;
}

void TestNaWgtbar::editedCodeDecodes()
{
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(QString, barcode);
    QFETCH(QByteArray, code);
    QFETCH(qint32, quantity);
    TableDescr& goods = table("TVR");
    QVERIFY(ViewFx::writeTable(binFileName(goods), goods,
        { ViewFx::record(goods, "024680;4600000000017;;1.00;0"),
            ViewFx::record(goods, "000222;2204680000000;;1.00;0") }));
    TableDescr& wgt = table("WGT");
    QList<QByteArray> codes;
    if (!before.isEmpty())
        codes << weightCode(before);
    QVERIFY(ViewFx::writeTable(binFileName(wgt), wgt, codes));

    m_wgt->naMain();
    click(browserWindow(), before.isEmpty() ? "Add" : "Case");
    typeRowAndSave(typed.split(QLatin1Char(';')));
    QVERIFY(!m_wgt->editor());
    QSignalSpy left(m_wgt.get(), &NaWgtbar::WgtbarExit);
    click(browserWindow(), "Back");
    QCOMPARE(left.count(), 1);

    // Data entry, started afterwards, books what the new code reads from the scale's label.
    UserSettings& user = appState().user;
    user.vvod.enWeightBarCode = user.vvod.enQuantitySkip = true;
    user.vvod.vvodPanel = 1;
    Vvod vvod;
    vvod.vvMainMainCall();
    QVERIFY(vvod.panel());
    auto* bar = vvod.panel()->findChild<QLineEdit*>(QStringLiteral("vBar"));
    QTest::keyClicks(bar, barcode);
    QTest::keyClick(bar, Qt::Key_Return);
    const TableDescr& res = table("RES");
    QByteArray line;
    QVERIFY(readRec(binFileName(res), res, 0, line));
    QCOMPARE(fieldToText(res.fields[res.fieldIndex("CODE")], line).trimmed(), code);
    QCOMPARE(qFromLittleEndian<qint32>(line.constData() + res.fields[res.fieldIndex("REST")].offset), quantity);
}

void TestNaWgtbar::neverMatchingRefused_data()
{
    QTest::addColumn<bool>("change"); // change the code already there instead of adding one
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("refused");
    QTest::newRow("unknown letter") << false << QStringLiteral("13;23;2S6A4X1S;0") << true;
    QTest::newRow("count without a letter") << false << QStringLiteral("13;23;2S6A4;0") << true;
    QTest::newRow("reads past the length") << false << QStringLiteral("12;23;2S6A4W1S;0") << true;
    QTest::newRow("no goods key") << false << QStringLiteral("13;23;2S4W7S;0") << true;
    QTest::newRow("changed to an unknown letter") << true << QStringLiteral("13;23;2S6A4W1Q;0") << true;
    QTest::newRow("lower case is fine") << false << QStringLiteral("13;23;2s6a4w1s;0") << false;
}

void TestNaWgtbar::neverMatchingRefused()
{
    QFETCH(bool, change);
    QFETCH(QString, typed);
    QFETCH(bool, refused);
    TableDescr& wgt = table("WGT");
    QVERIFY(ViewFx::writeTable(binFileName(wgt), wgt, { weightCode(QStringLiteral("13;22;7A5WZ1SZ;0")) }));
    const QByteArray before = TestUtil::readFile(binFileName(wgt));

    m_wgt->naMain();
    click(browserWindow(), change ? "Case" : "Add");
    if (refused)
        m_boxes->expectMessage();
    const QStringList cells = typed.split(QLatin1Char(';'));
    typeRowAndSave(cells);
    if (!refused) {
        QCOMPARE(recordCountOf(binFileName(wgt), wgt), 2);
        return;
    }
    QCOMPARE(m_boxes->lastText(), QStringLiteral("Раскладка\n%1\nне подходит\nни к одному штрихкоду").arg(cells[2]));
    QCOMPARE(TestUtil::readFile(binFileName(wgt)), before);
    // The editor stays open with the operator's text, to be mended.
    QVERIFY(m_wgt->editor());
    QVERIFY(m_wgt->editor()->window());
}

void TestNaWgtbar::numberedCopies()
{
    appState().user.programm.enOnDocument = true;
    TableDescr& wgt = table("WGT");
    const QByteArray pname = wgt.pname;
    QVERIFY(ViewFx::writeTable(
        QStringLiteral("Vescod01_WGT.BIN"), wgt, { weightCode(QStringLiteral("13;23;2S6A4W1S;0")) }));
    QVERIFY(TestUtil::writeFile(QStringLiteral("Vescod01.WGT"), "13;23;2S6A4W1S;0\r\n"));
    m_wgt->naMain();
    QCOMPARE(browserWindow()->findChild<QLabel*>(QStringLiteral("UserTitle"))->text(),
        QStringLiteral("Выбор справочника вес.кодов"));

    // A new number: the hint, then a copy of that number to fill.
    click(browserWindow(), "Add");
    QWidget* editor = m_wgt->editor()->window();
    QCOMPARE(editor->findChild<QTextEdit*>(QStringLiteral("Help"))->toPlainText(),
        QStringLiteral("Заполните поле Номер\nи нажмите кнопку Записать"));
    typeRowAndSave({ QStringLiteral("02") });
    QCOMPARE(m_wgt->file(), QStringLiteral("Vescod02_WGT.BIN"));
    click(browserWindow(), "Add");
    typeRowAndSave(QStringLiteral("13;21;2S6A1S3W1S;3").split(QLatin1Char(';')));
    QCOMPARE(recordCountOf(QStringLiteral("Vescod02_WGT.BIN"), wgt), 1);
    click(browserWindow(), "Back");

    // Deleting copy 01 removes its table, its text and nothing else.
    const TableDescr& tab = table("TAB");
    int row = -1;
    QByteArray record;
    for (int r = 0; readRec(binFileName(tab), tab, r, record); ++r)
        if (fieldToText(tab.fields[tab.fieldIndex("NAME")], record).trimmed() == "Vescod01_WGT.BIN")
            row = r;
    QVERIFY(row >= 0);
    m_wgt->browser()->cellClicked(row, 0);
    m_boxes->answerNext(0);
    click(browserWindow(), "Delete");
    QVERIFY(!QFile::exists(QStringLiteral("Vescod01_WGT.BIN")));
    QVERIFY(!QFile::exists(QStringLiteral("Vescod01.WGT")));
    QVERIFY(QFile::exists(QStringLiteral("Vescod02_WGT.BIN")));

    QSignalSpy left(m_wgt.get(), &NaWgtbar::WgtbarExit);
    click(browserWindow(), "Back");
    QCOMPARE(left.count(), 1);
    QCOMPARE(wgt.pname, pname);
    QVERIFY(!QFile::exists(binFileName(tab)));
}

QTEST_MAIN(TestNaWgtbar)
#include "tst_nawgtbar.moc"
