// The parameter grid: what each row kind takes and refuses, all or nothing. The keypad is driven
// through the editors (tst_naeditors).

#include "ParmsWin.h"
#include "TableDescr.h"
#include "TestUtil.h"
#include "ViewingFixtures.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

using TestUtil::cp;

namespace {

ParmViewDescr page(int rows)
{
    ParmViewDescr view;
    view.fontFamily = "Courier";
    view.fontSize = 9;
    for (int i = 0; i < rows; ++i) {
        ParmDescr parm;
        parm.key = "K" + QByteArray::number(i);
        parm.label = cp("Параметр ") + QByteArray::number(i);
        parm.flag = '+';
        view.parms.append(parm);
    }
    return view;
}

QWidget* focused()
{
    return QApplication::focusWidget();
}

} // namespace

class TestParmsWin : public QObject {
    Q_OBJECT
private slots:
    void takes_data();
    void takes();
    void returnEditsFocusedRow();
};

void TestParmsWin::takes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("buffer");
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QByteArray>("stored"); // text bytes, or the number in decimal

    const QString cyr15 = QString(15, QChar(0x0436)); // ж
    QTest::newRow("Cyrillic is one byte") << "text" << 16 << "" << cyr15 << true << QByteArray(15, '\xe6');
    QTest::newRow("16 Cyrillic in 16") << "text" << 16 << "" << (cyr15 + QChar(0x0436)) << false << QByteArray();
    QTest::newRow("euro sign is in the codepage")
        << "text" << 64 << "" << QStringLiteral("\u20ac5") << true << QByteArray::fromHex("8835");
    QTest::newRow("u umlaut is not") << "text" << 64 << "" << QStringLiteral("J\u00fcrgen") << false << QByteArray();
    QTest::newRow("refused backslash") << "text" << 16 << "/\\"
                                       << "01\\2" << false << QByteArray();
    QTest::newRow("folder 510 bytes") << "text" << 512 << "" << QString(510, QLatin1Char('f')) << true
                                      << QByteArray(510, 'f');
    // The settings reader takes no longer value: 511 bytes would stop the next start.
    QTest::newRow("folder 511 bytes") << "text" << 512 << "" << QString(511, QLatin1Char('f')) << false << QByteArray();
    QTest::newRow("password 16") << "password" << 64 << "" << cyr15 + QLatin1Char('1') << true
                                 << QByteArray(15, '\xe6') + '1';
    QTest::newRow("password 17") << "password" << 64 << "" << cyr15 + QStringLiteral("12") << false << QByteArray();
    QTest::newRow("password trimmed") << "password" << 64 << ""
                                      << "  pass 1 " << true << QByteArray("pass 1");
    QTest::newRow("integer") << "integer" << 4 << ""
                             << "-42" << true << QByteArray("-42");
    QTest::newRow("integer with letters") << "integer" << 4 << ""
                                          << "12a" << false << QByteArray();
    QTest::newRow("integer of 12 digits") << "integer" << 4 << ""
                                          << "123456789012" << false << QByteArray();
    QTest::newRow("quantity whole") << "quantity" << 4 << ""
                                    << "1" << true << QByteArray("1000");
    QTest::newRow("quantity past 32 bits") << "quantity" << 4 << ""
                                           << "2147484" << false << QByteArray();
}

void TestParmsWin::takes()
{
    QFETCH(QString, kind);
    QFETCH(int, buffer);
    QFETCH(QString, refused);
    QFETCH(QString, typed);
    QFETCH(bool, taken);
    QFETCH(QByteArray, stored);

    QByteArray text("old");
    qint32 number = 77;
    bool flag = false;
    ParmsWin grid;
    ParmTextRules rules;
    rules.refused = refused;
    grid.addCheck(&flag, 0);
    if (kind == QLatin1String("text"))
        grid.addText(&text, buffer, 1, rules);
    else if (kind == QLatin1String("password"))
        grid.addPassword(&text, buffer, 1);
    else if (kind == QLatin1String("integer"))
        grid.addInteger(&number, 1);
    else
        grid.addQuantity(&number, 1);
    grid.build(page(2));
    grid.show();
    QVERIFY(QTest::qWaitForWindowActive(&grid));

    QTest::keyClick(focused(), Qt::Key_Space);
    QTest::keyClick(focused(), Qt::Key_Down);
    auto* edit = qobject_cast<QLineEdit*>(focused());
    QVERIFY(edit);
    QCOMPARE(edit->echoMode(), kind == QLatin1String("password") ? QLineEdit::Password : QLineEdit::Normal);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    ViewFx::typeText(edit, typed);
    QCOMPARE(edit->text(), typed);

    QCOMPARE(grid.writeBack(), taken ? -1 : 1);
    // All or nothing: the check box above changes only when the typed row was taken.
    QCOMPARE(flag, taken);
    const QByteArray result = text != "old" ? text : number != 77 ? QByteArray::number(number) : QByteArray();
    QCOMPARE(result, stored);
}

void TestParmsWin::returnEditsFocusedRow()
{
    // Return edits the row that has the focus, and only that row is marked as the focused one.
    bool flag = false;
    qint32 choice = 2;
    QByteArray text("old");
    ParmsWin grid;
    grid.addCheck(&flag, 0);
    grid.addEnumeration(&choice, { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") }, 1);
    grid.addText(&text, 16, 2);
    grid.build(page(3));
    grid.show();
    QVERIFY(QTest::qWaitForWindowActive(&grid));

    const auto marked = [&grid] {
        QList<int> rows;
        for (int r = 0; r < grid.rowCount(); ++r)
            if (grid.rowMarked(r))
                rows << r;
        return rows;
    };
    QTRY_COMPARE(marked(), QList<int> { 0 });
    QTest::keyClick(focused(), Qt::Key_Return); // toggles
    QTest::keyClick(focused(), Qt::Key_Down);
    QCOMPARE(marked(), QList<int> { 1 });
    QTest::keyClick(focused(), Qt::Key_Enter); // from the last item round to the first
    QTest::keyClick(focused(), Qt::Key_Down);
    QCOMPARE(marked(), QList<int> { 2 });
    auto* edit = qobject_cast<QLineEdit*>(focused());
    QVERIFY(edit);
    edit->end(false);
    QTest::keyClick(edit, Qt::Key_Return); // the old value goes when a new one is typed
    ViewFx::typeText(edit, QStringLiteral("new"));

    QCOMPARE(grid.writeBack(), -1);
    QCOMPARE(flag, true);
    QCOMPARE(choice, 0);
    QCOMPARE(text, QByteArray("new"));
}

QTEST_MAIN(TestParmsWin)
#include "tst_parmswin.moc"
