// The two data-entry panels: their forms, the modal guard, the keys, and the table panel's table
// and scroll bar.

#include "FieldCodec.h"
#include "ProsmBrowserWin.h"
#include "RunLog.h"
#include "Scanner.h"
#include "ViewingFixtures.h"
#include "VvodRecWin.h"
#include "VvodWin.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <memory>

namespace {

enum class Kind { Label, Boxed, Title, Line, Edit, Button, TextBox, Table, Scroll };

struct Child {
    const char* name;
    Kind kind;
    QRect geometry;
    const char* text; // UTF-8
    int pointSize;
    bool bold;
};

// The single-record panel: everything 10 point bold, from the window.
const Child RecChildren[] = {
    { "hBar", Kind::Label, { 2, 25, 70, 16 }, "Код(ШК):", 10, true },
    { "vBar", Kind::Edit, { 72, 25, 136, 20 }, "", 10, true },
    { "hPrice", Kind::Label, { 135, 55, 36, 16 }, "Цена", 10, true },
    { "hRest", Kind::Label, { 95, 170, 46, 13 }, "Кол-во", 10, true },
    { "Cancel", Kind::Button, { 0, 285, 75, 31 }, "F1\nОтмена", 10, true },
    { "Exit", Kind::Button, { 160, 285, 75, 31 }, "Выход", 10, true },
    { "vPrice", Kind::Boxed, { 173, 55, 66, 21 }, "", 10, true },
    { "vRest", Kind::Edit, { 150, 165, 56, 20 }, "", 10, true },
    { "Search", Kind::Button, { 80, 285, 75, 31 }, "F2\nПодбор", 10, true },
    { "UserTitle", Kind::Title, { 0, 0, 240, 16 }, "Ввод данных", 10, true },
    { "line", Kind::Line, { 0, 10, 240, 16 }, "", 10, true },
    { "bBar", Kind::Button, { 210, 24, 30, 23 }, "Ok", 10, true },
    { "bRest", Kind::Button, { 210, 164, 30, 23 }, "Ok", 10, true },
    { "hCode", Kind::Label, { 5, 55, 31, 20 }, "Код", 10, true },
    { "vCode", Kind::Boxed, { 35, 55, 91, 20 }, "", 10, true },
    { "hName", Kind::Label, { 5, 80, 86, 20 }, "Название", 10, true },
    { "vName", Kind::TextBox, { 5, 100, 231, 60 }, "", 10, true },
    { "hDocTovRest", Kind::Label, { 5, 185, 111, 20 }, "Товара в док.", 10, true },
    { "vDocTovRest", Kind::Boxed, { 5, 205, 111, 20 }, "", 10, true },
    { "hSumTovRest", Kind::Label, { 130, 185, 71, 20 }, "На сумму", 10, true },
    { "vSumTovRest", Kind::Boxed, { 130, 205, 106, 20 }, "", 10, true },
    { "hDocSum", Kind::Label, { 130, 230, 110, 20 }, "Сумма по док.:", 10, true },
    { "vDocSum", Kind::Boxed, { 130, 250, 106, 20 }, "", 10, true },
    { "hDocLin", Kind::Label, { 5, 230, 101, 16 }, "Строк в док.", 10, true },
    { "vDocLin", Kind::Boxed, { 5, 250, 111, 20 }, "", 10, true },
};

// The table panel: 8 point from the window, the code label 10 point, the table "Courier" 8.
const Child TabChildren[] = {
    { "TabWid", Kind::Table, { 0, 50, 220, 180 }, "", 8, false },
    { "ScrollBar", Kind::Scroll, { 220, 50, 20, 180 }, "", 8, false },
    { "RowName", Kind::Label, { 2, 232, 236, 18 }, "", 9, true },
    { "hBar", Kind::Label, { 10, 25, 81, 16 }, "Код(ШК):", 10, false },
    { "vBar", Kind::Edit, { 90, 25, 116, 20 }, "", 8, false },
    { "hPrice", Kind::Label, { 0, 255, 41, 16 }, "Цена", 8, false },
    { "hRest", Kind::Label, { 110, 260, 46, 13 }, "Кол-во", 8, false },
    { "Cancel", Kind::Button, { 0, 285, 75, 31 }, "F1 Отмена", 8, false },
    { "Exit", Kind::Button, { 160, 285, 75, 31 }, "Выход", 8, false },
    { "vPrice", Kind::Boxed, { 40, 255, 61, 21 }, "", 8, false },
    { "vRest", Kind::Edit, { 160, 255, 46, 20 }, "", 8, false },
    { "Search", Kind::Button, { 80, 285, 75, 31 }, "F2 Подбор", 8, false },
    { "UserTitle", Kind::Title, { 0, 0, 240, 16 }, "Ввод данных", 8, false },
    { "line", Kind::Line, { 0, 10, 240, 16 }, "", 8, false },
    { "bBar", Kind::Button, { 210, 24, 30, 23 }, "Ok", 8, false },
    { "bRest", Kind::Button, { 210, 254, 30, 23 }, "Ok", 8, false },
};

std::unique_ptr<VvodPanelWin> makePanel(const QString& panel)
{
    if (panel == QLatin1String("table"))
        return std::make_unique<VvodWin>();
    return std::make_unique<VvodRecWin>();
}

QStringList childNames(const QString& panel)
{
    QStringList names;
    if (panel == QLatin1String("table"))
        for (const Child& c : TabChildren)
            names << QLatin1String(c.name);
    else
        for (const Child& c : RecChildren)
            names << QLatin1String(c.name);
    names.sort();
    return names;
}

// The text a label, line edit, button or text box shows; empty for anything else.
QString shownText(const QWidget* widget)
{
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (auto* button = qobject_cast<const QPushButton*>(widget))
        return button->text();
    if (auto* box = qobject_cast<const QTextEdit*>(widget))
        return box->toPlainText();
    return QString();
}

using Signal = void (VvodPanelWin::*)();

Signal signalNamed(const QString& name)
{
    if (name == QLatin1String("snExit"))
        return &VvodPanelWin::snExit;
    if (name == QLatin1String("snBar"))
        return &VvodPanelWin::snBar;
    if (name == QLatin1String("snRest"))
        return &VvodPanelWin::snRest;
    if (name == QLatin1String("snCancel"))
        return &VvodPanelWin::snCancel;
    if (name == QLatin1String("snSearch"))
        return &VvodPanelWin::snSearch;
    if (name == QLatin1String("snEsc"))
        return &VvodPanelWin::snEsc;
    return &VvodPanelWin::snScan;
}

// A button is clicked with the mouse; for a line edit, Enter is pressed in it.
void operate(VvodPanelWin* panel, const QString& name)
{
    QWidget* widget = panel->findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    if (qobject_cast<QLineEdit*>(widget))
        QTest::keyClick(widget, Qt::Key_Return);
    else
        QTest::mouseClick(widget, Qt::LeftButton);
}

// The result table as the entry panel shows it, and its "ВВОД" view.
TableDescr resTable()
{
    using Fixtures::field;
    return Fixtures::table("RES", "OSTATKI", ';',
        { field("BAR", FieldType::Digit, 13), field("CODE", FieldType::Digit, 6),
            field("NAME", FieldType::Text, 30, LenRule::Minimal),
            field("PRICE", FieldType::Summa, 10, LenRule::Minimal),
            field("REST", FieldType::Quantity, 10, LenRule::Minimal) });
}

ViewDescr entryView()
{
    using ViewFx::column;
    ViewDescr v;
    v.tableExtension = "RES";
    v.mode = TestUtil::cp("ВВОД");
    v.fontSize = 8;
    v.columns = { column("NAME", "Наименование", 105), column("REST", "Кол-во", 50, '+', AlignRight),
        column("PRICE", "Цена", 50, '+', AlignRight), column("BAR", "Штрихкод", 95, '-'),
        column("CODE", "Код", 45, '-', AlignRight) };
    v.bind(resTable());
    return v;
}

} // namespace

