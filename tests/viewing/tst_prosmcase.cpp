#include "AppState.h"
#include "Codec.h"
#include "FakeScanner.h"
#include "ProsmCase.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "ScanFeed.h"
#include "Scanner.h"
#include "ScriptedResponder.h"
#include "ViewingFixtures.h"

#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <memory>

namespace {

const QString Title = QStringLiteral("Товары");

struct Options {
    ProsmCase::WindowKind kind = ProsmCase::KindFile;
    bool caseDisabled = false, deleteDisabled = false, addDisabled = false;
    qint32 start = 0;
    bool localDelete = false;
    QString help;
    QString deleteText = QStringLiteral("Удалить");
};

Options at(qint32 start, bool localDelete = false, ProsmCase::WindowKind kind = ProsmCase::KindFile)
{
    Options o;
    o.kind = kind;
    o.start = start;
    o.localDelete = localDelete;
    return o;
}

Options readOnlyOptions()
{
    Options o;
    o.caseDisabled = o.deleteDisabled = o.addDisabled = true;
    return o;
}

// Items of a column chooser, "|" between them.
QStringList words(const char* utf8)
{
    return QString::fromUtf8(utf8).split(QLatin1Char('|'));
}

// One open browser with spies on its signals and its widgets found by object name.
struct Screen {
    Screen(const QString& file, TableDescr& table, ViewDescr& view, const Options& o = {})
    {
        ProsmCase::Options options;
        options.caseText = QStringLiteral("Выбрать");
        options.deleteText = o.deleteText;
        options.addText = QStringLiteral("Добавить");
        options.backText = QStringLiteral("Назад");
        options.helpText = o.help;
        options.caseDisabled = o.caseDisabled;
        options.deleteDisabled = o.deleteDisabled;
        options.addDisabled = o.addDisabled;
        options.localDelete = o.localDelete;
        options.startRecord = o.start;
        switch (o.kind) {
        case ProsmCase::KindFile:
            browser.mainTabFile(file, table, view, Title, options);
            break;
        case ProsmCase::KindHelp:
            browser.mainTabHelp(file, table, view, Title, options);
            break;
        case ProsmCase::KindTab:
            browser.mainTabTab(file, table, view, Title, options);
            break;
        }
        win = browser.window();
        tw = get<QTableWidget>("TabWid");
        bar = get<QScrollBar>("ScrollBar");
        text = win->findChild<QLineEdit*>(QStringLiteral("ColText"));
        header = win->findChild<QComboBox*>(QStringLiteral("ColHeader"));
    }
    template <class T>
    T* get(const char* name) const
    {
        T* w = win ? win->findChild<T*>(QLatin1String(name)) : nullptr;
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }
    QString cell(int row, int column = 0) const
    {
        const QTableWidgetItem* item = tw->item(row, column);
        return item ? item->text().trimmed() : QString();
    }
    QList<int> selected() const
    {
        QList<int> rows;
        const QModelIndexList list = tw->selectionModel()->selectedRows();
        for (const QModelIndex& i : list)
            rows << i.row();
        return rows;
    }
    void click(const char* button) { QTest::mouseClick(get<QPushButton>(button), Qt::LeftButton); }
    void clickRow(int row)
    {
        QTest::mouseClick(tw->viewport(), Qt::LeftButton, {}, tw->visualItemRect(tw->item(row, 0)).center());
    }
    bool choiceEnabled() const
    {
        return get<QPushButton>("Case")->isEnabled() && get<QPushButton>("Delete")->isEnabled();
    }
    void searchFor(const QString& what)
    {
        text->selectAll();
        ViewFx::typeText(text, what);
        QTest::keyClick(text, Qt::Key_Return);
    }

    ProsmCase browser;
    QPointer<QWidget> win;
    QTableWidget* tw = nullptr;
    QScrollBar* bar = nullptr;
    QLineEdit* text = nullptr;
    QComboBox* header = nullptr;
    QSignalSpy chosen { &browser, &ProsmCase::snCaseRec };
    QSignalSpy deleted { &browser, &ProsmCase::snDelRec };
    QSignalSpy added { &browser, &ProsmCase::snAddRec };
    QSignalSpy left { &browser, &ProsmCase::snExit };
};

// Records for the search cases: codes, barcodes and names chosen so that prefix and whole-value
// matches differ, and so that one text is a code of one record and a barcode of another.
QList<QByteArray> searchRecords(const TableDescr& t)
{
    return { ViewFx::record(t, "500;4600000000001;Хлеб белый;10.00;1"),
        ViewFx::record(t, "1234;4600000000002;Молоко;12.50;1"),
        ViewFx::record(t, "12;4600000000003;Молоко топлёное;12.55;1"), ViewFx::record(t, "900;777;Сыр;300.00;1"),
        ViewFx::record(t, "901;500;Масло;150.00;1") };
}

} // namespace

