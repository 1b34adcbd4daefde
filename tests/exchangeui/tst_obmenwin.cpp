#include "ObMainWin.h"
#include "ObmenWin.h"
#include "ScriptedResponder.h"
#include "TestUtil.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <limits>

class TestObmenWin : public QObject {
    Q_OBJECT
private slots:
    void menuKeys_data();
    void menuKeys();
    void progress_data();
    void progress();
    void abortKeys_data();
    void abortKeys();
    void stepAndCounter();
};

void TestObmenWin::menuKeys_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("expected");
    // The digits work whatever button has the focus; Return presses the focused one.
    for (const char* focus : { "Load", "Unload", "Exit" }) {
        const QString f = QString::fromLatin1(focus);
        QTest::newRow(qPrintable(f + QStringLiteral(" 1"))) << f << int(Qt::Key_1) << QStringLiteral("load");
        QTest::newRow(qPrintable(f + QStringLiteral(" 2"))) << f << int(Qt::Key_2) << QStringLiteral("unload");
        QTest::newRow(qPrintable(f + QStringLiteral(" 3"))) << f << int(Qt::Key_3) << QStringLiteral("exit");
        QTest::newRow(qPrintable(f + QStringLiteral(" escape"))) << f << int(Qt::Key_Escape) << QStringLiteral("exit");
    }
    QTest::newRow("return on Load") << QStringLiteral("Load") << int(Qt::Key_Return) << QStringLiteral("load");
    QTest::newRow("return on Unload") << QStringLiteral("Unload") << int(Qt::Key_Return) << QStringLiteral("unload");
    QTest::newRow("return on Exit") << QStringLiteral("Exit") << int(Qt::Key_Return) << QStringLiteral("exit");
    QTest::newRow("other key") << QStringLiteral("Load") << int(Qt::Key_4) << QString();
}

void TestObmenWin::menuKeys()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(QString, expected);
    ObMainWin win;
    win.show();
    QVERIFY(QTest::qWaitForWindowExposed(&win));
    QSignalSpy load(&win, &ObMainWin::ObMainWinLoad);
    QSignalSpy unload(&win, &ObMainWin::ObMainWinUnload);
    QSignalSpy exit(&win, &ObMainWin::ObMainWinExit);
    auto* button = win.findChild<QPushButton*>(focus);
    QVERIFY(button);
    button->setFocus();
    QTRY_VERIFY(button->hasFocus());
    QTest::keyClick(button, static_cast<Qt::Key>(key));
    QCOMPARE(load.count(), expected == QLatin1String("load") ? 1 : 0);
    QCOMPARE(unload.count(), expected == QLatin1String("unload") ? 1 : 0);
    QCOMPARE(exit.count(), expected == QLatin1String("exit") ? 1 : 0);
}

void TestObmenWin::progress_data()
{
    QTest::addColumn<qint64>("done");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("value"); // -1: a busy bar
    const qint64 huge = std::numeric_limits<qint64>::max();
    QTest::newRow("half") << qint64(50) << qint64(100) << 50;
    QTest::newRow("a third") << qint64(1) << qint64(3) << 33;
    QTest::newRow("all") << qint64(7) << qint64(7) << 100;
    QTest::newRow("beyond the total") << qint64(300) << qint64(100) << 100;
    QTest::newRow("negative") << qint64(-5) << qint64(100) << 0;
    QTest::newRow("half of the 64-bit range") << huge / 2 << huge << 50;
    QTest::newRow("total 0") << qint64(0) << qint64(0) << -1;
    QTest::newRow("total unknown") << qint64(10) << qint64(-1) << -1;
}

void TestObmenWin::progress()
{
    QFETCH(qint64, done);
    QFETCH(qint64, total);
    QFETCH(int, value);
    ObmenWin win;
    auto* bar = win.findChild<QProgressBar*>(QStringLiteral("progress"));
    QVERIFY(bar);
    win.setProgress(done, total);
    if (value < 0) {
        QCOMPARE(bar->maximum(), 0);
    } else {
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), value);
    }
    // A new entry starts the bar again at 0 of 100.
    win.resetProgress();
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);
}

void TestObmenWin::abortKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("answer"); // -2: no question
    QTest::addColumn<int>("aborts");
    QTest::newRow("escape aborts at once") << int(Qt::Key_Escape) << -2 << 1;
    QTest::newRow("return, Прервать") << int(Qt::Key_Return) << 0 << 1;
    QTest::newRow("return, Продолжить") << int(Qt::Key_Return) << 1 << 0;
    QTest::newRow("return, escape on the question") << int(Qt::Key_Return) << int(DialogResponder::Escape) << 0;
}

void TestObmenWin::abortKeys()
{
    QFETCH(int, key);
    QFETCH(int, answer);
    QFETCH(int, aborts);
    ScriptedResponder boxes;
    if (answer != -2)
        boxes.answerNext(answer);
    ObmenWin win;
    win.show();
    QVERIFY(QTest::qWaitForWindowExposed(&win));
    QSignalSpy abort(&win, &ObmenWin::AbortFtp);
    auto* button = win.findChild<QPushButton*>(QStringLiteral("abortButton"));
    button->setFocus();
    QTest::keyClick(button, static_cast<Qt::Key>(key));
    QCOMPARE(abort.count(), aborts);
    if (answer == -2) {
        QVERIFY(boxes.boxes().isEmpty());
    } else {
        QCOMPARE(boxes.boxes().size(), 1);
        const ScriptedResponder::Box& box = boxes.boxes().first();
        QCOMPARE(box.title, QStringLiteral("Обмен"));
        QCOMPARE(box.text, QStringLiteral("Обмен по ФТП"));
        QCOMPARE(box.first, QStringLiteral("Прервать"));
        QCOMPARE(box.second, QStringLiteral("Продолжить"));
    }
    QCOMPARE(boxes.unexpected(), 0);
}

void TestObmenWin::stepAndCounter()
{
    ObmenWin win;
    const auto label = [&win](const char* name) {
        const auto* l = win.findChild<QLabel*>(QLatin1String(name));
        return l ? l->text() : QStringLiteral("<none>");
    };
    QCOMPARE(win.windowTitle(), QStringLiteral("Загрузка/выгрузка"));
    QCOMPARE(label("ftpState"), QStringLiteral("Обмен\nотсутствует"));
    win.setState(QStringLiteral("Копирование"));
    win.setProgress(3, 4);
    win.setFileCounter(2, 5);
    win.showStep(QStringLiteral("Выгрузка"), QStringLiteral("Справочник остатков"));
    QCOMPARE(win.windowTitle(), QStringLiteral("Выгрузка"));
    QCOMPARE(label("UserTitle"), QStringLiteral("Выгрузка"));
    QCOMPARE(label("ftpStateLab"), QStringLiteral("Состояние"));
    QCOMPARE(label("ftpState"), QString());
    QCOMPARE(label("Sprav"), QStringLiteral("Справочник остатков"));
    QCOMPARE(label("FileCount"), QString());
    QCOMPARE(win.findChild<QProgressBar*>(QStringLiteral("progress"))->value(), 0);
    win.setFileCounter(2, 5);
    QCOMPARE(label("FileCount"), QStringLiteral("Справочник 2 из 5"));
    win.setFileCounter(0, 0);
    QCOMPARE(label("FileCount"), QString());
    TestUtil::saveScreen(&win, QStringLiteral("ObmenWin"));
}

QTEST_MAIN(TestObmenWin)
#include "tst_obmenwin.moc"
