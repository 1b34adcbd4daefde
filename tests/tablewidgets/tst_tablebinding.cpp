#include "Codec.h"
#include "FieldCodec.h"
#include "TableBinding.h"
#include "ViewingFixtures.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString cellText(const QTableWidget& tw, int row, int column)
{
    const QTableWidgetItem* item = tw.item(row, column);
    return item ? item->text().trimmed() : QString();
}

QList<int> selectedRows(const QTableWidget& tw)
{
    QList<int> rows;
    const QModelIndexList indexes = tw.selectionModel()->selectedRows();
    for (const QModelIndex& i : indexes)
        rows << i.row();
    return rows;
}

} // namespace

class TestTableBinding : public QObject {
    Q_OBJECT
private slots:
    void setUpShapesWidget();
    void visibleRowsFit_data();
    void visibleRowsFit();
    void seeFromFillsOnePage_data();
    void seeFromFillsOnePage();
    void seeFromClearsRowsOfAnEarlierPage();
    void fillStopsAtUnboundColumn();
    void readRowBack_data();
    void readRowBack();
    void editRowAndEditable();
    void selection();
    void openEditorCommitOrDrop();
    void cellsShowNumbersWholeAndNamesElided_data();
    void cellsShowNumbersWholeAndNamesElided();

private:
    QTemporaryDir m_dir;
};

void TestTableBinding::setUpShapesWidget()
{
    QTableWidget tw;
    tw.resize(222, 216);
    ViewDescr view = ViewFx::goodsView();
    view.fontSize = 10;
    tabSetUp(&tw, view, false);

    QCOMPARE(tw.columnCount(), 5);
    QCOMPARE(tw.rowCount(), view.rows);
    QVERIFY(view.rows >= 1);
    QVERIFY(tw.font().bold());
    QCOMPARE(tw.font().pointSize(), 10);
    QCOMPARE(tw.horizontalHeaderItem(1)->text(), QStringLiteral("Наименование"));
    QCOMPARE(tw.columnWidth(1), 150);
    // The hidden column keeps its place, so view column numbers stay the widget's.
    QVERIFY(tw.isColumnHidden(4));
    QVERIFY(!tw.isColumnHidden(3));
    QCOMPARE(tw.horizontalHeaderItem(4)->text(), QStringLiteral("Кол-во"));
    QVERIFY(!tw.verticalHeader()->isVisible());
    QCOMPARE(tw.selectionBehavior(), QAbstractItemView::SelectRows);
    for (int r = 0; r < tw.rowCount(); ++r)
        for (int c = 0; c < tw.columnCount(); ++c)
            QVERIFY2(tw.item(r, c), "every cell exists after set-up");
    QVERIFY(Qt::Alignment(tw.item(0, 2)->textAlignment()) & Qt::AlignRight);
    QVERIFY(Qt::Alignment(tw.item(view.rows - 1, 0)->textAlignment()) & Qt::AlignLeft);

    QTableWidget extra;
    extra.resize(222, 216);
    ViewDescr extraView = ViewFx::goodsView();
    extraView.fontSize = 10;
    tabSetUp(&extra, extraView, true);
    QCOMPARE(extraView.rows, view.rows + 1);
    QCOMPARE(extra.rowCount(), view.rows + 1);
}

void TestTableBinding::visibleRowsFit_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("fontSize");
    QTest::newRow("browser") << 216 << 12;
    QTest::newRow("help") << 168 << 12;
    QTest::newRow("tall") << 300 << 12;
    QTest::newRow("small font") << 216 << 8;
}

// The rows computed from the height must all be on screen: the page is what the operator sees.
void TestTableBinding::visibleRowsFit()
{
    QFETCH(int, height);
    QFETCH(int, fontSize);
    QTableWidget tw;
    tw.resize(222, height);
    ViewDescr view = ViewFx::goodsView();
    view.fontSize = fontSize;
    tabSetUp(&tw, view, false);
    tw.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tw));
    const int last = view.rows - 1;
    QVERIFY2(tw.rowViewportPosition(last) + tw.rowHeight(last) <= tw.viewport()->height(),
        qPrintable(QStringLiteral("%1 rows of %2 px in a viewport of %3 px")
                       .arg(view.rows)
                       .arg(tw.rowHeight(last))
                       .arg(tw.viewport()->height())));
    // A taller widget never shows fewer rows.
    QTableWidget taller;
    taller.resize(222, height + 60);
    ViewDescr tallerView = ViewFx::goodsView();
    tallerView.fontSize = fontSize;
    tabSetUp(&taller, tallerView, false);
    QVERIFY(tallerView.rows > view.rows);
}