class TestProsmCase : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void fewerRecordsThanRows();
    void pagingKeepsOneRecordOverlap();
    void choiceNeedsARow_data();
    void choiceNeedsARow();
    void clickBelowLastRecord();
    void startBeyondTheEnd();
    void search_data();
    void search();
    void combinedTextAsLongAsCode_data();
    void combinedTextAsLongAsCode();
    void unreadableFile_data();
    void unreadableFile();
    void returnAfterSearchChooses();
    void columnChooser_data();
    void columnChooser();
    void columnChangeScrollsToItsColumn();
    void scanKey();
    void localDelete_data();
    void localDelete();
    void deleteBySignalAndFailure();
    void buttonOptions();
    void leaving_data();
    void leaving();
    void helpKindKeepsItsWindow();
    void runLogLines();
    void millionRecords();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
    TableDescr m_table;
    ViewDescr m_view;
    int m_rows = 0; // rows of the file kind on this screen
};

void TestProsmCase::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    TestUtil::openRunLogIn(m_dir->path());
    m_file = m_dir->filePath(QStringLiteral("GOODS_tvr.bin"));
    m_table = ViewFx::goods();
    m_view = ViewFx::goodsView();
    appState().user.vvod.searchOrder = 0;
    if (m_rows == 0) {
        QVERIFY(ViewFx::writeGoods(m_file, m_table, 1));
        Screen probe(m_file, m_table, m_view);
        m_rows = probe.browser.rows();
        QVERIFY(m_rows >= 3);
    }
}

void TestProsmCase::cleanup()
{
    RunLog::instance().close();
    m_dir.reset();
}

void TestProsmCase::fewerRecordsThanRows()
{
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 3));
    Screen s(m_file, m_table, m_view);
    QCOMPARE(s.cell(0), QStringLiteral("1000"));
    QCOMPARE(s.cell(2, 1), QStringLiteral("Товар 2"));
    QCOMPARE(s.cell(3), QString());
    QCOMPARE(s.selected(), QList<int> { 0 });
    QVERIFY(s.choiceEnabled());
    ViewFx::screen(s.win, "browser-three-records");

    s.bar->setValue(2);
    QCOMPARE(s.browser.topRecord(), 0);
    QCOMPARE(s.cell(0), QStringLiteral("1000"));
    s.click("End");
    QCOMPARE(s.cell(0), QStringLiteral("1000"));
    QCOMPARE(s.selected(), QList<int> { 2 });
    QCOMPARE(s.browser.currentRecord(), 2);
}

// With seven records more than rows, the end page starts at record 7, as 12 records on 5 rows do.
void TestProsmCase::pagingKeepsOneRecordOverlap()
{
    const int count = m_rows + 7;
    QVERIFY(ViewFx::writeGoods(m_file, m_table, count));
    Screen s(m_file, m_table, m_view);
    QCOMPARE(s.tw->rowCount(), m_rows);

    s.click("End");
    QCOMPARE(s.cell(0), QStringLiteral("1007"));
    QCOMPARE(s.cell(m_rows - 1), QString::number(1000 + count - 1));
    QCOMPARE(s.selected(), QList<int> { m_rows - 1 });
    QCOMPARE(s.bar->value(), 7);
    ViewFx::screen(s.win, "browser-end");

    s.click("PgUp");
    QCOMPARE(s.browser.currentRecord(), 7);
    QCOMPARE(s.cell(0), QStringLiteral("1007"));
    QCOMPARE(s.selected(), QList<int> { 0 });

    s.click("PgUp");
    QCOMPARE(s.browser.currentRecord(), 7 - (m_rows - 1));
    QCOMPARE(s.browser.topRecord(), 7 - (m_rows - 1));
    s.click("PgDown");
    QCOMPARE(s.browser.currentRecord(), 7);
    QCOMPARE(s.selected(), QList<int> { m_rows - 1 });
    s.click("PgDown");
    s.click("PgDown");
    QCOMPARE(s.browser.currentRecord(), count - 1);
    s.click("Home");
    QCOMPARE(s.cell(0), QStringLiteral("1000"));
    QCOMPARE(s.selected(), QList<int> { 0 });
    QTest::keyClick(s.tw, Qt::Key_Up);
    QCOMPARE(s.browser.currentRecord(), 0);
    for (int i = 0; i < m_rows; ++i)
        QTest::keyClick(s.tw, Qt::Key_Down);
    QCOMPARE(s.browser.topRecord(), 1);
    QCOMPARE(s.selected(), QList<int> { m_rows - 1 });
    QCOMPARE(s.cell(m_rows - 1), QString::number(1000 + m_rows));
}

