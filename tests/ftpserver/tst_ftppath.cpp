// The server's pure rules: the virtual-path jail, the hidden files, the root a Root setting
// names and the listing patterns.

#include "AppState.h"
#include "FtpListing.h"
#include "FtpPath.h"
#include "FtpServerConfig.h"
#include "PathMacros.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestFtpPath : public QObject {
    Q_OBJECT

private slots:
    void jail_data()
    {
        QTest::addColumn<QStringList>("current");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("shown"); // display form; empty when refused
        QTest::addColumn<QString>("local");
        const QStringList in { QStringLiteral("IN") };
        const auto row = [](const char* name, const QStringList& current, const QString& argument, const char* shown,
                             const char* local) {
            QTest::newRow(name) << current << argument << QString::fromUtf8(shown) << QString::fromUtf8(local);
        };
        row("plain name", in, QStringLiteral("a.tvr"), "/IN/a.tvr/", "/srv/ftp/IN/a.tvr");
        row("folder below", in, QStringLiteral("SUB"), "/IN/SUB/", "/srv/ftp/IN/SUB");
        row("digits", {}, QStringLiteral("123"), "/123/", "/srv/ftp/123");
        row("absolute", in, QStringLiteral("/OUT/b.res"), "/OUT/b.res/", "/srv/ftp/OUT/b.res");
        row("backslashes", in, QStringLiteral("\\OUT\\b.res"), "/OUT/b.res/", "/srv/ftp/OUT/b.res");
        row("up", in, QStringLiteral(".."), "/", "/srv/ftp");
        row("up at the root stays", {}, QStringLiteral(".."), "/", "/srv/ftp");
        row("shadow", {}, QStringLiteral("../../etc/shadow"), "/etc/shadow/", "/srv/ftp/etc/shadow");
        row("inside then out", in, QStringLiteral("a/../../../x"), "/x/", "/srv/ftp/x");
        row("mixed climb", in, QStringLiteral("..\\../..//tmp"), "/tmp/", "/srv/ftp/tmp");
        row("dots dropped", in, QStringLiteral("./a//b/."), "/IN/a/b/", "/srv/ftp/IN/a/b");
        row("dot name is a name", in, QStringLiteral(".profile"), "/IN/.profile/", "/srv/ftp/IN/.profile");
        row("three dots are a name", in, QStringLiteral("..."), "/IN/.../", "/srv/ftp/IN/...");
        row("blanks kept", in, QStringLiteral("a b.tvr"), "/IN/a b.tvr/", "/srv/ftp/IN/a b.tvr");
        row("empty is here", in, QString(), "/IN/", "/srv/ftp/IN");
        row("nul refused", in, QStringLiteral("a") + QChar(0) + QStringLiteral("/../.."), "", "");
    }
    void jail()
    {
        QFETCH(QStringList, current);
        QFETCH(QString, argument);
        QFETCH(QString, shown);
        QFETCH(QString, local);
        QStringList parts { QStringLiteral("untouched") };
        QCOMPARE(FtpPath::resolve(current, argument, parts), !shown.isEmpty());
        if (shown.isEmpty()) {
            QCOMPARE(parts, QStringList { QStringLiteral("untouched") });
            return;
        }
        QCOMPARE(FtpPath::display(parts), shown);
        QCOMPARE(FtpPath::local(QStringLiteral("/srv/ftp"), parts), local);
    }

    void hidden_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("settings") << QStringLiteral("app/OrtUser.ini") << true;
        QTest::newRow("other letter case") << QStringLiteral("app/ortuser.INI") << true;
        QTest::newRow("marker by pattern") << QStringLiteral("app/000123.ipn") << true;
        QTest::newRow("spelled with dots") << QStringLiteral("app/./sub/../OrtUser.ini") << true;
        QTest::newRow("through a link") << QStringLiteral("link/OrtUser.ini") << true;
        QTest::newRow("same name elsewhere") << QStringLiteral("app/sub/OrtUser.ini") << false;
        QTest::newRow("ordinary file") << QStringLiteral("app/GOODS.TVR") << false;
    }
    void hidden()
    {
        QFETCH(QString, path);
        QFETCH(bool, hidden);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("app/sub")));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("app")), dir.filePath(QStringLiteral("link"))));
        const FtpHiddenFiles files(
            { dir.filePath(QStringLiteral("app/OrtUser.ini")), dir.filePath(QStringLiteral("app/*.ipn")) });
        QCOMPARE(files.contains(dir.filePath(path)), hidden);
    }

    // The server and the exchange take a Root setting the same way; a local folder lies elsewhere.
    void root_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<bool>("ftpServer");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty is the work folder") << QByteArray() << true << QStringLiteral("/var/work");
        QTest::newRow("relative to the work folder")
            << QByteArray("FTP\\IN") << true << QStringLiteral("/var/work/FTP/IN");
        QTest::newRow("local folder: relative to the application folder")
            << QByteArray("office") << false << QStringLiteral("/opt/app/office");
        QTest::newRow("absolute") << QByteArray("/srv/ftp/") << true << QStringLiteral("/srv/ftp");
        QTest::newRow("macros") << QByteArray("<AppDirectory>\\FTP<TerminalNumber>") << true
                                << QStringLiteral("/opt/app/FTP7");
        QTest::newRow("climbing is resolved") << QByteArray("../up") << true << QStringLiteral("/var/up");
    }
    void root()
    {
        QFETCH(QByteArray, setting);
        QFETCH(bool, ftpServer);
        QFETCH(QString, expected);
        AppState& state = appState();
        const QByteArray savedApp = state.appDir;
        const QByteArray savedWork = state.workDir;
        const QByteArray savedNumber = state.user.programm.terminalNumber;
        state.appDir = "/opt/app";
        state.workDir = "/var/work";
        state.user.programm.terminalNumber = "7";
        const QString root = localExchangeRoot(setting, ftpServer);
        state.appDir = savedApp;
        state.workDir = savedWork;
        state.user.programm.terminalNumber = savedNumber;
        QCOMPARE(root, expected);
    }

    void wildcard_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        const auto row = [](const char* pattern, const char* name, bool matches) {
            QTest::addRow("%s ~ %s", pattern, name) << QString::fromUtf8(pattern) << QString::fromUtf8(name) << matches;
        };
        row("*.TXT", "a.txt", true);
        row("*.txt", "a.txt.bak", false);
        row("?b", "ab", true);
        row("?b", "b", false);
        row("a*b*c", "aXbYbZc", true);
        row("a*b*c", "acb", false);
        row("a*a", "a", false); // the two ends may not share a letter
        row("*ab*ab", "abab", true);
        row("*ab*ab", "abxab", true);
        row("*a*b", "aab", true);
        row("[a-c]x", "Bx", true);
        row("[!a-c]x", "bx", false);
        row("[!a-c]x", "dx", true);
        row("[]]*", "]x", true);
        row("т*.TVR", "Товар.tvr", true);
        // Not a pattern: only the name written so.
        row("*[1", "*[1", true);
        row("*[1", "x[1", false);
    }
    void wildcard()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, matches);
        QCOMPARE(ftpWildcardMatch(pattern, name), matches);
    }
};

QTEST_GUILESS_MAIN(TestFtpPath)
#include "tst_ftppath.moc"