void TestTableBinding::seeFromFillsOnePage_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("first");
    QTest::newRow("first page") << 20 << 0;
    QTest::newRow("middle") << 20 << 7;
    QTest::newRow("last page") << 20 << 15;
    QTest::newRow("fewer than rows") << 3 << 0;
    QTest::newRow("empty") << 0 << 0;
}

void TestTableBinding::seeFromFillsOnePage()
{
    QFETCH(int, count);
    QFETCH(int, first);
    TableDescr table = ViewFx::goods();
    const QString file = m_dir.filePath(QStringLiteral("page_tvr.bin"));
    QVERIFY(ViewFx::writeGoods(file, table, count));
    QTableWidget tw;
    tw.resize(222, 216);
    ViewDescr view = ViewFx::goodsView();
    tabSetUp(&tw, view, false);
    view.bind(table);
    QScrollBar bar(Qt::Vertical);
    bool guard = false;
    QList<bool> guardWhenMoved;
    connect(&bar, &QScrollBar::valueChanged, this, [&] { guardWhenMoved << guard; });
    bar.setRange(0, 100);
    bar.setValue(99);
    guardWhenMoved.clear();

    const int n = qMin(count - first, view.rows);
    seeFrom(file, table, first, &tw, view, n, &bar, guard);

    for (int r = 0; r < view.rows; ++r) {
        if (r < n) {
            QCOMPARE(cellText(tw, r, 0), QString::number(1000 + first + r));
            QCOMPARE(cellText(tw, r, 1), QStringLiteral("Товар %1").arg(first + r));
            QCOMPARE(cellText(tw, r, 2), QStringLiteral("%1.50").arg(first + r));
            QCOMPARE(cellText(tw, r, 3), QString::number(4600000000000LL + first + r));
            QCOMPARE(cellText(tw, r, 4), QStringLiteral("1.000"));
        } else {
            for (int c = 0; c < tw.columnCount(); ++c)
                QCOMPARE(cellText(tw, r, c), QString());
        }
    }
    QCOMPARE(bar.maximum(), qMax(0, count - view.rows));
    QCOMPARE(bar.value(), qMin(first, bar.maximum()));
    QVERIFY(!guard);
    QVERIFY(!guardWhenMoved.isEmpty());
    QVERIFY2(!guardWhenMoved.contains(false), "the scroll bar moved without the guard");
}

void TestTableBinding::seeFromClearsRowsOfAnEarlierPage()
{
    TableDescr table = ViewFx::goods();
    const QString file = m_dir.filePath(QStringLiteral("shrink_tvr.bin"));
    QVERIFY(ViewFx::writeGoods(file, table, 12));
    QTableWidget tw;
    tw.resize(222, 216);
    ViewDescr view = ViewFx::goodsView();
    tabSetUp(&tw, view, false);
    view.bind(table);
    QScrollBar bar(Qt::Vertical);
    bool guard = false;
    seeFrom(file, table, 0, &tw, view, view.rows, &bar, guard);
    QCOMPARE(cellText(tw, view.rows - 1, 0), QString::number(1000 + view.rows - 1));
    seeFrom(file, table, 11, &tw, view, 1, &bar, guard);
    QCOMPARE(cellText(tw, 0, 0), QStringLiteral("1011"));
    for (int r = 1; r < view.rows; ++r)
        QCOMPARE(cellText(tw, r, 1), QString());
}

void TestTableBinding::fillStopsAtUnboundColumn()
{
    TableDescr table = ViewFx::goods();
    ViewDescr view;
    view.columns = { ViewFx::column("CODE", "Код", 60), ViewFx::column("NOSUCH", "Нет", 60),
        ViewFx::column("NAME", "Наименование", 100) };
    QTableWidget tw;
    tw.resize(222, 216);
    tabSetUp(&tw, view, false);
    view.bind(table);
    QCOMPARE(view.columns[1].fieldIndex, -1);
    fillRow(&tw, 0, ViewFx::goodsRecord(table, 4), table, view);
    QCOMPARE(cellText(tw, 0, 0), QStringLiteral("1004"));
    QCOMPARE(cellText(tw, 0, 1), QString());
    QCOMPARE(cellText(tw, 0, 2), QString());
}