void TestProsmCase::choiceNeedsARow_data()
{
    QTest::addColumn<QString>("move");
    QTest::addColumn<QString>("comeBack");
    QTest::newRow("home, click") << "Home"
                                 << "click";
    QTest::newRow("end, up") << "End"
                             << "up";
    QTest::newRow("pgUp, down") << "PgUp"
                                << "down";
    QTest::newRow("pgDown, search") << "PgDown"
                                    << "search";
    QTest::newRow("scroll bar, click") << "scroll"
                                       << "click";
    QTest::newRow("column, down") << "column"
                                  << "down";
}

// After a page move, a scroll-bar move or a column change nothing is chosen until a row is
// clicked, Up or Down is pressed or a search succeeds.
void TestProsmCase::choiceNeedsARow()
{
    QFETCH(QString, move);
    QFETCH(QString, comeBack);
    QVERIFY(ViewFx::writeGoods(m_file, m_table, m_rows + 7));
    Screen s(m_file, m_table, m_view, at(3, false));
    QVERIFY(s.choiceEnabled());
    if (move == QLatin1String("scroll"))
        s.bar->setValue(5);
    else if (move == QLatin1String("column"))
        s.header->setCurrentIndex(1);
    else
        s.click(move.toLatin1().constData());
    QVERIFY(!s.choiceEnabled());
    QCOMPARE(s.browser.chosenRecord(), -1);
    ViewFx::screen(s.win, "browser-after-move");
    QTest::keyClick(s.tw, Qt::Key_Return);
    QCOMPARE(s.chosen.size(), 0);

    qint32 expected = -1;
    if (comeBack == QLatin1String("click")) {
        s.clickRow(1);
        expected = s.browser.topRecord() + 1;
    } else if (comeBack == QLatin1String("up") || comeBack == QLatin1String("down")) {
        const qint32 current = s.browser.currentRecord();
        QTest::keyClick(s.tw, comeBack == QLatin1String("up") ? Qt::Key_Up : Qt::Key_Down);
        expected = comeBack == QLatin1String("up") ? qMax(0, current - 1) : current + 1;
    } else {
        s.searchFor(QStringLiteral("1004"));
        expected = 4;
    }
    QVERIFY(s.choiceEnabled());
    QCOMPARE(s.browser.chosenRecord(), expected);
    QCOMPARE(s.cell(s.browser.currentRow()), QString::number(1000 + expected));
    QTest::keyClick(s.tw, Qt::Key_Return);
    QCOMPARE(s.chosen.size(), 1);
    QCOMPARE(s.chosen.first().first().toInt(), expected);
}

void TestProsmCase::clickBelowLastRecord()
{
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 2));
    Screen s(m_file, m_table, m_view, at(1, false));
    s.clickRow(m_rows - 1);
    ViewFx::screen(s.win, "browser-click-below-last");
    QVERIFY(s.selected().isEmpty());
    QVERIFY(!s.choiceEnabled());
    QCOMPARE(s.browser.currentRecord(), -1);
    QTest::keyClick(s.tw, Qt::Key_Return);
    QCOMPARE(s.chosen.size(), 0);
    // Up with no current record goes to the first record.
    QTest::keyClick(s.tw, Qt::Key_Up);
    QCOMPARE(s.selected(), QList<int> { 0 });
    QCOMPARE(s.browser.chosenRecord(), 0);
    QVERIFY(s.choiceEnabled());
}

void TestProsmCase::startBeyondTheEnd()
{
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 10));
    Screen s(m_file, m_table, m_view, at(50, false));
    QCOMPARE(s.browser.currentRecord(), 9);
    QCOMPARE(s.selected(), QList<int> { m_rows - 1 });
    QCOMPARE(s.cell(m_rows - 1), QStringLiteral("1009"));

    QFile::remove(m_file);
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 0));
    Screen empty(m_file, m_table, m_view, at(3, false));
    QVERIFY(empty.selected().isEmpty());
    QVERIFY(!empty.choiceEnabled());
    QTest::keyClick(empty.tw, Qt::Key_Down);
    QTest::keyClick(empty.tw, Qt::Key_Up);
    empty.click("End");
    QVERIFY(empty.selected().isEmpty());
    QTest::keyClick(empty.tw, Qt::Key_Return);
    QCOMPARE(empty.chosen.size(), 0);
}

