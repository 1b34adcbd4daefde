#include "Codec.h"
#include "ProsmAdd.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "ScriptedResponder.h"
#include "ViewingFixtures.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const char* const NewLine = "777;4600000000777;Новый;3.00;2.000";

// One open editor with spies on its signals.
struct Editor {
    Editor(const QString& file, TableDescr& table, ViewDescr& view, qint32 number, const QByteArray& initial = {})
    {
        opened = editor.open(file, table, view, QStringLiteral("Правка"), QStringLiteral("Записать"),
            QStringLiteral("Правьте строку"), initial, number);
        win = editor.window();
        tw = win ? win->findChild<QTableWidget*>(QStringLiteral("TabWid")) : nullptr;
    }
    QString cell(int row, int column) const
    {
        const QTableWidgetItem* item = tw->item(row, column);
        return item ? item->text().trimmed() : QString();
    }
    void click(const char* name)
    {
        QTest::mouseClick(win->findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
    }
    // Types into a cell of the edited row as the operator does: the cell's editor, then the keys.
    QLineEdit* typeInto(int column, const QString& text)
    {
        tw->setCurrentCell(editor.editRow(), column);
        if (!tw->indexWidget(tw->currentIndex()))
            QTest::keyClick(tw, Qt::Key_F2);
        auto* line = qobject_cast<QLineEdit*>(tw->indexWidget(tw->currentIndex()));
        if (line) {
            line->selectAll();
            ViewFx::typeText(line, text);
        }
        return line;
    }

    ProsmAdd editor;
    bool opened = false;
    QPointer<QWidget> win;
    QTableWidget* tw = nullptr;
    QSignalSpy saved { &editor, &ProsmAdd::snCaseRec };
    QSignalSpy left { &editor, &ProsmAdd::snExit };
};

} // namespace

class TestProsmAdd : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void layoutAndSave_data();
    void layoutAndSave();
    void typingThenCancel();
    void refusedCell_data();
    void refusedCell();
    void hiddenColumnKeepsItsValue();
    void readFailureLeaves();
    void saveFailureStaysOpen();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
    TableDescr m_table;
    ViewDescr m_view;
};

void TestProsmAdd::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    TestUtil::openRunLogIn(m_dir->path());
    m_file = m_dir->filePath(QStringLiteral("GOODS_tvr.bin"));
    m_table = ViewFx::goods();
    m_view = ViewFx::goodsView();
}

void TestProsmAdd::cleanup()
{
    RunLog::instance().close();
    m_dir.reset();
}

void TestProsmAdd::layoutAndSave_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("number"); // -1 adds
    QTest::newRow("add to an empty table") << 0 << -1;
    QTest::newRow("add to 2") << 2 << -1;
    QTest::newRow("add to 20") << 20 << -1;
    QTest::newRow("change 2 of 20") << 20 << 2;
    QTest::newRow("change 15 of 20") << 20 << 15;
    QTest::newRow("change the last") << 20 << 19;
}

