// The screen-fit check every screen picture and every box of the tests goes through, and the
// terminal's message and question box it is applied to.

#include "ChoiceBox.h"
#include "ScreenFit.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

class TestScreenFit : public QObject {
    Q_OBJECT

private slots:
    void checkFindsWhatIsCut_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QRect>("button");
        QTest::addColumn<QString>("buttonText");
        QTest::addColumn<QRect>("label");
        QTest::addColumn<QString>("labelText");
        QTest::addColumn<bool>("wrap");
        QTest::addColumn<int>("problems");
        const QSize screen(240, 320);
        const QString next = QStringLiteral("Продолжить");
        const QString name = QStringLiteral("Справочник остатков");
        QTest::newRow("fits") << screen << QRect(10, 280, 110, 30) << next << QRect(5, 30, 230, 20) << name << false
                              << 0;
        QTest::newRow("window wider than the screen")
            << QSize(244, 320) << QRect(10, 280, 110, 30) << next << QRect(5, 30, 230, 20) << name << false << 1;
        QTest::newRow("button past the right edge")
            << screen << QRect(220, 25, 21, 23) << QString() << QRect(5, 30, 230, 20) << name << false << 1;
        QTest::newRow("button text cut") << screen << QRect(10, 280, 60, 30) << next << QRect(5, 30, 230, 20) << name
                                         << false << 1;
        QTest::newRow("label text cut") << screen << QRect(10, 280, 110, 30) << next << QRect(5, 30, 60, 20) << name
                                        << false << 1;
        QTest::newRow("wrapped label too low")
            << screen << QRect(10, 280, 110, 30) << next << QRect(5, 30, 90, 16) << name << true << 1;
        QTest::newRow("label below the bottom")
            << screen << QRect(10, 280, 110, 30) << next << QRect(5, 310, 230, 20) << name << false << 1;
    }
    void checkFindsWhatIsCut()
    {
        QFETCH(QSize, window);
        QFETCH(QRect, button);
        QFETCH(QString, buttonText);
        QFETCH(QRect, label);
        QFETCH(QString, labelText);
        QFETCH(bool, wrap);
        QFETCH(int, problems);
        QWidget win;
        win.resize(window);
        auto* b = new QPushButton(buttonText, &win);
        b->setGeometry(button);
        auto* l = new QLabel(labelText, &win);
        l->setGeometry(label);
        l->setWordWrap(wrap);
        const QStringList found = ScreenFit::problems(&win);
        QVERIFY2(found.size() == problems, qPrintable(found.join(QLatin1Char('\n'))));
    }

    // The boxes that were squeezed on the terminal, and texts longer than a line: each fits with
    // its buttons side by side, and nothing of the text is lost by the breaking.
    void boxFits_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("result exists") << 0 << QStringLiteral("Ввод данных")
                                       << QStringLiteral("Справочник остатков\n уже есть")
                                       << QStringList { QStringLiteral("Продолжить"), QStringLiteral("Созд.новый") };
        QTest::newRow("not found") << 0 << QStringLiteral("Ввод данных") << QStringLiteral("Товар отсутствует")
                                   << QStringList { QStringLiteral("Добавить"), QStringLiteral("Пропустить") };
        QTest::newRow("long words") << 3 << QStringLiteral("Справочник остатков N 0042.Удаление.Ошибка удаления")
                                    << QStringLiteral("Файл /home/terminal/ortova/work/Ostatki0042_res.bin не удалён")
                                    << QStringList { QStringLiteral("OK") };
    }
    void boxFits()
    {
        QFETCH(int, icon);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QStringList, buttons);
        ChoiceBox box(icon, title, text, buttons);
        const QStringList found = ScreenFit::problems(&box);
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
        QVERIFY(box.width() <= ScreenFit::Screen.width());
        QVERIFY(box.font() == QApplication::font());
        const QList<QPushButton*> shown = box.findChildren<QPushButton*>();
        QCOMPARE(shown.size(), buttons.size());
        for (QPushButton* b : shown)
            QCOMPARE(b->y(), shown.first()->y());
        const auto squeezed = [](QString s) { return s.remove(QLatin1Char(' ')).remove(QLatin1Char('\n')); };
        QCOMPARE(squeezed(box.findChild<QLabel*>(QStringLiteral("BoxText"))->text()), squeezed(text));
        QCOMPARE(squeezed(box.findChild<QLabel*>(QStringLiteral("BoxTitle"))->text()), squeezed(title));
    }

    void boxAnswers_data()
    {
        QTest::addColumn<int>("escapeAnswer");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("clicked");
        QTest::addColumn<int>("answer");
        QTest::newRow("Escape gives the second") << 1 << int(Qt::Key_Escape) << -1 << 1;
        QTest::newRow("Escape gives the first") << 0 << int(Qt::Key_Escape) << -1 << 0;
        QTest::newRow("Return presses the first") << 1 << int(Qt::Key_Return) << -1 << 0;
        QTest::newRow("second clicked") << 0 << 0 << 1 << 1;
    }
    void boxAnswers()
    {
        QFETCH(int, escapeAnswer);
        QFETCH(int, key);
        QFETCH(int, clicked);
        QFETCH(int, answer);
        ChoiceBox box(2, QStringLiteral("Выход"), QStringLiteral("Выход\nиз программы"),
            { QStringLiteral("Выйти"), QStringLiteral("Продолжить") });
        box.setEscapeAnswer(escapeAnswer);
        QTimer::singleShot(0, &box, [&] {
            QTRY_VERIFY(box.isVisible());
            if (clicked >= 0)
                QTest::mouseClick(
                    box.findChild<QPushButton*>(QStringLiteral("BoxButton%1").arg(clicked)), Qt::LeftButton);
            else
                QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &box, Qt::Key(key));
        });
        QCOMPARE(box.run(), answer);
    }
};

QTEST_MAIN(TestScreenFit)
#include "tst_screenfit.moc"