void TestProsmCase::search_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("found"); // -1 not found, -2 bad pattern
    QTest::addColumn<QString>("refusal"); // the box of a search that found nothing

    const QString combined = QStringLiteral("Код(ШК)");
    const QString notFound = QStringLiteral("Запись не найдена");
    const QString badPattern = QStringLiteral("Неправильный\nобразец поиска");
    QTest::newRow("text prefix") << "Наименование" << 0 << "Мол" << 1 << QString();
    QTest::newRow("digit prefix") << "Код" << 0 << "12" << 1 << QString();
    QTest::newRow("barcode prefix") << "Штрихкод" << 0 << "46000000000" << 0 << QString();
    QTest::newRow("summa whole value") << "Цена" << 0 << "12.55" << 2 << QString();
    QTest::newRow("summa no prefix") << "Цена" << 0 << "2.50" << -1 << notFound;
    QTest::newRow("summa needs two decimals") << "Цена" << 0 << "12.5" << -2 << badPattern;
    QTest::newRow("name missing") << "Наименование" << 0 << "Яблоко" << -1 << notFound;
    QTest::newRow("code only: whole code") << combined << 0 << "12" << 2 << QString();
    QTest::newRow("code only: barcode ignored") << combined << 0 << "777" << -1 << notFound;
    QTest::newRow("code then barcode") << combined << 1 << "777" << 3 << QString();
    QTest::newRow("code then barcode: code wins") << combined << 1 << "500" << 0 << QString();
    QTest::newRow("barcode then code") << combined << 2 << "500" << 4 << QString();
    QTest::newRow("barcode then code: falls to code") << combined << 2 << "12" << 2 << QString();
    QTest::newRow("longer than a code: barcode") << combined << 0 << "4600000000003" << 2 << QString();
    // Letters fit a text item only: the box names one.
    QTest::newRow("letter in a code") << combined << 1 << "12a" << -2
                                      << badPattern + QStringLiteral(".\nДля букв выберите\n«Наименование»");
    QTest::newRow("letters in a price") << "Цена" << 0 << "Мол" << -2
                                        << badPattern + QStringLiteral(".\nДля букв выберите\n«Наименование»");
}

void TestProsmCase::search()
{
    QFETCH(QString, item);
    QFETCH(int, order);
    QFETCH(QString, text);
    QFETCH(int, found);
    QFETCH(QString, refusal);
    QVERIFY(ViewFx::writeTable(m_file, m_table, searchRecords(m_table)));
    appState().user.vvod.searchOrder = order;
    Screen s(m_file, m_table, m_view);
    QCOMPARE(s.header->currentText(), QStringLiteral("Код(ШК)"));
    const int index = s.header->findText(item);
    QVERIFY(index >= 0);
    s.header->setCurrentIndex(index);
    QTRY_VERIFY(s.win->focusWidget() == s.text);

    ScriptedResponder boxes;
    if (found < 0)
        boxes.expectMessage();
    s.searchFor(text);
    ViewFx::screen(s.win, "browser-search");
    QCOMPARE(s.chosen.size(), 0); // the Return that searched does not also choose
    if (found >= 0) {
        QVERIFY(boxes.boxes().isEmpty());
        QCOMPARE(s.browser.chosenRecord(), found);
        QVERIFY(s.choiceEnabled());
        QCOMPARE(s.selected(), QList<int> { s.browser.currentRow() });
        QCOMPARE(s.cell(s.browser.currentRow(), 1),
            toUi(fieldToText(m_table.fields[2], searchRecords(m_table)[found])).trimmed());
    } else {
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.lastTitle(), Title);
        QCOMPARE(boxes.lastText(), refusal);
        QCOMPARE(s.browser.chosenRecord(), -1);
        QVERIFY(!s.choiceEnabled());
        QCOMPARE(s.text->selectedText(), text);
        QVERIFY(s.win->focusWidget() == s.text);
    }
}

void TestProsmCase::combinedTextAsLongAsCode_data()
{
    QTest::addColumn<int>("codeLength");
    QTest::addColumn<QString>("secondCode"); // code of record 1; record 0's barcode begins 460000
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("found");
    QTest::newRow("as long as the code: the code") << 6 << "460000"
                                                   << "460000" << 1;
    QTest::newRow("one longer: a barcode prefix") << 6 << "460000"
                                                  << "4600000" << 0;
    // An odd length is stored one byte wider: the length decides, not the width.
    QTest::newRow("odd length, as long as the code: the code") << 5 << "46000"
                                                               << "46000" << 1;
    QTest::newRow("odd length, as long as the width: a barcode prefix") << 5 << "460000"
                                                                        << "460000" << 0;
}

// Under the combined item a text no longer than the CODE field searches by code; only a longer one
// goes to the barcode column, where it matches by its beginning.
void TestProsmCase::combinedTextAsLongAsCode()
{
    QFETCH(int, codeLength);
    QFETCH(QString, secondCode);
    QFETCH(QString, text);
    QFETCH(int, found);
    TableDescr table = ViewFx::goods();
    table.fields = { ViewFx::field("CODE", FieldType::Digit, codeLength), ViewFx::field("BAR", FieldType::Digit, 13),
        ViewFx::field("NAME", FieldType::Text, 20) };
    table.computeLayout();
    ViewDescr view;
    view.columns = { ViewFx::column("CODE", "Код", 60), ViewFx::column("NAME", "Наименование", 150),
        ViewFx::column("BAR", "Штрихкод", 120) };
    const QByteArray second = secondCode.toLatin1() + ";2000000000002;Второй";
    QVERIFY(ViewFx::writeTable(
        m_file, table, { ViewFx::record(table, "1;4600000000001;Первый"), ViewFx::record(table, second.constData()) }));

    Screen s(m_file, table, view);
    QCOMPARE(s.header->currentText(), QStringLiteral("Код(ШК)"));
    ScriptedResponder boxes;
    s.searchFor(text);
    QVERIFY(boxes.boxes().isEmpty());
    QCOMPARE(s.browser.chosenRecord(), found);
    QCOMPARE(s.cell(s.browser.currentRow(), 1), found == 1 ? QStringLiteral("Второй") : QStringLiteral("Первый"));
}

