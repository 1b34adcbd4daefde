// Start-up: the command line, the order of its steps, the settings files and what a failed one
// leaves behind, the work folder, and the end of a run through the menu's exit item.

#include "AppState.h"
#include "Codec.h"
#include "DescrRegistry.h"
#include "MainWin.h"
#include "RunLog.h"
#include "Scanner.h"
#include "ScriptedResponder.h"
#include "Startup.h"
#include "TestUtil.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
const QString DemoDir = QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo");

QByteArray demoUser()
{
    return TestUtil::readFile(DemoDir + QStringLiteral("/OrtUser.ini"));
}

// The demo user file with one key's line replaced (the key as written in the file).
QByteArray demoUserWith(const QByteArray& key, const QByteArray& line)
{
    QByteArray text = demoUser();
    const int at = text.indexOf(QByteArray("\r\n" + key + '=')) + 2;
    const int end = text.indexOf("\r\n", at);
    text.replace(at, end - at, line);
    return text;
}

bool anyWindowVisible()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(), [](const QWidget* w) { return w->isVisible(); });
}

QStringList logLines(const QString& dir)
{
    const QString text = toUi(TestUtil::readFile(QDir(dir).filePath(QStringLiteral("logortc.txt"))));
    return text.split(QStringLiteral("\r\n"));
}
} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        AppState& state = appState();
        state.user = UserSettings();
        state.system = SystemSettings();
        state.menuGate = false;
        state.settingsChanged = false;
        descrRegistry().clear();
        installScanner(nullptr);
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_app = m_dir->path();
        QVERIFY(QFile::copy(DemoDir + QStringLiteral("/OrtSystem.ini"), file(QStringLiteral("OrtSystem.ini"))));
        QVERIFY(QFile::copy(DemoDir + QStringLiteral("/OrtUser.ini"), file(QStringLiteral("OrtUser.ini"))));
        m_options = StartupOptions();
        m_options.appDir = m_app;
        m_options.windowed = true;
    }

    void cleanup()
    {
        RunLog::instance().close();
        QDir::setCurrent(QDir::tempPath());
        m_dir.reset();
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<bool>("windowed");
        QTest::addColumn<QString>("scanner");
        QTest::addColumn<int>("ftpPort");
        QTest::addColumn<int>("ftpDataPort");
        const int run = CommandLine::Run;
        const int bad = CommandLine::Invalid;
        QTest::newRow("defaults, scanner from the environment")
            << QStringList() << run << QString() << false << QStringLiteral("pipe:/from/env") << 21 << 50000;
        QTest::newRow("everything") << QStringList { QStringLiteral("--app-dir"), QStringLiteral("/opt/ort"),
            QStringLiteral("--windowed"), QStringLiteral("--scanner"), QStringLiteral("file:/tmp/c"),
            QStringLiteral("--ftp-port"), QStringLiteral("2121"), QStringLiteral("--ftp-data-port"),
            QStringLiteral("52000") }
                                    << run << QStringLiteral("/opt/ort") << true << QStringLiteral("file:/tmp/c")
                                    << 2121 << 52000;
        QTest::newRow("equals form, relative folder")
            << QStringList { QStringLiteral("--app-dir=demo"), QStringLiteral("--scanner=none") } << run
            << QStringLiteral("@/demo") << false << QStringLiteral("none") << 21 << 50000;
        QTest::newRow("last data port range fits")
            << QStringList { QStringLiteral("--ftp-data-port"), QStringLiteral("65533") } << run << QString() << false
            << QStringLiteral("pipe:/from/env") << 21 << 65533;
        QTest::newRow("data ports past 65535")
            << QStringList { QStringLiteral("--ftp-data-port"), QStringLiteral("65534") } << bad << QString() << false
            << QString() << 0 << 0;
        QTest::newRow("port 0") << QStringList { QStringLiteral("--ftp-port"), QStringLiteral("0") } << bad << QString()
                                << false << QString() << 0 << 0;
        QTest::newRow("port not a number")
            << QStringList { QStringLiteral("--ftp-port=21a") } << bad << QString() << false << QString() << 0 << 0;
        QTest::newRow("folder missing") << QStringList { QStringLiteral("--app-dir") } << bad << QString() << false
                                        << QString() << 0 << 0;
        QTest::newRow("unknown option") << QStringList { QStringLiteral("--fullscreen") } << bad << QString() << false
                                        << QString() << 0 << 0;
        QTest::newRow("help") << QStringList { QStringLiteral("--help") } << int(CommandLine::ShowHelp) << QString()
                              << false << QString() << 0 << 0;
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, outcome);
        qputenv("ORTOVA_SCANNER", "pipe:/from/env");
        arguments.prepend(QStringLiteral("ortova"));
        const CommandLine parsed = parseCommandLine(arguments);
        qunsetenv("ORTOVA_SCANNER");
        QCOMPARE(int(parsed.outcome), outcome);
        if (outcome != CommandLine::Run) {
            QVERIFY(!parsed.text.isEmpty());
            return;
        }
        QFETCH(QString, appDir);
        QFETCH(bool, windowed);
        QFETCH(QString, scanner);
        QFETCH(int, ftpPort);
        QFETCH(int, ftpDataPort);
        // "@" stands for the folder current while parsing.
        QCOMPARE(parsed.options.appDir, appDir.replace(QLatin1Char('@'), QDir::currentPath()));
        QCOMPARE(parsed.options.windowed, windowed);
        QCOMPARE(parsed.options.scanner, scanner);
        QCOMPARE(int(parsed.options.ftpPort), ftpPort);
        QCOMPARE(int(parsed.options.ftpDataPort), ftpDataPort);
    }

    // The office FTP server's port: 21 unless the option moves it.
    void ftpClientPort_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("port"); // 0: refused
        QTest::newRow("default") << QStringList() << 21;
        QTest::newRow("moved") << QStringList { QStringLiteral("--ftp-client-port"), QStringLiteral("2121") } << 2121;
        QTest::newRow("equals form") << QStringList { QStringLiteral("--ftp-client-port=65535") } << 65535;
        QTest::newRow("zero") << QStringList { QStringLiteral("--ftp-client-port=0") } << 0;
        QTest::newRow("not a number") << QStringList { QStringLiteral("--ftp-client-port"), QStringLiteral("x") } << 0;
    }
    void ftpClientPort()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, port);
        arguments.prepend(QStringLiteral("ortova"));
        const CommandLine parsed = parseCommandLine(arguments);
        QCOMPARE(parsed.outcome, port ? CommandLine::Run : CommandLine::Invalid);
        if (port)
            QCOMPARE(int(parsed.options.ftpClientPort), port);
    }

    void startsWithTheDemo_data()
    {
        QTest::addColumn<QByteArray>("programm");
        QTest::addColumn<bool>("receipt");
        QTest::addColumn<QString>("version");
        QTest::newRow("stock-taking") << TestUtil::cp("Инвентаризация") << false
                                      << QStringLiteral("Инвентаризация\n    версия 1.6");
        QTest::newRow("goods receipt") << TestUtil::cp("Приход товара") << true
                                       << QStringLiteral("Приход товара \n    версия 1.6");
    }
    void startsWithTheDemo()
    {
        QFETCH(QByteArray, programm);
        QFETCH(bool, receipt);
        QFETCH(QString, version);
        QVERIFY(
            TestUtil::writeFile(file(QStringLiteral("OrtUser.ini")), demoUserWith("Programm", "Programm=" + programm)));

        ScriptedResponder responder; // any box fails the test
        Startup startup(m_options);
        QVERIFY(startup.start());
        QCOMPARE(startup.exitCode(), 0);
        QVERIFY(startup.mainWin());
        QVERIFY(QTest::qWaitForWindowExposed(startup.mainWin()));
        QCOMPARE(startup.mainWin()->findChild<QLabel*>(QStringLiteral("VerLab"))->text(), version);
        QCOMPARE(startup.mainWin()->findChild<QLabel*>(QStringLiteral("UserTitle"))->styleSheet(),
            QStringLiteral("color: white; background: blue"));
        QCOMPARE(appState().receiptMode(), receipt);
        QVERIFY(appState().menuGate);
        QVERIFY(!appState().settingsChanged); // set by the reads, cleared by start-up
        QCOMPARE(appState().appDir, fromUi(m_app));
        QCOMPARE(QDir::currentPath(), m_app);
        QVERIFY(descrRegistry().table("TVR")->recordLength > 0);
        QVERIFY(RunLog::instance().isOpen());
        const QStringList lines = logLines(m_app);
        QVERIFY(lines.first().endsWith(QStringLiteral(". Начало работы ************************")));
        QVERIFY(lines.filter(QStringLiteral("Конец работы")).isEmpty());
        TestUtil::saveScreen(startup.mainWin(),
            QStringLiteral("startup-")
                + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')));
    }

    void workFolder_data()
    {
        QTest::addColumn<QByteArray>("configured");
        QTest::addColumn<QString>("expected"); // relative to the application folder
        QTest::newRow("empty: the application folder") << QByteArray() << QString();
        QTest::newRow("relative") << QByteArray("work") << QStringLiteral("work");
        QTest::newRow("backslashes") << QByteArray("work\\day1") << QStringLiteral("work/day1");
        QTest::newRow("trailing separator") << QByteArray("work/") << QStringLiteral("work");
        QTest::newRow("Cyrillic name") << TestUtil::cp("склад") << QStringLiteral("склад");
        // The demo's TerminalNumber is "01"; the settings editor checks the same folder.
        QTest::newRow("macros") << QByteArray("<APPDIRECTORY>/work/<TerminalNumber>") << QStringLiteral("work/01");
    }
    void workFolder()
    {
        QFETCH(QByteArray, configured);
        QFETCH(QString, expected);
        QVERIFY(QDir(m_app).mkpath(QStringLiteral("work/day1")));
        QVERIFY(QDir(m_app).mkpath(QStringLiteral("склад")));
        QVERIFY(QDir(m_app).mkpath(QStringLiteral("work/01")));
        QVERIFY(TestUtil::writeFile(
            file(QStringLiteral("OrtUser.ini")), demoUserWith("WorkDirectory", "WorkDirectory=" + configured)));
        const QString work = expected.isEmpty() ? m_app : m_app + QLatin1Char('/') + expected;

        QString currentAtIndexes;
        StartupHooks hooks;
        hooks.prepareIndexes = [&currentAtIndexes] { currentAtIndexes = QDir::currentPath(); };
        Startup startup(m_options, hooks);
        QVERIFY(startup.start());
        QCOMPARE(currentAtIndexes, work);
        QCOMPARE(QDir::currentPath(), work);
        QCOMPARE(appState().workDir, fromUi(work));
        QCOMPARE(appState().appDir, fromUi(m_app));
        // The run log stays in the application folder.
        QVERIFY(QFile::exists(file(QStringLiteral("logortc.txt"))));
    }

    void stepsInOrder_data()
    {
        QTest::addColumn<QByteArray>("channel");
        QTest::addColumn<bool>("server");
        QTest::newRow("local folder") << TestUtil::cp("ЛокальнаЯ папка") << false;
        QTest::newRow("FTP client") << TestUtil::cp("FTP Клиент") << false;
        QTest::newRow("FTP server") << TestUtil::cp("FTP Сервер") << true;
    }
    void stepsInOrder()
    {
        QFETCH(QByteArray, channel);
        QFETCH(bool, server);
        QVERIFY(TestUtil::writeFile(
            file(QStringLiteral("OrtUser.ini")), demoUserWith("IoFTPLocal", "IoFTPLocal=" + channel)));
        QStringList steps;
        MainWin* menu = nullptr;
        StartupHooks hooks;
        hooks.createControllers = [&](MainWin& win) {
            menu = &win;
            // Before the settings files: nothing is read yet.
            steps << QStringLiteral("controllers")
                    + (descrRegistry().table("TVR")->fields.isEmpty() ? QString() : QStringLiteral("!"));
        };
        hooks.prepareExchangeLog = [&] { steps << QStringLiteral("exchange log"); };
        hooks.prepareIndexes
            = [&] { steps << QStringLiteral("indexes") + (menu->isVisible() ? QStringLiteral("!") : QString()); };
        hooks.buildWindows
            = [&] { steps << QStringLiteral("windows") + (menu->isVisible() ? QString() : QStringLiteral("!")); };
        hooks.startFtpServer = [&] { steps << QStringLiteral("ftp server"); };
        Startup startup(m_options, hooks);
        QVERIFY(startup.start());
        QStringList expected { QStringLiteral("controllers"), QStringLiteral("exchange log"), QStringLiteral("indexes"),
            QStringLiteral("windows") };
        if (server)
            expected << QStringLiteral("ftp server");
        QCOMPARE(steps, expected);
    }

    void scannerInitialisedOnce_data()
    {
        QTest::addColumn<bool>("withDevice");
        QTest::newRow("file scanner") << true;
        QTest::newRow("none") << false;
    }
    void scannerInitialisedOnce()
    {
        QFETCH(bool, withDevice);
        const QString codes = file(QStringLiteral("codes.txt"));
        QVERIFY(TestUtil::writeFile(codes, "4600000000017\n"));
        if (withDevice)
            m_options.scanner = QStringLiteral("file:") + codes;
        Startup startup(m_options);
        QVERIFY(startup.start());
        QCOMPARE(scannerReady(), withDevice);
        QString text;
        QCOMPARE(scanBarcode(text, 500), withDevice);
        QCOMPARE(text, withDevice ? QStringLiteral("4600000000017") : QString());
    }

    // One critical box per failed file, in file order; both files are always read; exit code 1;
    // nothing shown; the run log holds the details and is closed after "Конец работы".
    void failedSettingsFiles_data()
    {
        QTest::addColumn<QString>("systemCase");
        QTest::addColumn<QString>("userCase");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("logged"); // texts the run log must hold
        const QString sys = QStringLiteral("OrtSystem.ini");
        const QString usr = QStringLiteral("OrtUser.ini");
        QTest::newRow("both broken") << QStringLiteral("unknown section") << QStringLiteral("unknown key")
                                     << QStringList { sys, usr }
                                     << QStringList { QStringLiteral("408:Нет такой секциии "),
                                            QStringLiteral("406:секция [PROGRAMM]. Нет такого параметра ") };
        QTest::newRow("both missing") << QStringLiteral("missing") << QStringLiteral("missing")
                                      << QStringList { sys, usr } << QStringList { QStringLiteral("   Нет файла ") };
        QTest::newRow("system only") << QStringLiteral("missing") << QString() << QStringList { sys }
                                     << QStringList { QStringLiteral("   Нет файла ") };
        QTest::newRow("user only") << QString() << QStringLiteral("unknown key") << QStringList { usr }
                                   << QStringList { QStringLiteral("строка 35") };
        QTest::newRow("user is a folder") << QString() << QStringLiteral("folder") << QStringList { usr }
                                          << QStringList { QStringLiteral("   Ошибка при открытии файла ") };
        QTest::newRow("user in UTF-8") << QString() << QStringLiteral("utf-8") << QStringList { usr }
                                       << QStringList { QStringLiteral("411:секция [OBMEN]. Нет такого параметра ") };
        QTest::newRow("user with a 100 KB line") << QString() << QStringLiteral("long line") << QStringList { usr }
                                                 << QStringList { QStringLiteral("строка 7") };
        QTest::newRow("user with bytes that are no text")
            << QString() << QStringLiteral("binary") << QStringList { usr }
            << QStringList { QStringLiteral("строка 38") };
        QTest::newRow("user with mixed line ends") << QString() << QStringLiteral("mixed ends") << QStringList { usr }
                                                   << QStringList { QStringLiteral("строка 4") };
        QTest::newRow("system empty") << QStringLiteral("empty") << QString() << QStringList { sys }
                                      << QStringList { QStringLiteral("Обработка ини файла OrtSystem.ini") };
    }
    void failedSettingsFiles()
    {
        QFETCH(QString, systemCase);
        QFETCH(QString, userCase);
        QFETCH(QStringList, titles);
        QFETCH(QStringList, logged);
        QVERIFY(breakFile(QStringLiteral("OrtSystem.ini"), systemCase));
        QVERIFY(breakFile(QStringLiteral("OrtUser.ini"), userCase));

        QStringList steps;
        StartupHooks hooks;
        hooks.createControllers = [&](MainWin&) { steps << QStringLiteral("controllers"); };
        hooks.prepareExchangeLog = [&] { steps << QStringLiteral("exchange log"); };
        hooks.prepareIndexes = [&] { steps << QStringLiteral("indexes"); };
        hooks.buildWindows = [&] { steps << QStringLiteral("windows"); };
        hooks.startFtpServer = [&] { steps << QStringLiteral("ftp server"); };

        ScriptedResponder responder;
        responder.expectMessage(titles.size());
        Startup startup(m_options, hooks);
        QVERIFY(!startup.start());
        QCOMPARE(startup.exitCode(), 1);
        QCOMPARE(responder.unexpected(), 0);
        QCOMPARE(responder.boxes().size(), titles.size());
        for (int i = 0; i < titles.size(); ++i) {
            QCOMPARE(responder.boxes()[i].icon, int(IconCritical));
            QCOMPARE(responder.boxes()[i].title, titles[i]);
            QCOMPARE(responder.boxes()[i].text, QStringLiteral("Ошибки\nпри преобразовании"));
        }
        QVERIFY(!anyWindowVisible());
        QCOMPARE(steps, QStringList { QStringLiteral("controllers") });
        QVERIFY(!appState().menuGate);
        QVERIFY(!RunLog::instance().isOpen());

        const QStringList lines = logLines(m_app);
        QVERIFY(lines.first().endsWith(QStringLiteral(". Начало работы ************************")));
        QCOMPARE(lines.last(), QString()); // the file ends with a line end
        QVERIFY(lines[lines.size() - 2].endsWith(QStringLiteral(". Конец работы")));
        // Both files were tried.
        QCOMPARE(lines.filter(QStringLiteral("Обработка ини файла OrtSystem.ini")).size(), 1);
        QCOMPARE(lines.filter(QStringLiteral("Обработка ини файла OrtUser.ini")).size(), 1);
        const QString all = lines.join(QStringLiteral("\r\n"));
        for (const QString& text : logged)
            QVERIFY2(all.contains(text), qPrintable(text));
    }

    // What a newcomer sees after breaking one line of the user file: the exact report of the line.
    void brokenUserLineIsNamedInTheRunLog()
    {
        const QByteArray bad = TestUtil::cp("Progam=Инвентаризация");
        QVERIFY(TestUtil::writeFile(file(QStringLiteral("OrtUser.ini")), demoUserWith("Programm", bad)));
        ScriptedResponder responder;
        responder.expectMessage();
        Startup startup(m_options);
        QVERIFY(!startup.start());
        QCOMPARE(startup.exitCode(), 1);
        const QByteArray log = TestUtil::readFile(file(QStringLiteral("logortc.txt")));
        const QByteArray report = "   |" + bad + "|\r\n" + TestUtil::cp("строка 35\r\n")
            + TestUtil::cp("406:секция [PROGRAMM]. Нет такого параметра ") + "\r\n";
        QVERIFY2(log.contains(report), log.constData());
    }

    void secondStartInTheSameFolderEndsWithZero()
    {
        Startup first(m_options);
        QVERIFY(first.start());
        const int linesBefore = logLines(m_app).size();

        ScriptedResponder responder; // the second start shows nothing
        Startup second(m_options);
        QVERIFY(!second.start());
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(!second.mainWin());
        // It ended before touching the log or the settings.
        QCOMPARE(logLines(m_app).size(), linesBefore);
        QVERIFY(RunLog::instance().isOpen());
        QVERIFY(appState().menuGate);
    }

    // The whole run through the event loop: the exit item closes every window, the loop ends with
    // 0 and the log ends with "Конец работы".
    void exitItemEndsTheEventLoop()
    {
        Startup startup(m_options);
        QVERIFY(startup.start());
        MainWin* menu = startup.mainWin();
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        ScriptedResponder responder;
        responder.answerNext(0); // "Выйти": the demo asks before leaving
        QTimer::singleShot(0, menu, [menu] { QTest::keyClick(menu, Qt::Key_5); });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
        guard.start(20000);
        const int code = QApplication::exec();
        QCOMPARE(code, 0);
        QCOMPARE(responder.boxes().size(), 1);
        QCOMPARE(responder.boxes().first().title, QStringLiteral("Выход"));
        QVERIFY(!menu->isVisible());
        QVERIFY(!RunLog::instance().isOpen());
        const QStringList lines = logLines(m_app);
        QVERIFY(lines[lines.size() - 2].endsWith(QStringLiteral(". Конец работы")));
        // The demo file was not changed: nothing was edited.
        QCOMPARE(TestUtil::readFile(file(QStringLiteral("OrtUser.ini"))), demoUser());
        QVERIFY(!QFile::exists(file(QStringLiteral("OrtUserB.ini"))));
    }

private:
    QString file(const QString& name) const { return m_app + QLatin1Char('/') + name; }

    bool breakFile(const QString& name, const QString& how)
    {
        const QString path = file(name);
        if (how.isEmpty())
            return true;
        if (how == QLatin1String("missing"))
            return QFile::remove(path);
        if (how == QLatin1String("empty"))
            return TestUtil::writeFile(path, QByteArray());
        if (how == QLatin1String("folder"))
            return QFile::remove(path) && QDir(m_app).mkdir(name);
        if (how == QLatin1String("unknown section"))
            return TestUtil::writeFile(path, TestUtil::readFile(path) + "[NOSUCH]\r\nA=1\r\n");
        if (how == QLatin1String("unknown key"))
            return TestUtil::writeFile(path, demoUserWith("Programm", TestUtil::cp("Progam=Инвентаризация")));
        if (how == QLatin1String("utf-8"))
            return TestUtil::writeFile(path, toUi(demoUser()).toUtf8());
        if (how == QLatin1String("long line"))
            return TestUtil::writeFile(path, demoUserWith("Root", "Root=/" + QByteArray(100 * 1024, 'd')));
        if (how == QLatin1String("binary"))
            return TestUtil::writeFile(path, demoUserWith("EnOnDepartment", QByteArray("En\x98\x00\xff=TRUE", 9)));
        if (how == QLatin1String("mixed ends")) {
            // LF, CR and CRLF line ends; the bad key is on the fourth line.
            return TestUtil::writeFile(path,
                "[FTP_CLIENT]\nIPAdress=10.0.0.1\rUserName=u\r\nNoSuchKey=1\n"
                "[PROGRAMM]\r\nProgramm=\r\n");
        }
        return false;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_app;
    StartupOptions m_options;
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
