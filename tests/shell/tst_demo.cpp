// The bundled demo settings: they must read without a single error and describe what the later
// screens look up by name.

#include "AppState.h"
#include "Codec.h"
#include "DescrRegistry.h"
#include "RunLog.h"
#include "SettingsFiles.h"
#include "TestUtil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString DemoDir = QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo");
}

class TestDemo : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        TestUtil::openRunLogIn(m_dir.path());
        m_registry.clear();
        QVERIFY(getIniFile(DemoDir + QStringLiteral("/OrtSystem.ini"), m_state, m_registry));
        QVERIFY(getIniFile(DemoDir + QStringLiteral("/OrtUser.ini"), m_state, m_registry));
        RunLog::instance().close();
    }

    void readsWithoutAnyReport()
    {
        // Only the two "processing" lines: any error report would add lines of its own.
        const QList<QByteArray> lines
            = TestUtil::readFile(QDir(m_dir.path()).filePath(QStringLiteral("logortc.txt"))).split('\n');
        QStringList texts;
        for (const QByteArray& line : lines)
            if (!line.isEmpty())
                texts.append(toUi(line));
        QCOMPARE(texts.size(), 2);
        QVERIFY(texts[0].contains(QStringLiteral("Обработка ини файла OrtSystem.ini")));
        QVERIFY(texts[1].contains(QStringLiteral("Обработка ини файла OrtUser.ini")));
    }

    void filesAreWindows1251WithCrLf_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("system") << QStringLiteral("OrtSystem.ini");
        QTest::newRow("user") << QStringLiteral("OrtUser.ini");
    }
    void filesAreWindows1251WithCrLf()
    {
        QFETCH(QString, file);
        const QByteArray bytes = TestUtil::readFile(DemoDir + QLatin1Char('/') + file);
        QVERIFY(!bytes.isEmpty());
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        // UTF-8 Cyrillic would show up as lead bytes 0xD0/0xD1 followed by 0x80..0xBF.
        QVERIFY(!QString::fromUtf8(bytes).contains(QStringLiteral("Справочник")));
        QVERIFY(!QString::fromUtf8(bytes).contains(QStringLiteral("папка")));
    }

    void tableLayouts_data()
    {
        QTest::addColumn<QByteArray>("extension");
        QTest::addColumn<QByteArrayList>("required");
        QTest::newRow("goods") << QByteArray("TVR") << QByteArrayList { "CODE", "BAR", "NAME", "PRICE", "REST" };
        QTest::newRow("receipt") << QByteArray("PRH") << QByteArrayList { "CODE", "BAR", "NAME", "PRICE", "REST" };
        QTest::newRow("results") << QByteArray("RES") << QByteArrayList { "CODE", "BAR", "NAME", "PRICE", "REST" };
        QTest::newRow("file list") << QByteArray("TAB")
                                   << QByteArrayList { "NAME", "SPTYPE", "TYPE", "NUMBER", "FLAG" };
    }
    void tableLayouts()
    {
        QFETCH(QByteArray, extension);
        QFETCH(QByteArrayList, required);
        const TableDescr* table = m_registry.table(extension);
        QVERIFY(table);
        QCOMPARE(table->extension, extension);
        QVERIFY(!table->name.isEmpty());
        QVERIFY(!table->pname.isEmpty());
        for (const QByteArray& field : required)
            QVERIFY2(table->fieldIndex(field) >= 0, field.constData());
        QVERIFY(table->recordLength > 0);
    }

    void weightCodeRecordIsFiftySixBytes()
    {
        const TableDescr* wgt = m_registry.table("WGT");
        QVERIFY(wgt);
        QCOMPARE(wgt->recordLength, 56);
        QCOMPARE(wgt->fields.size(), 4);
        const QList<QPair<FieldType, int>> expected { { FieldType::Integer, 0 }, { FieldType::Text, 4 },
            { FieldType::Text, 20 }, { FieldType::Integer, 52 } };
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(wgt->fields[i].type, expected[i].first);
            QCOMPARE(wgt->fields[i].offset, expected[i].second);
        }
    }

    void fileListItemsInOrder()
    {
        const TableDescr* tab = m_registry.table("TAB");
        QVERIFY(tab);
        QCOMPARE(tab->fields.size(), 8);
        const QList<FieldType> types { FieldType::Text, FieldType::Text, FieldType::Integer, FieldType::Text,
            FieldType::Integer, FieldType::Date, FieldType::Time, FieldType::Text };
        for (int i = 0; i < types.size(); ++i)
            QCOMPARE(tab->fields[i].type, types[i]);
        QCOMPARE(tab->fields[0].name, QByteArray("NAME"));
        QCOMPARE(tab->fields[1].name, QByteArray("SPTYPE"));
        QCOMPARE(tab->fields[2].name, QByteArray("TYPE"));
        QCOMPARE(tab->fields[3].name, QByteArray("NUMBER"));
        QCOMPARE(tab->fields[7].name, QByteArray("FLAG"));
        QVERIFY(tab->fields[0].length >= 32); // file names such as "Tovar12_TVR.BIN" fit
    }

    void everyViewIsFilledAndFits()
    {
        for (int slot = 0; slot < DescrRegistry::ViewSlots; ++slot) {
            ViewDescr view = m_registry.viewAt(slot);
            const QByteArray name = QByteArray(view.tableExtension + ' ' + view.mode);
            QVERIFY2(!view.columns.isEmpty(), qPrintable(QString::number(slot)));
            const TableDescr* table = m_registry.table(view.tableExtension);
            QVERIFY2(table, name.constData());
            QCOMPARE(view.tableName, table->name);
            view.bind(*table);
            int shownWidth = 0;
            for (const ColumnDescr& column : view.columns) {
                QVERIFY2(column.fieldIndex >= 0, QByteArray(name + ' ' + column.fieldName).constData());
                if (column.shown == '+')
                    shownWidth += column.width;
            }
            QVERIFY2(shownWidth > 0 && shownWidth <= 240, name.constData());
        }
    }

    void everyParameterPageNamesItsOwnKeys_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArrayList>("keys");
        QTest::newRow("PROGRAMM") << QByteArray("PROGRAMM")
                                  << QByteArrayList { "PROGRAMM", "TERMINALNUMBER", "WORKDIRECTORY", "ENONDEPARTMENT",
                                         "ENONPLACE", "ENONDOCUMENT", "ENAVTORIZ", "ENEXITREQUEST" };
        QTest::newRow("FTP_CLIENT") << QByteArray("FTP_CLIENT")
                                    << QByteArrayList { "IPADRESS", "USERNAME", "PASSWORD", "TRANSFERMODE", "ROOT",
                                           "INPUT", "OUTPUT", "TLS", "FINGERPRINT" };
        QTest::newRow("FTP_SERVER") << QByteArray(
            "FTP_SERVER") << QByteArrayList { "USERNAME", "PASSWORD", "ROOT", "INPUT", "OUTPUT", "TRACE", "TLS" };
        QTest::newRow("LOCAL_DIR") << QByteArray("LOCAL_DIR") << QByteArrayList { "ROOT", "INPUT", "OUTPUT" };
        QTest::newRow("OBMEN") << QByteArray("OBMEN")
                               << QByteArrayList { "IOFTPLOCAL", "ENUNLOADREQUEST", "ENLOADREPLACE", "LOADACT",
                                      "UNLOADACT", "LOADMESSAGE", "UNLOADMESSAGE", "ENCASECHANGED" };
        QTest::newRow("VVOD") << QByteArray("VVOD")
                              << QByteArrayList { "ENADDITEM", "QUANTITYINCR", "ENWEIGHTBARCODE", "ENQUANTITYSKIP",
                                     "ENSUMREPEATED", "SEARCHORDER", "VVODPANEL", "ENSUMDOCUM", "ENSCANCONFIRMS" };
    }
    void everyParameterPageNamesItsOwnKeys()
    {
        QFETCH(QByteArray, page);
        QFETCH(QByteArrayList, keys);
        const ParmViewDescr* view = m_registry.parmView(page);
        QVERIFY(view);
        QByteArrayList got;
        for (const ParmDescr& parm : view->parms) {
            got.append(parm.key);
            QVERIFY(!parm.label.isEmpty());
        }
        QCOMPARE(got, keys);
    }

    void userSettingsOfTheDemo()
    {
        const UserSettings& user = m_state.user;
        QCOMPARE(user.obmen.ioFtpLocal, static_cast<qint32>(Channel::LocalDir));
        QCOMPARE(user.programm.programm, false);
        QCOMPARE(user.programm.workDirectory, QByteArray());
        QCOMPARE(user.vvod.quantityIncr, 1000);
        QCOMPARE(user.vvod.searchOrder, static_cast<qint32>(SearchOrder::BarThenCode));
        QCOMPARE(user.ftpClient.passWord, QByteArray("ortova"));
        QCOMPARE(user.ftpServer.passWord, QByteArray("office"));
        QCOMPARE(m_state.system.summaDp, 2);
        QCOMPARE(m_state.system.quantityDp, 3);
    }

private:
    QTemporaryDir m_dir;
    AppState m_state;
    DescrRegistry m_registry;
};

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_demo.moc"