void TestProsmCase::unreadableFile_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("text");
    QTest::newRow("name") << "Наименование" << 0 << "Мол";
    QTest::newRow("price") << "Цена" << 0 << "12.50";
    QTest::newRow("code then barcode") << "Код(ШК)" << 1 << "777";
    QTest::newRow("barcode then code") << "Код(ШК)" << 2 << "500";
    QTest::newRow("long text under the combined item") << "Код(ШК)" << 0 << "4600000000003";
}

// A table file that is there but cannot be read (here a folder in its place) is reported as such,
// never as a record that is not there.
void TestProsmCase::unreadableFile()
{
    QFETCH(QString, item);
    QFETCH(int, order);
    QFETCH(QString, text);
    QVERIFY(ViewFx::writeTable(m_file, m_table, searchRecords(m_table)));
    appState().user.vvod.searchOrder = order;
    Screen s(m_file, m_table, m_view);
    s.header->setCurrentIndex(s.header->findText(item));
    QCOMPARE(s.header->currentText(), item);
    QVERIFY(QFile::remove(m_file));
    QVERIFY(QDir().mkdir(m_file));

    ScriptedResponder boxes;
    boxes.expectMessage();
    s.searchFor(text);
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.lastTitle(), Title);
    QCOMPARE(boxes.lastText(), QStringLiteral("Ошибка чтения\nфайла"));
    QCOMPARE(s.browser.chosenRecord(), -1);
    QVERIFY(!s.choiceEnabled());
    QCOMPARE(s.text->selectedText(), text);
    QVERIFY(s.win->focusWidget() == s.text);
}

void TestProsmCase::returnAfterSearchChooses()
{
    QVERIFY(ViewFx::writeTable(m_file, m_table, searchRecords(m_table)));
    Screen s(m_file, m_table, m_view);
    s.searchFor(QStringLiteral("1234"));
    QCOMPARE(s.chosen.size(), 0);
    QTest::keyClick(s.win->focusWidget(), Qt::Key_Return);
    QCOMPARE(s.chosen.size(), 1);
    QCOMPARE(s.chosen.first().first().toInt(), 1);
    QTRY_VERIFY(s.win.isNull());
}

void TestProsmCase::columnChooser_data()
{
    QTest::addColumn<QString>("fields"); // field names of the table
    QTest::addColumn<QString>("shown"); // fields shown in the view
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<int>("found");

    QTest::newRow("all shown") << "CODE BAR NAME"
                               << "CODE BAR NAME" << words("Код|Наименование|Штрихкод|Код(ШК)") << "4600000000002" << 1;
    QTest::newRow("neither code nor barcode shown") << "CODE BAR NAME"
                                                    << "NAME" << words("Наименование|Код(ШК)") << "500" << 0;
    // Under the combined item a text longer than a code goes to the searched field of the item:
    // the barcode only while its column is shown, else the code, else the first item's field.
    QTest::newRow("barcode not shown, long text")
        << "CODE BAR NAME"
        << "CODE NAME" << words("Код|Наименование|Код(ШК)") << "4600000000003" << -1;
    QTest::newRow("neither shown, long text searches the first item")
        << "CODE BAR NAME"
        << "NAME" << words("Наименование|Код(ШК)") << "4600000000003" << -1;
    QTest::newRow("no barcode field") << "CODE NAME"
                                      << "CODE NAME" << words("Код|Наименование") << "12" << 1;
}

