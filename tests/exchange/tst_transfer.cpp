// Moving files between the work folder and an exchange folder: one folder under two names, copies
// that never lose the source or the old target, the source actions, leftovers of a crash.

#include "AppState.h"
#include "ExchangeFixtures.h"
#include "FailingDevices.h"
#include "FileIo.h"
#include "Transfer.h"

#include <QTest>

using ExchangeFixtures::entries;
using TestUtil::readFile;
using TestUtil::writeFile;

Q_DECLARE_METATYPE(CopyOutcome)

class TestTransfer : public QObject {
    Q_OBJECT
    ExchangeFixtures::Folders m_f;

private slots:
    void init() { QVERIFY(m_f.make()); }

    void sameFolderNames_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("same");
        QTest::newRow("trailing slash") << QStringLiteral("/") << true;
        QTest::newRow("root slash, input empty") << QStringLiteral("//") << true;
        QTest::newRow("dot") << QStringLiteral("/.") << true;
        QTest::newRow("symbolic link") << QStringLiteral("/../link") << true;
        QTest::newRow("sub-folder") << QStringLiteral("/in") << false;
        QTest::newRow("missing folder") << QStringLiteral("/gone") << false;
    }
    void sameFolderNames()
    {
        QFETCH(QString, suffix);
        QFETCH(bool, same);
        QVERIFY(QDir(m_f.work).mkdir(QStringLiteral("in")));
        QVERIFY(QFile::link(m_f.work, m_f.root->filePath(QStringLiteral("link"))));
        QCOMPARE(sameFolder(m_f.work + suffix, m_f.work), same);
        QCOMPARE(sameFolder(m_f.work, m_f.work + suffix), same);
    }

    void copyOntoItselfKeepsSource_data()
    {
        // Root is the work folder; the controller names the source root + "/" + input + "/" + name.
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("name");
        QTest::newRow("input empty") << QString() << QStringLiteral("Tovar.tvr");
        QTest::newRow("input dot") << QStringLiteral(".") << QStringLiteral("Tovar.tvr");
        QTest::newRow("office writes upper case") << QString() << QStringLiteral("TOVAR.TVR");
    }
    void copyOntoItselfKeepsSource()
    {
        QFETCH(QString, input);
        QFETCH(QString, name);
        QVERIFY(writeFile(m_f.path("TOVAR.TVR"), "1;2\r\n"));
        const QString source = m_f.work + QStringLiteral("//") + input + QLatin1Char('/') + name;
        QCOMPARE(copyFileSafely(source, m_f.path("tovar.tvr")), CopyOutcome::SameFile);
        QCOMPARE(entries(m_f.work), QStringList { QStringLiteral("TOVAR.TVR") });
        QCOMPARE(readFile(m_f.path("TOVAR.TVR")), QByteArray("1;2\r\n"));
    }

    void copyReplacesTargetInChunks()
    {
        // The work folder's file of that name in another case is replaced, not doubled.
        const QByteArray content = QByteArray(FileChunkBytes * 2, 'x') + "end";
        QVERIFY(writeFile(m_f.path("in/TOVAR.TVR"), content));
        QVERIFY(writeFile(m_f.path("Tovar.TVR"), "old"));
        QList<QPair<qint64, qint64>> calls;
        QCOMPARE(copyFileSafely(m_f.path("in/tovar.tvr"), m_f.path("tovar.tvr"),
                     [&](qint64 done, qint64 total) {
                         calls.append({ done, total });
                     }),
            CopyOutcome::Copied);
        QCOMPARE(entries(m_f.work), (QStringList { QStringLiteral("Tovar.TVR"), QStringLiteral("in") }));
        QCOMPARE(readFile(m_f.path("Tovar.TVR")), content);
        const qint64 total = content.size();
        QCOMPARE(calls,
            (QList<QPair<qint64, qint64>> {
                { FileChunkBytes, total }, { 2 * FileChunkBytes, total }, { total, total } }));
    }

    void failedCopyKeepsTarget_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<CopyOutcome>("outcome");
        QTest::newRow("disk full") << QStringLiteral("in/Tovar.tvr") << QStringLiteral("Tovar.tvr")
                                   << CopyOutcome::Failed;
        QTest::newRow("target is a folder")
            << QStringLiteral("in/Tovar.tvr") << QStringLiteral("dir.tvr") << CopyOutcome::Failed;
        QTest::newRow("source is a folder")
            << QStringLiteral("in/dir.tvr") << QStringLiteral("Tovar.tvr") << CopyOutcome::NoSource;
        QTest::newRow("source missing") << QStringLiteral("in/Prihod.prh") << QStringLiteral("Tovar.tvr")
                                        << CopyOutcome::NoSource;
    }
    void failedCopyKeepsTarget()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(CopyOutcome, outcome);
        const QByteArray content(300000, 'n');
        QVERIFY(writeFile(m_f.path("in/Tovar.tvr"), content));
        QVERIFY(writeFile(m_f.path("Tovar.tvr"), "old"));
        QVERIFY(QDir(m_f.work).mkpath(QStringLiteral("in/dir.tvr")));
        QVERIFY(QDir(m_f.work).mkpath(QStringLiteral("dir.tvr")));
        const QStringList before = entries(m_f.work);
        const auto copy = [&] { return copyFileSafely(m_f.path(source), m_f.path(target)); };
        QCOMPARE(
            QTest::currentDataTag() == QByteArray("disk full") ? withFileSizeLimit(100000, copy) : copy(), outcome);
        QCOMPARE(readFile(m_f.path("Tovar.tvr")), QByteArray("old"));
        QCOMPARE(readFile(m_f.path("in/Tovar.tvr")), content);
        QCOMPARE(entries(m_f.work), before);
    }

    void renameToO_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("present");
        QTest::newRow("nothing there") << QStringLiteral("GOODS01.TVR") << QString();
        QTest::newRow("named in another case") << QStringLiteral("goods01.tvr") << QString();
        QTest::newRow("renamed one in another case") << QStringLiteral("GOODS01.TVR") << QStringLiteral("goods01.tvo");
    }
    void renameToO()
    {
        // Two loads of GOODS01.TVR: the second finds the first one's renamed file.
        QFETCH(QString, given);
        QFETCH(QString, present);
        if (!present.isEmpty())
            QVERIFY(writeFile(m_f.path(present), "older"));
        for (const QByteArray& load : { QByteArray("first"), QByteArray("second") }) {
            QVERIFY(writeFile(m_f.path("GOODS01.TVR"), load));
            QVERIFY2(applySourceAction(SourceAction::Rename, m_f.path(given)), load.constData());
            QCOMPARE(entries(m_f.work), QStringList { QStringLiteral("GOODS01.TVo") });
            QCOMPARE(readFile(m_f.path("GOODS01.TVo")), load);
        }
    }

    void failedActionsAreLogged()
    {
        // Folders stand where the file to delete, or the new name, should be.
        QVERIFY(QDir(m_f.work).mkpath(QStringLiteral("Tovar.tvr/x")));
        QVERIFY(!applySourceAction(SourceAction::Delete, m_f.path("tovar.tvr")));
        QVERIFY(writeFile(m_f.path("Prihod.prh"), "data"));
        QVERIFY(QDir(m_f.work).mkpath(QStringLiteral("Prihod.prO/x")));
        QVERIFY(!applySourceAction(SourceAction::Rename, m_f.path("Prihod.prh")));
        QCOMPARE(readFile(m_f.path("Prihod.prh")), QByteArray("data"));
        QCOMPARE(m_f.log().count("applySourceAction: not deleted"), 2);
        QVERIFY(applySourceAction(SourceAction::Delete, m_f.path("PRIHOD.PRH")));
        QVERIFY(!QFile::exists(m_f.path("Prihod.prh")));
    }

    void staleTemporaries_data()
    {
        QTest::addColumn<QByteArray>("terminal");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("removed");
        QTest::newRow("copy") << QByteArray() << QStringLiteral("price.xls.ortova-a1B2c3") << true;
        QTest::newRow("copy of terminal 07")
            << QByteArray("07") << QStringLiteral("price.xls.ortova-07-a1B2c3") << true;
        QTest::newRow("another terminal's copy")
            << QByteArray("07") << QStringLiteral("Ostatki.res.ortova-08-a1B2c3") << false;
        QTest::newRow("unnumbered terminal's copy, seen by 07")
            << QByteArray("07") << QStringLiteral("Ostatki.res.ortova-a1B2c3") << false;
        QTest::newRow("reduction, replaced")
            << QByteArray() << QStringLiteral("T_tvr.bin.ortova-123456.ortova-abcDEF") << true;
        QTest::newRow("settings being saved") << QByteArray() << QStringLiteral("OrtUser.ini.ortova-Q1w2E3") << true;
        // The office's files, however much they look like temporaries.
        QTest::newRow("office backup") << QByteArray() << QStringLiteral("goods.tvr.backup") << false;
        QTest::newRow("office dated results") << QByteArray() << QStringLiteral("shop.res.241231") << false;
        QTest::newRow("office table copy") << QByteArray() << QStringLiteral("Tovar01_TVR.BIN.Zz9yX8") << false;
        QTest::newRow("office index copy") << QByteArray() << QStringLiteral("Bar.ndx.QwErTy") << false;
        QTest::newRow("office file, random-looking") << QByteArray() << QStringLiteral("price.xls.Ab12Cd") << false;
        QTest::newRow("five characters") << QByteArray() << QStringLiteral("x.tvr.ortova-12345") << false;
        // The FTP server's upload in progress is the server's to tidy, not the exchange's.
        QTest::newRow("upload to the FTP server") << QByteArray() << QStringLiteral(".ftpupload.x9Y8z7") << false;
    }
    void staleTemporaries()
    {
        QFETCH(QByteArray, terminal);
        QFETCH(QString, name);
        QFETCH(bool, removed);
        const QByteArray saved = appState().user.programm.terminalNumber;
        appState().user.programm.terminalNumber = terminal;
        QVERIFY(writeFile(m_f.path(name), "x"));
        QVERIFY(writeFile(m_f.path("Tovar_tvr.bin"), "table"));
        removeStaleTemporaries(m_f.work);
        appState().user.programm.terminalNumber = saved;
        QCOMPARE(entries(m_f.work).contains(name), !removed);
        QVERIFY(QFile::exists(m_f.path("Tovar_tvr.bin")));
    }
};

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