class TestVvodWin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_log = TestUtil::openRunLogIn(m_dir.path());
        QVERIFY(!m_log.isEmpty());
    }
    void cleanupTestCase() { RunLog::instance().close(); }

    void form_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(TabChildren)); ++i)
            QTest::addRow("table/%s", TabChildren[i].name) << QStringLiteral("table") << i;
        for (int i = 0; i < int(std::size(RecChildren)); ++i)
            QTest::addRow("record/%s", RecChildren[i].name) << QStringLiteral("record") << i;
    }
    void form()
    {
        QFETCH(QString, panel);
        QFETCH(int, index);
        const Child& c = panel == QLatin1String("table") ? TabChildren[index] : RecChildren[index];
        const auto win = makePanel(panel);
        auto* widget = win->findChild<QWidget*>(QLatin1String(c.name));
        QVERIFY(widget);
        QCOMPARE(widget->parentWidget(), win.get());
        QCOMPARE(widget->geometry(), c.geometry);
        QCOMPARE(shownText(widget), QString::fromUtf8(c.text));
        QCOMPARE(widget->font().pointSize(), c.pointSize);
        QCOMPARE(widget->font().bold(), c.bold);
        auto* frame = qobject_cast<QFrame*>(widget);
        switch (c.kind) {
        case Kind::Label:
        case Kind::Boxed:
        case Kind::Title: {
            auto* label = qobject_cast<QLabel*>(widget);
            QVERIFY(label);
            QCOMPARE(label->frameShape(), c.kind == Kind::Boxed ? QFrame::Box : QFrame::NoFrame);
            // A fixed caption is squeezed to its width when the font is wider than the terminal's.
            QVERIFY(QFontMetrics(label->font()).horizontalAdvance(label->text()) <= label->contentsRect().width());
            if (c.kind == Kind::Title) {
                QCOMPARE(label->alignment(), Qt::AlignCenter);
                QCOMPARE(label->styleSheet(), QStringLiteral("color: white; background: blue"));
            }
            break;
        }
        case Kind::Line:
            QVERIFY(frame);
            QCOMPARE(frame->frameShape(), QFrame::HLine);
            break;
        case Kind::Edit:
            QVERIFY(qobject_cast<QLineEdit*>(widget));
            break;
        case Kind::Button:
            QVERIFY(qobject_cast<QPushButton*>(widget));
            break;
        case Kind::TextBox:
            QVERIFY(qobject_cast<QTextEdit*>(widget));
            QVERIFY(qobject_cast<QTextEdit*>(widget)->isReadOnly());
            break;
        case Kind::Table: {
            auto* table = qobject_cast<QTableWidget*>(widget);
            QVERIFY(table);
            QCOMPARE(table->font().family(), QStringLiteral("Courier"));
            QCOMPARE(table->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
            break;
        }
        case Kind::Scroll:
            QVERIFY(qobject_cast<QScrollBar*>(widget));
            QCOMPARE(qobject_cast<QScrollBar*>(widget)->orientation(), Qt::Vertical);
            break;
        }
    }

    // The window itself, and no child the lists above do not name.
    void window_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("pointSize");
        QTest::addColumn<bool>("bold");
        QTest::newRow("table") << QStringLiteral("table") << QSize(240, 320) << 8 << false;
        QTest::newRow("record") << QStringLiteral("record") << QSize(240, 320) << 10 << true;
    }
    void window()
    {
        QFETCH(QString, panel);
        QFETCH(QSize, size);
        QFETCH(int, pointSize);
        QFETCH(bool, bold);
        const auto win = makePanel(panel);
        QCOMPARE(win->windowTitle(), QStringLiteral("Инвентаризация(п)"));
        QCOMPARE(win->size(), size);
        QCOMPARE(win->font().pointSize(), pointSize);
        QCOMPARE(win->font().bold(), bold);
        QStringList names;
        for (const QWidget* child : win->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            names << child->objectName();
        names.sort();
        QCOMPARE(names, childNames(panel));
        QCOMPARE(win->findChild<QLineEdit*>(QStringLiteral("vBar"))->maxLength(), 32);
        QVERIFY(win->guardOpen());
    }

    void barTakesAtMost32_data() { panels(); }
    void barTakesAtMost32()
    {
        QFETCH(QString, panel);
        const auto win = makePanel(panel);
        auto* bar = win->findChild<QLineEdit*>(QStringLiteral("vBar"));
        const QString code = QStringLiteral("123456789012345678901234567890123");
        QCOMPARE(code.size(), 33);
        QTest::keyClicks(bar, code);
        QCOMPARE(win->barText(), code.left(32));
    }

    void guard_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<bool>("guarded");
        const char* const names[] = { "table", "record" };
        for (const char* p : names) {
            const QString panel = QString::fromLatin1(p);
            QTest::addRow("%s/Exit", p) << panel << QStringLiteral("Exit") << QStringLiteral("snExit") << true;
            QTest::addRow("%s/vBar Enter", p) << panel << QStringLiteral("vBar") << QStringLiteral("snBar") << true;
            QTest::addRow("%s/vRest Enter", p) << panel << QStringLiteral("vRest") << QStringLiteral("snRest") << true;
            QTest::addRow("%s/Cancel", p) << panel << QStringLiteral("Cancel") << QStringLiteral("snCancel") << true;
            QTest::addRow("%s/Search", p) << panel << QStringLiteral("Search") << QStringLiteral("snSearch") << true;
            QTest::addRow("%s/bBar", p) << panel << QStringLiteral("bBar") << QStringLiteral("snBar") << false;
            QTest::addRow("%s/bRest", p) << panel << QStringLiteral("bRest") << QStringLiteral("snRest") << false;
        }
    }
    // Each control emits its signal while the guard is open; the guarded ones are silent while it
    // is closed.
    void guard()
    {
        QFETCH(QString, panel);
        QFETCH(QString, widget);
        QFETCH(QString, signal);
        QFETCH(bool, guarded);
        const auto win = makePanel(panel);
        showScreen(win.get());
        QVERIFY(QTest::qWaitForWindowExposed(win.get()));
        QSignalSpy spy(win.get(), signalNamed(signal));
        win->setGuardOpen(false);
        operate(win.get(), widget);
        QCOMPARE(spy.count(), guarded ? 0 : 1);
        win->setGuardOpen(true);
        operate(win.get(), widget);
        QCOMPARE(spy.count(), guarded ? 1 : 2);
    }

    void searchOpensOnce_data() { panels(); }
    // A second press before the chooser has opened the guard again does nothing.
    void searchOpensOnce()
    {
        QFETCH(QString, panel);
        const auto win = makePanel(panel);
        showScreen(win.get());
        QVERIFY(QTest::qWaitForWindowExposed(win.get()));
        QSignalSpy search(win.get(), &VvodPanelWin::snSearch);
        operate(win.get(), QStringLiteral("Search"));
        operate(win.get(), QStringLiteral("Search"));
        QCOMPARE(search.count(), 1);
        QVERIFY(!win->guardOpen());
        win->setGuardOpen(true);
        operate(win.get(), QStringLiteral("Search"));
        QCOMPARE(search.count(), 2);
    }

    void keys_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("focus"); // empty: the window itself
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("signal");
        const char* const names[] = { "table", "record" };
        for (const char* p : names) {
            const QString panel = QString::fromLatin1(p);
            QTest::addRow("%s/Escape in vBar", p)
                << panel << QStringLiteral("vBar") << int(Qt::Key_Escape) << QStringLiteral("snEsc");
            QTest::addRow("%s/Escape in vRest", p)
                << panel << QStringLiteral("vRest") << int(Qt::Key_Escape) << QStringLiteral("snEsc");
            QTest::addRow("%s/Escape on Exit", p)
                << panel << QStringLiteral("Exit") << int(Qt::Key_Escape) << QStringLiteral("snEsc");
            QTest::addRow("%s/Escape to window", p)
                << panel << QString() << int(Qt::Key_Escape) << QStringLiteral("snEsc");
            QTest::addRow("%s/scan in vBar", p)
                << panel << QStringLiteral("vBar") << int(Scanner::ScanKey) << QStringLiteral("snScan");
            QTest::addRow("%s/scan in vRest", p)
                << panel << QStringLiteral("vRest") << int(Scanner::ScanKey) << QStringLiteral("snScan");
            QTest::addRow("%s/scan to window", p)
                << panel << QString() << int(Scanner::ScanKey) << QStringLiteral("snScan");
        }
        QTest::newRow("table/Escape in TabWid")
            << QStringLiteral("table") << QStringLiteral("TabWid") << int(Qt::Key_Escape) << QStringLiteral("snEsc");
        QTest::newRow("table/scan in TabWid")
            << QStringLiteral("table") << QStringLiteral("TabWid") << int(Scanner::ScanKey) << QStringLiteral("snScan");
    }
    // The key reaches the window from whichever widget has it, is logged once as "Key=" and its
    // code, and emits its one signal; the other key signal stays silent.
    void keys()
    {
        QFETCH(QString, panel);
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(QString, signal);
        const auto win = makePanel(panel);
        QWidget* target = focus.isEmpty() ? win.get() : win->findChild<QWidget*>(focus);
        QVERIFY(target);
        QSignalSpy esc(win.get(), &VvodPanelWin::snEsc);
        QSignalSpy scan(win.get(), &VvodPanelWin::snScan);
        const qsizetype logged = TestUtil::readFile(m_log).size();

        QTest::keyClick(target, Qt::Key(key));

        QCOMPARE(esc.count(), signal == QLatin1String("snEsc") ? 1 : 0);
        QCOMPARE(scan.count(), signal == QLatin1String("snScan") ? 1 : 0);
        QCOMPARE(TestUtil::readFile(m_log).mid(logged), QByteArray("Key=" + QByteArray::number(key) + "\r\n"));
    }

    void cellClick_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::newRow("first cell") << 0 << 0;
        QTest::newRow("row 2, quantity") << 2 << 1;
        QTest::newRow("row 3, price") << 3 << 2;
    }
    void cellClick()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        VvodWin win;
        ViewDescr view = entryView();
        win.setUpTable(view, resTable());
        showScreen(&win);
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        auto* table = win.findChild<QTableWidget*>(QStringLiteral("TabWid"));
        QSignalSpy clicks(&win, &VvodWin::snCellCli);
        const QRect cell = table->visualItemRect(table->item(row, column));
        QVERIFY(table->viewport()->rect().contains(cell.center()));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.at(0).at(0).toInt(), row);
        QCOMPARE(clicks.at(0).at(1).toInt(), column);
    }

    // The program's own moves of the scroll bar are not reported; the operator's are, with the
    // value the bar now shows.
    void scrollReportsOnlyTheOperator()
    {
        VvodWin win;
        ViewDescr view = entryView();
        const int rows = win.setUpTable(view, resTable());
        showScreen(&win);
        QVERIFY(QTest::qWaitForWindowExposed(&win));
        auto* bar = win.findChild<QScrollBar*>(QStringLiteral("ScrollBar"));
        QSignalSpy moves(&win, &VvodWin::snValCha);

        win.setScroll(20, 4);
        QCOMPARE(bar->maximum(), 20);
        QCOMPARE(bar->value(), 4);
        win.setScroll(2, 2); // also pulls the value in: still the program's move
        QCOMPARE(bar->value(), 2);
        win.setScroll(20, 4);
        QCOMPARE(moves.count(), 0);

        QTest::keyClick(bar, Qt::Key_PageDown);
        QCOMPARE(moves.count(), 1);
        QCOMPARE(moves.at(0).at(0).toInt(), bar->value());
        QCOMPARE(bar->value(), 4 + rows - 1);
    }

    // What the controller draws lands in the table's cells and selection.
    void rows()
    {
        VvodWin win;
        ViewDescr view = entryView();
        const TableDescr table = resTable();
        const int rows = win.setUpTable(view, resTable());
        auto* tab = win.findChild<QTableWidget*>(QStringLiteral("TabWid"));
        QVERIFY(rows >= 4);
        QCOMPARE(view.rows, rows);
        QCOMPARE(tab->rowCount(), rows);

        const QByteArray record = ViewFx::record(table, "4600000000017;1017;Молоко;56.30;2.500");
        win.showRow(1, record, table, view, fieldToText);
        QCOMPARE(tab->item(1, 0)->text(), QStringLiteral("Молоко"));
        QCOMPARE(tab->item(1, 1)->text(), QStringLiteral("2.5"));
        QCOMPARE(tab->item(1, 2)->text(), QStringLiteral("56.3"));

        win.selectRow(1);
        QCOMPARE(tab->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(tab->selectionModel()->selectedRows().at(0).row(), 1);
        win.selectRow(-1);
        QVERIFY(!tab->selectionModel()->hasSelection());

        win.clearRow(1);
        QCOMPARE(tab->item(1, 0)->text(), QString());
        QCOMPARE(tab->item(1, 2)->text(), QString());
    }

    void focus_data() { panels(); }
    void focus()
    {
        QFETCH(QString, panel);
        const auto win = makePanel(panel);
        showScreen(win.get());
        QVERIFY(QTest::qWaitForWindowActive(win.get()));
        auto* bar = win->findChild<QLineEdit*>(QStringLiteral("vBar"));
        auto* rest = win->findChild<QLineEdit*>(QStringLiteral("vRest"));
        win->setRestText(QStringLiteral("1.000"));
        win->editRest();
        QTRY_VERIFY(rest->hasFocus());
        QCOMPARE(rest->selectedText(), QStringLiteral("1.000"));
        // Typing replaces the proposed quantity.
        QTest::keyClicks(rest, QStringLiteral("7"));
        QCOMPARE(win->restText(), QStringLiteral("7"));
        win->leaveRest();
        QTRY_VERIFY(!rest->hasFocus());
        win->focusBar();
        QTRY_VERIFY(bar->hasFocus());
    }

    // Every call reaches its own widget; the filled panel is saved as a picture.
    void fill_data() { panels(); }
    void fill()
    {
        QFETCH(QString, panel);
        struct Common {
            void (VvodPanelWin::*set)(const QString&);
            const char* widget;
            const char* text;
        };
        struct Record {
            void (VvodRecWin::*set)(const QString&);
            const char* widget;
            const char* text;
        };
        const Common common[] = { { &VvodPanelWin::setTitle, "UserTitle", "Ввод данных.Справочник остатков 3" },
            { &VvodPanelWin::setBarText, "vBar", "4600000000017" }, { &VvodPanelWin::setPriceText, "vPrice", "56.30" },
            { &VvodPanelWin::setRestText, "vRest", "2.5" } };
        const Record record[] = { { &VvodRecWin::setCode, "vCode", "1017" },
            { &VvodRecWin::setName, "vName", "Молоко пастеризованное 3,2% 1 л" },
            { &VvodRecWin::setDocTovRest, "vDocTovRest", "7.5" },
            { &VvodRecWin::setSumTovRest, "vSumTovRest", "422.25" }, { &VvodRecWin::setDocLin, "vDocLin", "12" },
            { &VvodRecWin::setDocSum, "vDocSum", "Нет учёта" } };
        QList<std::pair<const char*, const char*>> shown; // widget, text
        const auto win = makePanel(panel);
        for (const Common& c : common) {
            (win.get()->*c.set)(QString::fromUtf8(c.text));
            shown.append(std::make_pair(c.widget, c.text));
        }
        if (auto* rec = qobject_cast<VvodRecWin*>(win.get())) {
            for (const Record& c : record) {
                (rec->*c.set)(QString::fromUtf8(c.text));
                shown.append(std::make_pair(c.widget, c.text));
            }
        } else {
            auto* tab = static_cast<VvodWin*>(win.get());
            ViewDescr view = entryView();
            const TableDescr table = resTable();
            const char* const lines[] = { "4600000000017;1017;Молоко пастеризованное 3,2% 1л;56.30;2.500",
                "4600000000024;1024;Хлеб;32.00;1.000", "4600000000031;1031;Сыр российский весовой;415.90;0.350" };
            tab->setUpTable(view, resTable());
            for (int r = 0; r < 3; ++r)
                tab->showRow(r, ViewFx::record(table, lines[r]), table, view, fieldToText);
            tab->selectRow(2);
            // The selected row's whole name, under the table.
            shown.append(std::make_pair("RowName", "Сыр российский весовой"));
            tab->setScroll(5, 2);
        }
        for (const auto& [widget, text] : shown)
            QCOMPARE(shownText(win->findChild<QWidget*>(QLatin1String(widget))), QString::fromUtf8(text));
        // The Cancel button's word follows its key, on a line of its own where the button is narrow.
        win->setCancelText(QStringLiteral("Просмотр"));
        QVERIFY(shownText(win->findChild<QWidget*>(QStringLiteral("Cancel")))
                    .contains(QRegularExpression(QStringLiteral("^F1[ \n]Просмотр$"))));
        showScreen(win.get());
        QVERIFY(QTest::qWaitForWindowExposed(win.get()));
        ViewFx::screen(win.get(), "vvod");
    }

private:
    static void panels()
    {
        QTest::addColumn<QString>("panel");
        QTest::newRow("table") << QStringLiteral("table");
        QTest::newRow("record") << QStringLiteral("record");
    }

    QTemporaryDir m_dir;
    QString m_log;
};

QTEST_MAIN(TestVvodWin)
#include "tst_vvodwin.moc"