void TestProsmAdd::layoutAndSave()
{
    QFETCH(int, count);
    QFETCH(int, number);
    QVERIFY(ViewFx::writeGoods(m_file, m_table, count));
    const QByteArray initial = ViewFx::record(m_table, NewLine);
    Editor e(m_file, m_table, m_view, number, initial);
    QVERIFY(e.opened);
    const int rows = e.editor.rows();
    QVERIFY(rows >= 4);
    ViewFx::screen(e.win, "editor");

    // Adding: the last records, then the new one below them. Changing: the record in the bottom
    // row of its page, or higher near the start.
    const int top = number < 0 ? qMax(0, count - rows + 1) : qMax(0, number - rows + 1);
    const int editRow = number < 0 ? qMin(count, rows - 1) : number - top;
    QCOMPARE(e.editor.topRecord(), top);
    QCOMPARE(e.editor.editRow(), editRow);
    for (int r = 0; r < rows; ++r) {
        const int record = top + r;
        QString code;
        if (r == editRow && number < 0)
            code = QStringLiteral("777");
        else if (record < count && (number >= 0 || r < editRow))
            code = QString::number(1000 + record);
        QCOMPARE(e.cell(r, 0), code);
        QCOMPARE(bool(e.tw->item(r, 1)->flags() & Qt::ItemIsEnabled), r == editRow);
    }
    QCOMPARE(bool(e.tw->item(editRow, 1)->flags() & Qt::ItemIsEditable), true);

    e.tw->item(editRow, 1)->setText(QStringLiteral("Изменено"));
    e.click("Case");
    QCOMPARE(e.saved.size(), 1);
    const int savedAs = number < 0 ? count : number;
    QCOMPARE(e.saved.first().first().toInt(), savedAs);
    QTRY_VERIFY(e.win.isNull());
    QCOMPARE(recordCountOf(m_file, m_table), number < 0 ? count + 1 : count);
    QCOMPARE(m_table.recordCount, number < 0 ? count + 1 : count);
    QByteArray stored;
    QVERIFY(readRec(m_file, m_table, savedAs, stored));
    QByteArray expected = number < 0 ? initial : ViewFx::goodsRecord(m_table, number);
    QVERIFY(textToField(m_table.fields[2], TestUtil::cp("Изменено"), expected));
    QCOMPARE(stored.toHex(), expected.toHex());
    if (count > 1) {
        const int other = savedAs == 0 ? 1 : 0;
        QVERIFY(readRec(m_file, m_table, other, stored));
        QCOMPARE(stored, ViewFx::goodsRecord(m_table, other));
    }
}

void TestProsmAdd::typingThenCancel()
{
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 5));
    const QByteArray before = TestUtil::readFile(m_file);
    Editor e(m_file, m_table, m_view, 2);
    QVERIFY(e.opened);
    const int row = e.editor.editRow();

    QLineEdit* line = e.typeInto(1, QStringLiteral("Сметана"));
    QVERIFY(line);
    QTest::keyClick(line, Qt::Key_Return);
    QTRY_COMPARE(e.cell(row, 1), QStringLiteral("Сметана"));
    ViewFx::screen(e.win, "editor-typed");
    e.click("Cancel");
    QCOMPARE(e.cell(row, 1), QStringLiteral("Товар 2"));

    // Text still in an open cell editor is dropped by Cancel, and not saved afterwards.
    QVERIFY(e.typeInto(2, QStringLiteral("9.99")));
    e.click("Cancel");
    QCOMPARE(e.cell(row, 2), QStringLiteral("2.50"));
    QCOMPARE(TestUtil::readFile(m_file), before);
    QVERIFY(!e.win.isNull());
    e.click("Case");
    QCOMPARE(e.saved.size(), 1);
    QCOMPARE(TestUtil::readFile(m_file), before);

    // Typed and saved without leaving the cell: the open editor's text is what is written.
    Editor again(m_file, m_table, m_view, 2);
    QVERIFY(again.typeInto(1, QStringLiteral("Кефир")));
    again.click("Case");
    QCOMPARE(again.saved.size(), 1);
    QByteArray stored;
    QVERIFY(readRec(m_file, m_table, 2, stored));
    QCOMPARE(toUi(fieldToText(m_table.fields[2], stored)).trimmed(), QStringLiteral("Кефир"));

    Editor leaving(m_file, m_table, m_view, 1);
    leaving.typeInto(1, QStringLiteral("Ничего"));
    QTest::keyClick(leaving.tw, Qt::Key_Escape);
    QCOMPARE(leaving.left.size(), 1);
    QCOMPARE(leaving.saved.size(), 0);
    QTRY_VERIFY(leaving.win.isNull());
    QVERIFY(readRec(m_file, m_table, 1, stored));
    QCOMPARE(stored, ViewFx::goodsRecord(m_table, 1));
}

void TestProsmAdd::refusedCell_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("title");
    QTest::newRow("adding") << -1 << "Справочник товаров.Добавление.";
    QTest::newRow("changing") << 1 << "Справочник товаров.Изменение.";
}

