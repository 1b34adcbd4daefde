// Path macros in folder settings, and the local paths the FTP server makes of a client's names.

#include "AppState.h"
#include "PathMacros.h"
#include "TestUtil.h"

#include <QTest>

class TestPathMacros : public QObject {
    Q_OBJECT

private slots:
    void expand_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("appDir");
        QTest::addColumn<QByteArray>("terminalNumber");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char* name, const QByteArray& text, const char* app, const QByteArray& number,
                             const char* expected) {
            QTest::newRow(name) << text << QByteArray(app) << number << QByteArray(expected);
        };
        const char* app = "/opt/ortova";
        row("no macro", "/srv/in", app, "12", "/srv/in");
        row("lower-case folder, backslash kept", "<appdirectory>\\Data", app, "12", "/opt/ortova\\Data");
        row("both, one twice", "<APPDIRECTORY>/<TerminalNumber>/<terminalnumber>", app, "7", "/opt/ortova/7/7");
        row("side by side is no nesting", QByteArray("<TerminalNumber>").repeated(5), app, "ab", "ababababab");
        row("empty terminal number", "/srv/<TerminalNumber>/in", app, "", "/srv//in");
        row("unknown span removed", "/srv/<other>/in", app, "12", "/srv//in");
        row("three characters are a span", "a<x>b", app, "12", "ab");
        row("cyrillic span removed", TestUtil::cp("a<папка>b"), app, "12", "ab");
        row("< without >", "/srv/<TerminalNumber", app, "12", "/srv/<TerminalNumber");
        row("> before <", "/srv>x/<TerminalNumber>", app, "12", "/srv>x/<TerminalNumber>");
        row("<> is too short and stops", "a<>b<TerminalNumber>", app, "12", "a<>b<TerminalNumber>");
        row("stops at the first unusable span", "<TerminalNumber>/x>/<AppDirectory", app, "12", "12/x>/<AppDirectory");
        // The application folder is taken as it is, whatever it holds.
        row("folder with a macro", "<APPDIRECTORY>/x", "/opt/<TERMINALNUMBER>", "12", "/opt/<TERMINALNUMBER>/x");
        row("folder with < eats nothing", "<APPDIRECTORY>/<TerminalNumber>", "/opt/a<b", "12", "/opt/a<b/12");
        row("folder with > stops nothing", "<APPDIRECTORY>/<TerminalNumber>", "/opt/a>b", "12", "/opt/a>b/12");
        // The terminal number is expanded again, to a bounded depth.
        row("number naming the folder", "<TerminalNumber>/in", app, "<AppDirectory>", "/opt/ortova/in");
        row("number with a span", "T<TerminalNumber>", app, "1<x>2", "T12");
        row("span reaching out of the number", "<TerminalNumber>x>y", app, "a<", "ay");
        // Past the bound the text stays as written: a name no folder has, never "" (the work folder).
        row("number naming itself", "/srv/<TerminalNumber>/in", app, "<TerminalNumber>", "/srv/<TerminalNumber>/in");
        row("number holding itself", "<TerminalNumber>", app, "A<TERMINALNUMBER>B", "<TerminalNumber>");
        // "<" as the number, closed each time by the text that follows: one level deeper per span.
        const QByteArray deeper("TerminalNumber>");
        row("four deep is kept", "<TerminalNumber>" + deeper.repeated(3) + "/in", app, "<", "</in");
        const QByteArray fiveDeep = "<TerminalNumber>" + deeper.repeated(4) + "/in";
        row("five deep stays as written", fiveDeep, app, "<", fiveDeep.constData());
    }
    void expand()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, appDir);
        QFETCH(QByteArray, terminalNumber);
        QFETCH(QByteArray, expected);
        QCOMPARE(expandMacros(text, appDir, terminalNumber), expected);
    }

    void expandUsesTheRunningProgram()
    {
        AppState& state = appState();
        const QByteArray savedAppDir = state.appDir;
        const UserSettings savedUser = state.user;
        state.appDir = QByteArray("/media/card");
        state.user.programm.terminalNumber = QByteArray("31");
        const QByteArray result = expandMacros(QByteArray("<AppDirectory>/OUT<TerminalNumber>"));
        state.appDir = savedAppDir;
        state.user = savedUser;
        QCOMPARE(result, QByteArray("/media/card/OUT31"));
    }

    void canFileName_data()
    {
        QTest::addColumn<QString>("currentDir");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* dir, const char* argument, const char* expected) {
            QTest::newRow(name) << QString::fromLatin1(dir) << QString::fromLatin1(argument)
                                << QString::fromLatin1(expected);
        };
        row("plain name", "/IN", "a.tvr", "/srv/ftp/IN/a.tvr");
        row("no argument", "/IN", "", "/srv/ftp/IN");
        row("absolute", "/IN", "/OUT/b.res", "/srv/ftp/OUT/b.res");
        row("absolute with backslash", "/IN", "\\OUT\\b.res", "/srv/ftp\\OUT\\b.res");
        row("dot joined without separator", "/IN", "..", "/srv/ftp/IN..");
        row("at the root nothing is normalised", "/", "a.tvr", "/srv/ftp//a.tvr");
    }
    void canFileName()
    {
        QFETCH(QString, currentDir);
        QFETCH(QString, argument);
        QFETCH(QString, expected);
        QCOMPARE(::canFileName(QStringLiteral("/srv/ftp"), currentDir, argument), expected);
    }
};

QTEST_GUILESS_MAIN(TestPathMacros)
#include "tst_pathmacros.moc"