void TestTableBinding::readRowBack_data()
{
    QTest::addColumn<bool>("nameFirst"); // view with NAME before CODE
    QTest::addColumn<QString>("cells"); // in view order, "|" between; the last is the hidden quantity
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("price");

    // The loaded record: code 1005, "Товар 5", 5.50, quantity 1.000.
    QTest::newRow("all convert") << false << "2000|Новый|7.25|4600000000999|9.000" << -1 << "2000"
                                 << "Новый"
                                 << "7.25";
    QTest::newRow("summa with comma") << false << "2000|Новый|12,5|4600000000999|9.000" << 2 << "2000"
                                      << "Новый"
                                      << "5.50";
    QTest::newRow("letter in a digit field") << false << "12a|Новый|7.25|4600000000999|9.000" << 0 << "1005"
                                             << "Товар 5"
                                             << "5.50";
    QTest::newRow("the column is reported") << true << "Новый|x1|7.25|4600000000999|9.000" << 1 << "1005"
                                            << "Товар 5"
                                            << "5.50";
    QTest::newRow("hidden column not read") << false << "2000|Новый|7.25|4600000000999|junk" << -1 << "2000"
                                            << "Новый"
                                            << "7.25";
}

void TestTableBinding::readRowBack()
{
    QFETCH(bool, nameFirst);
    QFETCH(QString, cells);
    QFETCH(int, result);
    TableDescr table = ViewFx::goods();
    ViewDescr view = ViewFx::goodsView();
    if (nameFirst)
        view.columns.swapItemsAt(0, 1);
    QTableWidget tw;
    tw.resize(222, 216);
    tabSetUp(&tw, view, false);
    view.bind(table);
    const QStringList texts = cells.split(QLatin1Char('|'));
    for (int c = 0; c < texts.size(); ++c)
        tw.item(1, c)->setText(texts[c]);

    const QByteArray loaded = ViewFx::goodsRecord(table, 5);
    QByteArray record = loaded;
    QCOMPARE(::readRowBack(table, view, &tw, 1, record), result);
    QCOMPARE(record.size(), loaded.size());
    QTEST(toUi(fieldToText(table.fields[0], record)).trimmed(), "code");
    QTEST(toUi(fieldToText(table.fields[2], record)).trimmed(), "name");
    QTEST(toUi(fieldToText(table.fields[3], record)), "price");
    // The quantity's column is hidden: its bytes stay those of the loaded record.
    QCOMPARE(record.mid(table.fields[4].offset, 4), loaded.mid(table.fields[4].offset, 4));
}

void TestTableBinding::editRowAndEditable()
{
    QTableWidget tw;
    tw.resize(222, 216);
    ViewDescr view = ViewFx::goodsView();
    tabSetUp(&tw, view, false);
    QVERIFY(view.rows >= 4);
    const Qt::ItemFlags editable = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;

    setEditRow(&tw, 2);
    for (int r = 0; r < tw.rowCount(); ++r)
        for (int c = 0; c < tw.columnCount(); ++c) {
            const Qt::ItemFlags flags = tw.item(r, c)->flags();
            if (r == 2)
                QCOMPARE(flags & editable, editable);
            else
                QVERIFY2(!(flags & Qt::ItemIsEnabled), qPrintable(QStringLiteral("row %1 enabled").arg(r)));
        }
    // A row outside the widget changes nothing.
    setEditRow(&tw, tw.rowCount());
    setEditRow(&tw, -1);
    QCOMPARE(tw.item(2, 0)->flags() & editable, editable);
    QVERIFY(!(tw.item(0, 0)->flags() & Qt::ItemIsEnabled));

    setAllEditable(&tw);
    for (int r = 0; r < tw.rowCount(); ++r)
        for (int c = 0; c < tw.columnCount(); ++c)
            QCOMPARE(tw.item(r, c)->flags() & editable, editable);
}

void TestTableBinding::selection()
{
    QTableWidget tw;
    tw.resize(222, 216);
    ViewDescr view = ViewFx::goodsView();
    tabSetUp(&tw, view, false);

    selCurRow(&tw, 2);
    QCOMPARE(selectedRows(tw), QList<int> { 2 });
    // Moving to no row or past the widget leaves nothing selected, never a stale row.
    for (const int outside : { -1, tw.rowCount() }) {
        selCurRow(&tw, 1);
        selCurRow(&tw, outside);
        QVERIFY(tw.selectedItems().isEmpty());
    }
    selCell(&tw, 1, 2);
    QCOMPARE(tw.selectedItems().size(), 1);
    QCOMPARE(tw.selectedItems().first()->column(), 2);
    selColumn(&tw, 1);
    QCOMPARE(tw.selectedItems().size(), tw.rowCount());
}