void TestProsmAdd::refusedCell()
{
    QFETCH(int, number);
    QFETCH(QString, title);
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 3));
    const QByteArray before = TestUtil::readFile(m_file);
    Editor e(m_file, m_table, m_view, number, ViewFx::record(m_table, NewLine));
    const int row = e.editor.editRow();
    e.tw->item(row, 2)->setText(QStringLiteral("12,5"));

    {
        ScriptedResponder boxes;
        boxes.expectMessage();
        e.click("Case");
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.lastTitle(), title);
        QCOMPARE(boxes.lastText(), QStringLiteral("Ошибка в колонке\nЦена"));
    }
    ViewFx::screen(e.win, "editor-refused");
    QCOMPARE(e.saved.size(), 0);
    QVERIFY(!e.win.isNull());
    QCOMPARE(e.cell(row, 2), QStringLiteral("12,5"));
    QCOMPARE(TestUtil::readFile(m_file), before);

    e.tw->item(row, 2)->setText(QStringLiteral("12.50"));
    e.click("Case");
    QCOMPARE(e.saved.size(), 1);
    QByteArray stored;
    QVERIFY(readRec(m_file, m_table, e.saved.first().first().toInt(), stored));
    QCOMPARE(fieldToText(m_table.fields[3], stored), QByteArrayLiteral("12.50"));
}

void TestProsmAdd::hiddenColumnKeepsItsValue()
{
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 3));
    Editor e(m_file, m_table, m_view, 1);
    const int row = e.editor.editRow();
    QVERIFY(e.tw->isColumnHidden(4));
    e.tw->item(row, 4)->setText(QStringLiteral("99.000"));
    e.tw->item(row, 1)->setText(QStringLiteral("Другое"));
    e.click("Case");
    QCOMPARE(e.saved.size(), 1);
    QByteArray stored;
    QVERIFY(readRec(m_file, m_table, 1, stored));
    QCOMPARE(fieldToText(m_table.fields[4], stored), QByteArrayLiteral("1.000"));
    QCOMPARE(toUi(fieldToText(m_table.fields[2], stored)).trimmed(), QStringLiteral("Другое"));
}

void TestProsmAdd::readFailureLeaves()
{
    QVERIFY(ViewFx::writeGoods(m_file, m_table, 3));
    ScriptedResponder boxes;
    boxes.expectMessage();
    Editor e(m_file, m_table, m_view, 3);
    QVERIFY(!e.opened);
    QCOMPARE(boxes.lastTitle(), QStringLiteral("Справочник товаров.Изменение."));
    QCOMPARE(boxes.lastText(), QStringLiteral("Ошибка чтения"));
    // The leave arrives from the event loop, so an opener connecting after open() still hears it.
    QCOMPARE(e.left.size(), 0);
    QTRY_COMPARE(e.left.size(), 1);
    QVERIFY(!e.editor.window());
    QTRY_VERIFY(e.win.isNull());
    QCOMPARE(e.saved.size(), 0);
}

void TestProsmAdd::saveFailureStaysOpen()
{
    const QString missing = m_dir->filePath(QStringLiteral("no/such/folder/GOODS_tvr.bin"));
    m_table.recordCount = 0;
    Editor e(missing, m_table, m_view, -1, ViewFx::record(m_table, NewLine));
    QVERIFY(e.opened);
    ScriptedResponder boxes;
    boxes.expectMessage();
    e.click("Case");
    QCOMPARE(boxes.lastTitle(), QStringLiteral("Справочник товаров.Добавление."));
    QCOMPARE(boxes.lastText(), QStringLiteral("Ошибка сохранения"));
    QCOMPARE(e.saved.size(), 0);
    QVERIFY(!e.win.isNull());
    QCOMPARE(e.cell(e.editor.editRow(), 0), QStringLiteral("777"));
}

QTEST_MAIN(TestProsmAdd)
#include "tst_prosmadd.moc"