void TestProsmCase::columnChooser()
{
    QFETCH(QString, fields);
    QFETCH(QString, shown);
    QFETCH(QStringList, items);
    QFETCH(QString, searchText);
    QFETCH(int, found);
    QList<FieldDescr> keep;
    for (const FieldDescr& f : std::as_const(m_table.fields))
        if (fields.split(QLatin1Char(' ')).contains(QString::fromLatin1(f.name)))
            keep << f;
    m_table.fields = keep;
    m_table.computeLayout();
    for (ColumnDescr& c : m_view.columns)
        c.shown = shown.split(QLatin1Char(' ')).contains(QString::fromLatin1(c.fieldName)) ? '+' : '-';
    QList<QByteArray> records;
    for (const QByteArray& full : searchRecords(ViewFx::goods())) {
        QByteArray rec(m_table.recordLength, ' ');
        transferRecord(ViewFx::goods(), full, m_table, rec);
        records << rec;
    }
    QVERIFY(ViewFx::writeTable(m_file, m_table, records));

    Screen s(m_file, m_table, m_view);
    QStringList actual;
    for (int i = 0; i < s.header->count(); ++i)
        actual << s.header->itemText(i);
    QCOMPARE(actual, items);
    QCOMPARE(s.header->currentIndex(), items.contains(QStringLiteral("Код(ШК)")) ? items.size() - 1 : 0);
    ScriptedResponder boxes;
    if (found < 0)
        boxes.expectMessage();
    s.searchFor(searchText);
    QCOMPARE(s.browser.chosenRecord(), found);
    if (found < 0) {
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.lastText(), QStringLiteral("Запись не найдена"));
    } else {
        QVERIFY(boxes.boxes().isEmpty());
    }
}

// With a hidden column before them, item numbers and view columns differ: the scroll goes to
// the view column of the item.
void TestProsmCase::columnChangeScrollsToItsColumn()
{
    m_view.columns.move(4, 1);
    QCOMPARE(m_view.columns[1].shown, '-');
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 3));
    Screen s(m_file, m_table, m_view);
    QScrollBar* across = s.tw->horizontalScrollBar();
    s.header->setCurrentIndex(s.header->findText(QStringLiteral("Цена")));
    QVERIFY(across->value() > s.tw->horizontalHeader()->sectionPosition(2));
    QCOMPARE(across->value(), qMin(s.tw->horizontalHeader()->sectionPosition(3), across->maximum()));
    QVERIFY(s.win->focusWidget() == s.text);
    s.header->setCurrentIndex(0);
    QCOMPARE(across->value(), 0);
}

// Codes from the scanner are searched for without a key; the scan key only shows that one is
// awaited, for the scanner's time-out, and never reads (blocks) by itself.
void TestProsmCase::scanKey()
{
    auto owned = std::make_unique<FakeScanner>();
    FakeScanner* fake = owned.get();
    installScanner(std::move(owned));
    QVERIFY(initScanner());
    ScanFeed& feed = ScanFeed::instance();
    QVERIFY(ViewFx::writeTable(m_file, m_table, searchRecords(m_table)));
    {
        Screen s(m_file, m_table, m_view);
        QTest::keyClick(s.tw, Qt::Key_Print);
        QVERIFY(feed.waiting());
        QCOMPARE(feed.waitInterval(), Scanner::ReadTimeoutMs);
        fake->send(QByteArrayLiteral("4600000000002"));
        QVERIFY(!feed.waiting());
        QCOMPARE(s.text->text(), QStringLiteral("4600000000002"));
        QCOMPARE(s.browser.chosenRecord(), 1);
        // A wait that Escape ends changes nothing, and the browser stays.
        QTest::keyClick(s.tw, Qt::Key_Print);
        QVERIFY(feed.waiting());
        QTest::keyClick(s.tw, Qt::Key_Escape);
        QVERIFY(!feed.waiting());
        QVERIFY(s.browser.window());
        QCOMPARE(s.browser.chosenRecord(), 1);
        QCOMPARE(fake->reads, 0);
    }
    {
        Screen tab(m_file, m_table, m_view, at(0, false, ProsmCase::KindTab));
        QTest::keyClick(tab.tw, Qt::Key_Print);
        QVERIFY(!feed.waiting());
        QCOMPARE(fake->reads, 0);
    }
    installScanner(makeScanner(QStringLiteral("none")));
    initScanner();
}

void TestProsmCase::localDelete_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("current"); // after the delete, -1 none
    QTest::newRow("last record") << 5 << 4 << 3;
    QTest::newRow("only record") << 1 << 0 << -1;
    QTest::newRow("in the middle") << 20 << 2 << 2;
}

void TestProsmCase::localDelete()
{
    QFETCH(int, count);
    QFETCH(int, start);
    QFETCH(int, current);
    QVERIFY(ViewFx::writeGoods(m_file, m_table, count));
    Screen s(m_file, m_table, m_view, at(start, true));
    s.click("Delete");
    ViewFx::screen(s.win, "browser-deleted");
    QCOMPARE(s.deleted.size(), 0);
    QCOMPARE(m_table.recordCount, count - 1);
    QCOMPARE(recordCountOf(m_file, m_table), count - 1);
    QCOMPARE(s.browser.currentRecord(), current);
    QCOMPARE(s.browser.chosenRecord(), current);
    if (current < 0) {
        QVERIFY(s.selected().isEmpty());
        QVERIFY(!s.choiceEnabled());
        QCOMPARE(s.cell(0), QString());
    } else {
        QVERIFY(s.choiceEnabled());
        // The record after the deleted one now has its number.
        const int shownCode = 1000 + (current >= start ? current + 1 : current);
        QCOMPARE(s.cell(s.browser.currentRow()), QString::number(shownCode));
        QCOMPARE(s.selected(), QList<int> { s.browser.currentRow() });
    }
}