void TestTableBinding::openEditorCommitOrDrop()
{
    QTableWidget tw;
    tw.resize(222, 216);
    ViewDescr view = ViewFx::goodsView();
    tabSetUp(&tw, view, false);
    setEditRow(&tw, 0);
    tw.item(0, 1)->setText(QStringLiteral("было"));
    tw.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tw));

    for (const bool commit : { false, true }) {
        tw.setCurrentCell(0, 1);
        tw.editItem(tw.item(0, 1));
        auto* editor = qobject_cast<QLineEdit*>(tw.indexWidget(tw.currentIndex()));
        QVERIFY(editor);
        editor->setText(QStringLiteral("стало"));
        closeOpenEditor(&tw, commit);
        QTRY_VERIFY(!tw.indexWidget(tw.currentIndex()));
        QCOMPARE(tw.item(0, 1)->text(), commit ? QStringLiteral("стало") : QStringLiteral("было"));
    }
}

void TestTableBinding::cellsShowNumbersWholeAndNamesElided_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("fontSize");
    QTest::addColumn<int>("priceRule");
    QTest::addColumn<QByteArrayList>("shown");
    // The browser's table and the entry panel's narrower one, in the demo's font and a larger one.
    QTest::newRow("browser") << 222 << 8 << int(LenRule::Standart)
                             << QByteArrayList { "CODE", "NAME", "PRICE", "NOTE" };
    QTest::newRow("entry panel") << 220 << 8 << int(LenRule::Minimal) << QByteArrayList { "NAME", "REST", "PRICE" };
    QTest::newRow("barcode, large font") << 222 << 10 << int(LenRule::Maxlen) << QByteArrayList { "BAR", "NAME" };
    QTest::newRow("code and quantity") << 222 << 10 << int(LenRule::Standart)
                                       << QByteArrayList { "CODE", "NAME", "REST" };
}

// With the largest values the fields can hold in a row (as many digits as a DIGIT field's width, as
// many characters as a SUMMA or QUANTITY field's length), every shown number column is wide enough
// (by the view's own measure of its cells) and right-aligned; the name column takes what is left
// and its long name is cut at a character, never wrapped down to its first word.
void TestTableBinding::cellsShowNumbersWholeAndNamesElided()
{
    QFETCH(int, width);
    QFETCH(int, fontSize);
    QFETCH(int, priceRule);
    QFETCH(QByteArrayList, shown);
    using Fixtures::field;
    TableDescr table = Fixtures::table("TVR", "GOODS", ';',
        { field("CODE", FieldType::Digit, 6), field("BAR", FieldType::Digit, 13),
            field("NAME", FieldType::Text, 30, LenRule::Minimal),
            field("PRICE", FieldType::Summa, 10, LenRule(priceRule)),
            field("REST", FieldType::Quantity, 10, LenRule::Minimal), field("NOTE", FieldType::Text, 8) });
    ViewDescr view = ViewFx::goodsView();
    view.fontSize = fontSize;
    view.columns.clear();
    for (const char* name : { "CODE", "BAR", "NAME", "PRICE", "REST", "NOTE" })
        view.columns << ViewFx::column(name, name, 30, shown.contains(name) ? '+' : '-');
    QTableWidget tw;
    tw.resize(width, 216);
    tabSetUp(&tw, view, false);
    view.bind(table);
    QCOMPARE(fitColumns(&tw, table, view), 2);

    const QByteArray record
        = ViewFx::record(table, "999999;99999999999999;Молоко ультрапастеризованное 3;9999999.99;999999.999;");
    fillRow(&tw, 0, record, table, view);
    QCOMPARE(tw.item(0, 2)->text(), QStringLiteral("Молоко ультрапастеризованное 3"));
    QVERIFY(!tw.wordWrap());
    QCOMPARE(tw.textElideMode(), Qt::ElideRight);

    // The width the view itself finds a column's cells need to be shown whole.
    const auto needs = [&tw](int c) { return static_cast<const QAbstractItemView&>(tw).sizeHintForColumn(c); };
    int others = 0;
    for (int c = 0; c < view.columns.size(); ++c) {
        if (c == 2 || tw.isColumnHidden(c))
            continue;
        others += tw.columnWidth(c);
        if (view.columns[c].fieldName == "NOTE") {
            QCOMPARE(tw.columnWidth(c), 30); // another text column keeps the view's width
            continue;
        }
        QVERIFY2(tw.columnWidth(c) >= needs(c), qPrintable(tw.item(0, c)->text()));
        QVERIFY(Qt::Alignment(tw.item(0, c)->textAlignment()) & Qt::AlignRight);
    }
    QCOMPARE(others + tw.columnWidth(2), tw.width() - 2 * tw.frameWidth());
    QVERIFY(tw.columnWidth(2) < needs(2)); // too long to be whole: it is elided
}

QTEST_MAIN(TestTableBinding)
#include "tst_tablebinding.moc"
