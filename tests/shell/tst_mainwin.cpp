// The main menu window: its form, the keys and the gate, and the exit sequence.

#include "AppState.h"
#include "Codec.h"
#include "DescrRegistry.h"
#include "Dialogs.h"
#include "MainWin.h"
#include "RunLog.h"
#include "ScriptedResponder.h"
#include "SettingsFiles.h"
#include "Shutdown.h"
#include "TestUtil.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
const QString DemoDir = QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo");

using Signal = void (MainWin::*)();

Signal signalNamed(const QString& name)
{
    if (name == QLatin1String("NastrCall"))
        return &MainWin::NastrCall;
    if (name == QLatin1String("VvodCall"))
        return &MainWin::VvodCall;
    if (name == QLatin1String("ProsmCall"))
        return &MainWin::ProsmCall;
    if (name == QLatin1String("ObmenCall"))
        return &MainWin::ObmenCall;
    return &MainWin::MainWinExit;
}
} // namespace

class TestMainWin : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        // A run as start-up leaves it: demo settings read, folders known, log open, gate open.
        const QString dir = m_dir.path();
        QVERIFY(QFile::copy(DemoDir + QStringLiteral("/OrtSystem.ini"), dir + QStringLiteral("/OrtSystem.ini")));
        QVERIFY(QFile::copy(DemoDir + QStringLiteral("/OrtUser.ini"), dir + QStringLiteral("/OrtUser.ini")));
        AppState& state = appState();
        state.user = UserSettings();
        descrRegistry().clear();
        QVERIFY(getIniFile(dir + QStringLiteral("/OrtUser.ini")));
        state.settingsChanged = false;
        state.appDir = fromUi(dir);
        state.workDir = state.appDir;
        setRunFolders(dir, dir);
        RunLog::instance().open(dir);
        state.menuGate = true;
        m_win = std::make_unique<MainWin>();
        m_win->setMode(false);
        m_win->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_win.get()));
    }

    void cleanup()
    {
        m_win.reset();
        RunLog::instance().close();
        QFile::remove(m_dir.filePath(QStringLiteral("OrtUserB.ini")));
        QFile::remove(m_dir.filePath(QStringLiteral("OrtUser.ini")));
        QFile::remove(m_dir.filePath(QStringLiteral("OrtSystem.ini")));
        QFile::remove(m_dir.filePath(QStringLiteral("logortc.txt")));
    }

    void form_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("pointSize"); // 0: not given by the form
        QTest::newRow("Vvod") << QStringLiteral("Vvod") << QRect(10, 40, 221, 36) << QStringLiteral("(1) ВВОД ДАННЫХ")
                              << 12;
        QTest::newRow("Prosm") << QStringLiteral("Prosm") << QRect(10, 85, 221, 36) << QStringLiteral("(2) ПРОСМОТР")
                               << 12;
        QTest::newRow("Obmen") << QStringLiteral("Obmen") << QRect(10, 130, 221, 36) << QStringLiteral("(3) ОБМЕН")
                               << 12;
        QTest::newRow("Nastr") << QStringLiteral("Nastr") << QRect(10, 180, 221, 36) << QStringLiteral("(4) НАСТРОЙКИ")
                               << 12;
        QTest::newRow("Vihod") << QStringLiteral("Vihod") << QRect(125, 235, 106, 26) << QStringLiteral("(5) ВЫХОД")
                               << 0;
        QTest::newRow("UserTitle") << QStringLiteral("UserTitle") << QRect(0, 0, 240, 21) << QStringLiteral("Ortova")
                                   << 0;
        QTest::newRow("line") << QStringLiteral("line") << QRect(0, 15, 240, 16) << QString() << 0;
        QTest::newRow("VerLab") << QStringLiteral("VerLab") << QRect(60, 280, 111, 31)
                                << QStringLiteral("Инвентаризация\n    версия 1.6") << 10;
    }
    void form()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(int, pointSize);
        QCOMPARE(m_win->windowTitle(), QStringLiteral("ИНВЕНТАРИЗАЦИЯ"));
        QCOMPARE(m_win->size(), QSize(240, 320));
        auto* widget = m_win->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), geometry);
        if (auto* button = qobject_cast<QPushButton*>(widget))
            QCOMPARE(button->text(), text);
        else if (auto* label = qobject_cast<QLabel*>(widget))
            QCOMPARE(label->text(), text);
        if (pointSize)
            QCOMPARE(widget->font().pointSize(), pointSize);
        TestUtil::saveScreen(m_win.get(), QStringLiteral("main-menu"));
    }

    void modeAndTitleStyle_data()
    {
        QTest::addColumn<bool>("receipt");
        QTest::addColumn<QString>("version");
        QTest::newRow("stock-taking") << false << QStringLiteral("Инвентаризация\n    версия 1.6");
        QTest::newRow("goods receipt") << true << QStringLiteral("Приход товара \n    версия 1.6");
    }
    void modeAndTitleStyle()
    {
        QFETCH(bool, receipt);
        QFETCH(QString, version);
        m_win->setMode(receipt);
        QCOMPARE(m_win->findChild<QLabel*>(QStringLiteral("VerLab"))->text(), version);
        QCOMPARE(m_win->findChild<QLabel*>(QStringLiteral("UserTitle"))->styleSheet(),
            QStringLiteral("color: white; background: blue"));
    }

    void choices_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("signal");
        QTest::newRow("1 data entry") << QStringLiteral("Vvod") << int(Qt::Key_1) << QStringLiteral("VvodCall");
        QTest::newRow("2 viewing") << QStringLiteral("Prosm") << int(Qt::Key_2) << QStringLiteral("ProsmCall");
        QTest::newRow("3 exchange") << QStringLiteral("Obmen") << int(Qt::Key_3) << QStringLiteral("ObmenCall");
        QTest::newRow("4 settings") << QStringLiteral("Nastr") << int(Qt::Key_4) << QStringLiteral("NastrCall");
    }
    // Each way of choosing passes once while the gate is open and closes it; a second press before
    // the controller hands back does nothing, and no other choice is emitted.
    void choices()
    {
        QFETCH(QString, button);
        QFETCH(int, key);
        QFETCH(QString, signal);
        const QStringList all { QStringLiteral("NastrCall"), QStringLiteral("VvodCall"), QStringLiteral("ProsmCall"),
            QStringLiteral("ObmenCall"), QStringLiteral("MainWinExit") };
        auto* target = m_win->findChild<QPushButton*>(button);
        QVERIFY(target);

        enum Way { Key, Click, Enter };
        for (Way way : { Key, Click, Enter }) {
            QList<std::shared_ptr<QSignalSpy>> spies;
            for (const QString& name : all)
                spies.append(std::make_shared<QSignalSpy>(m_win.get(), signalNamed(name)));
            appState().menuGate = true;
            for (int press = 0; press < 2; ++press) {
                switch (way) {
                case Key:
                    QTest::keyClick(m_win.get(), Qt::Key(key));
                    break;
                case Click:
                    QTest::mouseClick(target, Qt::LeftButton);
                    break;
                case Enter:
                    target->setFocus();
                    QTest::keyClick(target, press ? Qt::Key_Enter : Qt::Key_Return);
                    break;
                }
            }
            for (int i = 0; i < all.size(); ++i)
                QCOMPARE(spies[i]->count(), all[i] == signal ? 1 : 0);
            QVERIFY(!appState().menuGate);
        }
    }

    void closedGateLetsNoChoiceThrough()
    {
        QSignalSpy vvod(m_win.get(), &MainWin::VvodCall);
        QSignalSpy prosm(m_win.get(), &MainWin::ProsmCall);
        QSignalSpy obmen(m_win.get(), &MainWin::ObmenCall);
        QSignalSpy nastr(m_win.get(), &MainWin::NastrCall);
        appState().menuGate = false;
        for (Qt::Key key : { Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4 })
            QTest::keyClick(m_win.get(), key);
        QTest::mouseClick(m_win->findChild<QPushButton*>(QStringLiteral("Vvod")), Qt::LeftButton);
        QCOMPARE(vvod.count() + prosm.count() + obmen.count() + nastr.count(), 0);

        // The controller hands back: the next choice passes again.
        appState().menuGate = true;
        QTest::keyClick(m_win.get(), Qt::Key_3);
        QCOMPARE(obmen.count(), 1);
    }

    void enterWithoutFocusedButtonDoesNothing()
    {
        QSignalSpy vvod(m_win.get(), &MainWin::VvodCall);
        QSignalSpy exit(m_win.get(), &MainWin::MainWinExit);
        m_win->setFocus();
        QTest::keyClick(m_win.get(), Qt::Key_Return);
        QTest::keyClick(m_win.get(), Qt::Key_9);
        QCOMPARE(vvod.count(), 0);
        QCOMPARE(exit.count(), 0);
        QVERIFY(appState().menuGate);
    }

    void exitSequence_data()
    {
        QTest::addColumn<bool>("askOnExit");
        QTest::addColumn<int>("exitAnswer"); // -1: no question expected
        QTest::addColumn<bool>("changed");
        QTest::addColumn<int>("saveAnswer"); // -1: no question expected
        QTest::addColumn<bool>("leaves");
        QTest::addColumn<bool>("saved");
        QTest::newRow("no question") << false << -1 << false << -1 << true << false;
        QTest::newRow("confirmed") << true << 0 << false << -1 << true << false;
        QTest::newRow("continue") << true << 1 << true << -1 << false << false;
        QTest::newRow("changed, saved") << false << -1 << true << 0 << true << true;
        QTest::newRow("changed, skipped") << false << -1 << true << 1 << true << false;
        QTest::newRow("confirmed, changed, saved") << true << 0 << true << 0 << true << true;
    }
    // Works while the gate is closed, as it is when a controller holds the menu.
    void exitSequence()
    {
        QFETCH(bool, askOnExit);
        QFETCH(int, exitAnswer);
        QFETCH(bool, changed);
        QFETCH(int, saveAnswer);
        QFETCH(bool, leaves);
        QFETCH(bool, saved);

        const QString userFile = m_dir.filePath(QStringLiteral("OrtUser.ini"));
        const QString backupFile = m_dir.filePath(QStringLiteral("OrtUserB.ini"));
        const QByteArray former = TestUtil::readFile(userFile);
        AppState& state = appState();
        state.user.programm.enExitRequest = askOnExit;
        state.user.vvod.quantityIncr = 2500; // an edit the save must carry
        state.settingsChanged = changed;
        state.menuGate = false;

        ScriptedResponder responder;
        if (exitAnswer >= 0)
            responder.answerNext(exitAnswer);
        if (saveAnswer >= 0)
            responder.answerNext(saveAnswer);
        QSignalSpy exit(m_win.get(), &MainWin::MainWinExit);
        QTest::keyClick(m_win.get(), Qt::Key_5);

        QCOMPARE(responder.unexpected(), 0);
        QList<ScriptedResponder::Box> expected;
        if (exitAnswer >= 0)
            expected.append({ 0, QStringLiteral("Выход"), QStringLiteral("Выход\nиз программы"),
                QStringLiteral("Выйти"), QStringLiteral("Продолжить") });
        if (saveAnswer >= 0)
            expected.append({ 0, QStringLiteral("Настройки"), QStringLiteral("Настройки\nизменены."),
                QStringLiteral("Сохранить"), QStringLiteral("Пропустить") });
        QCOMPARE(responder.boxes().size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(responder.boxes()[i].title, expected[i].title);
            QCOMPARE(responder.boxes()[i].text, expected[i].text);
            QCOMPARE(responder.boxes()[i].first, expected[i].first);
            QCOMPARE(responder.boxes()[i].second, expected[i].second);
        }

        QCOMPARE(exit.count(), leaves ? 1 : 0);
        QCOMPARE(RunLog::instance().isOpen(), !leaves);
        const QByteArray log = TestUtil::readFile(m_dir.filePath(QStringLiteral("logortc.txt")));
        QCOMPARE(log.endsWith(TestUtil::cp(". Конец работы\r\n")), leaves);
        if (saved) {
            QCOMPARE(TestUtil::readFile(backupFile), former);
            const QByteArray written = TestUtil::readFile(userFile);
            QVERIFY(written.startsWith("[FTP_CLIENT]\r\n"));
            QVERIFY(written.contains("QuantityIncr=2.500\r\n"));
        } else {
            QCOMPARE(TestUtil::readFile(userFile), former);
            QVERIFY(!QFile::exists(backupFile));
        }
    }

    void exitButtonClick()
    {
        appState().user.programm.enExitRequest = false;
        appState().menuGate = false;
        QSignalSpy exit(m_win.get(), &MainWin::MainWinExit);
        QTest::mouseClick(m_win->findChild<QPushButton*>(QStringLiteral("Vihod")), Qt::LeftButton);
        QCOMPARE(exit.count(), 1);
    }

    void windowCloseButtonLeavesLikeTheExitItem_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("leaves");
        QTest::newRow("Выйти") << 0 << true;
        QTest::newRow("Продолжить") << 1 << false;
    }
    void windowCloseButtonLeavesLikeTheExitItem()
    {
        QFETCH(int, answer);
        QFETCH(bool, leaves);
        appState().user.programm.enExitRequest = true;
        m_win->setCloseAsExit(true);
        QSignalSpy exit(m_win.get(), &MainWin::MainWinExit);
        ScriptedResponder responder;
        responder.answerNext(answer);
        m_win->close();
        QCOMPARE(responder.boxes().size(), 1);
        QCOMPARE(responder.boxes().first().title, QStringLiteral("Выход"));
        QCOMPARE(exit.count(), leaves ? 1 : 0);
        QCOMPARE(m_win->isVisible(), !leaves);
        QCOMPARE(RunLog::instance().isOpen(), !leaves);
        // Once left, a further close does not run the sequence again.
        if (leaves) {
            m_win->show();
            m_win->close();
            QCOMPARE(responder.boxes().size(), 1);
            QCOMPARE(exit.count(), 1);
        }
    }

    // The real question box: Enter gives the default answer, Escape the escape answer, whichever
    // button each is.
    void questionBoxKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("escapeAnswer");
        QTest::addColumn<int>("defaultAnswer");
        QTest::addColumn<int>("answer");
        QTest::newRow("enter, first") << int(Qt::Key_Return) << 1 << 0 << 0;
        QTest::newRow("enter, second") << int(Qt::Key_Return) << 1 << 1 << 1;
        QTest::newRow("escape, first") << int(Qt::Key_Escape) << 0 << 1 << 0;
    }
    void questionBoxKeys()
    {
        QFETCH(int, key);
        QFETCH(int, escapeAnswer);
        QFETCH(int, defaultAnswer);
        QFETCH(int, answer);
        QTimer press;
        press.setInterval(10);
        connect(&press, &QTimer::timeout, this, [&press, key] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                press.stop();
                QTest::keyClick(box, Qt::Key(key));
            }
        });
        press.start();
        QCOMPARE(askChoice(QStringLiteral("Ввод данных"), QStringLiteral("Удалить\nзапись?"), QStringLiteral("Да"),
                     QStringLiteral("Нет"), escapeAnswer, defaultAnswer),
            answer);
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<MainWin> m_win;
};

QTEST_MAIN(TestMainWin)
#include "tst_mainwin.moc"