void TestProsmCase::deleteBySignalAndFailure()
{
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 4));
    const QByteArray before = TestUtil::readFile(m_file);
    {
        Screen s(m_file, m_table, m_view, at(2, false));
        s.click("Delete");
        QCOMPARE(s.deleted.size(), 1);
        QCOMPARE(s.deleted.first().first().toInt(), 2);
        QVERIFY(!s.win.isNull());
        QCOMPARE(TestUtil::readFile(m_file), before);
    }
    {
        Screen s(m_file, m_table, m_view, at(2, true));
        QVERIFY(QFile::remove(m_file));
        ScriptedResponder boxes;
        boxes.expectMessage();
        s.click("Delete");
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.lastTitle(), QStringLiteral("Справочник товаров.Удаление."));
        QCOMPARE(boxes.lastText(), QStringLiteral("Ошибка удаления"));
        // Redrawn from the file as it now is: nothing.
        QCOMPARE(s.cell(0), QString());
        QVERIFY(s.selected().isEmpty());
        QVERIFY(!s.choiceEnabled());
    }
}

void TestProsmCase::buttonOptions()
{
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 40));
    Screen normal(m_file, m_table, m_view);
    const int normalHeight = normal.tw->height();
    const int caseHeight = normal.get<QPushButton>("Case")->height();

    ViewDescr view = ViewFx::goodsView();
    Screen readOnly(m_file, m_table, view, readOnlyOptions());
    for (const char* name : { "Case", "Delete", "Add" })
        QVERIFY2(readOnly.get<QPushButton>(name)->isHidden(), name);
    for (const char* name : { "Back", "Home", "PgUp", "PgDown", "End", "Search" })
        QVERIFY2(!readOnly.get<QPushButton>(name)->isHidden(), name);
    QCOMPARE(readOnly.tw->height(), normalHeight + caseHeight + 4);
    QCOMPARE(readOnly.bar->height(), readOnly.tw->height());
    QVERIFY(readOnly.browser.rows() > normal.browser.rows());
    QCOMPARE(readOnly.tw->rowCount(), readOnly.browser.rows());
    ViewFx::screen(readOnly.win, "browser-read-only");

    ViewDescr view2 = ViewFx::goodsView();
    Options o;
    o.caseDisabled = true;
    o.deleteText.clear();
    Screen partly(m_file, m_table, view2, o);
    auto* caseButton = partly.get<QPushButton>("Case");
    QVERIFY(!caseButton->isHidden());
    QVERIFY(!caseButton->isEnabled());
    QVERIFY(partly.get<QPushButton>("Delete")->isHidden());
    QVERIFY(partly.get<QPushButton>("Add")->isEnabled());
    QCOMPARE(partly.tw->height(), normalHeight);
    QTest::keyClick(partly.tw, Qt::Key_Return);
    QCOMPARE(partly.chosen.size(), 0);
}

void TestProsmCase::leaving_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("signal");
    QTest::newRow("file: Back") << int(ProsmCase::KindFile) << "Back"
                                << "exit";
    QTest::newRow("file: Escape") << int(ProsmCase::KindFile) << "Escape"
                                  << "exit";
    QTest::newRow("file: Add") << int(ProsmCase::KindFile) << "Add"
                               << "add";
    QTest::newRow("file: Case") << int(ProsmCase::KindFile) << "Case"
                                << "case";
    QTest::newRow("tab: Return") << int(ProsmCase::KindTab) << "Return"
                                 << "case";
    QTest::newRow("tab: Escape") << int(ProsmCase::KindTab) << "Escape"
                                 << "exit";
}

void TestProsmCase::leaving()
{
    QFETCH(int, kind);
    QFETCH(QString, action);
    QFETCH(QString, signal);
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 8));
    Options o;
    o.kind = ProsmCase::WindowKind(kind);
    o.start = 3;
    Screen s(m_file, m_table, m_view, o);
    if (kind == ProsmCase::KindTab)
        ViewFx::screen(s.win, "chooser-tab");
    if (action == QLatin1String("Escape"))
        QTest::keyClick(s.tw, Qt::Key_Escape);
    else if (action == QLatin1String("Return"))
        QTest::keyClick(s.tw, Qt::Key_Return);
    else
        s.click(action.toLatin1().constData());
    QCOMPARE(s.left.size(), signal == QLatin1String("exit") ? 1 : 0);
    QCOMPARE(s.added.size(), signal == QLatin1String("add") ? 1 : 0);
    QCOMPARE(s.chosen.size(), signal == QLatin1String("case") ? 1 : 0);
    if (signal == QLatin1String("case"))
        QCOMPARE(s.chosen.first().first().toInt(), 3);
    QVERIFY(!s.browser.window());
    QTRY_VERIFY(s.win.isNull());
}

void TestProsmCase::helpKindKeepsItsWindow()
{
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 8));
    QPointer<QWidget> win;
    {
        Options o;
        o.kind = ProsmCase::KindHelp;
        o.help = QStringLiteral("Выберите справочник");
        Screen s(m_file, m_table, m_view, o);
        QCOMPARE(s.get<QTextEdit>("Help")->toPlainText(), o.help);
        QVERIFY(!s.get<QTextEdit>("Help")->isHidden());
        QVERIFY(!s.text && !s.header);
        ViewFx::screen(s.win, "chooser-help");
        QTest::keyClick(s.tw, Qt::Key_Down);
        QTest::keyClick(s.tw, Qt::Key_Return);
        QCOMPARE(s.chosen.size(), 1);
        QCOMPARE(s.chosen.first().first().toInt(), 1);
        win = s.win;
        QVERIFY(!win.isNull() && win->isVisible());
    }
    QTRY_VERIFY(win.isNull());

    Options o;
    o.kind = ProsmCase::KindHelp;
    Screen noHelp(m_file, m_table, m_view, o);
    QVERIFY(noHelp.get<QTextEdit>("Help")->isHidden());
}

void TestProsmCase::runLogLines()
{
    const int count = m_rows + 7;
    QVERIFY(ViewFx::writeGoods(m_file, m_table, count));
    {
        Screen s(m_file, m_table, m_view);
        s.click("End");
        QTest::keyClick(s.tw, Qt::Key_Down);
        s.bar->setValue(2);
        s.clickRow(1);
        QTest::keyClick(s.tw, Qt::Key_Return);
    }
    const QByteArray log = TestUtil::readFile(RunLog::instance().filePath());
    const QByteArray rows = QByteArray::number(m_rows);
    const QList<QByteArray> expected { "mainTabFile 0\r\n", "mainTabSet\r\n", "tabSetUp\r\n", "/tabSetUp\r\n",
        "/mainTabSet\r\n", "mainTabCall\r\n", "seeRecCur " + QByteArray::number(count) + " 0 0 " + rows + "\r\n",
        "seeFrom\r\n", "/mainTabCall\r\n",
        "seeRecCur " + QByteArray::number(count) + ' ' + QByteArray::number(count - 1) + " 7 " + rows + "\r\n",
        "key 16777237\r\n", "valueChanged 2 noValCha 0\r\nvi 2\r\n", "cellClicked 1 0\r\n", "key 16777220\r\n",
        "caseRec 3\r\n" };
    qsizetype from = 0;
    for (const QByteArray& line : expected) {
        const qsizetype at = log.indexOf(line, from);
        QVERIFY2(at >= 0, line.constData());
        from = at;
    }
}

// The widget only ever holds one page, so a table of a million records pages at once.
void TestProsmCase::millionRecords()
{
    TableDescr table;
    table.pname = "BIG";
    table.fields = { ViewFx::field("CODE", FieldType::Digit, 6), ViewFx::field("NAME", FieldType::Text, 4) };
    table.computeLayout();
    ViewDescr view;
    view.columns = { ViewFx::column("CODE", "Код", 80), ViewFx::column("NAME", "Имя", 80) };
    const int count = 1000000;
    QByteArray bytes;
    bytes.reserve(qsizetype(count) * table.recordLength);
    for (int i = 0; i < count; ++i)
        bytes += QByteArray::number(i).rightJustified(6, '0') + "item";
    QVERIFY(TestUtil::writeFile(m_file, bytes));
    table.recordCount = count;

    Screen s(m_file, table, view);
    QCOMPARE(s.tw->rowCount(), s.browser.rows());
    s.click("End");
    s.click("PgUp");
    QCOMPARE(s.browser.currentRecord(), count - s.browser.rows());
    s.click("Home");
    QCOMPARE(s.cell(0), QStringLiteral("000000"));
    s.click("End");
    ViewFx::screen(s.win, "browser-million-end");
    QCOMPARE(s.cell(s.browser.rows() - 1), QStringLiteral("999999"));
    QCOMPARE(s.bar->maximum(), count - s.browser.rows());

    s.header->setCurrentIndex(0);
    s.searchFor(QStringLiteral("999998"));
    QCOMPARE(s.browser.chosenRecord(), 999998);
    QCOMPARE(s.cell(s.browser.currentRow()), QStringLiteral("999998"));

    ScriptedResponder boxes;
    boxes.expectMessage();
    s.header->setCurrentIndex(1);
    s.searchFor(QStringLiteral("none"));
    QCOMPARE(boxes.lastText(), QStringLiteral("Запись не найдена"));
}

QTEST_MAIN(TestProsmCase)
#include "tst_prosmcase.moc"
