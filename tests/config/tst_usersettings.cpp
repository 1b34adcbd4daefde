// The user settings file: every value rule of the six sections and SYSTEM, password scrambling,
// the written form and the save at exit with its backup.

#include "AppState.h"
#include "DescrRegistry.h"
#include "FailingDevices.h"
#include "IniReader.h"
#include "ScriptedResponder.h"
#include "SettingsFiles.h"
#include "TestUtil.h"
#include "UserSettingsFile.h"
#include "UserSettingsKeys.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using TestUtil::cp;

namespace {

// One field of the records by name, as bytes, so a data row can name what it checks.
QByteArray fieldValue(const AppState& s, const QByteArray& name)
{
    const UserSettings& u = s.user;
    auto n = [](qint64 v) { return QByteArray::number(v); };
    const QHash<QByteArray, std::function<QByteArray()>> fields {
        { "ftpClient.ipAdress", [&] { return u.ftpClient.ipAdress; } },
        { "ftpClient.userName", [&] { return u.ftpClient.userName; } },
        { "ftpClient.passWord", [&] { return u.ftpClient.passWord; } },
        { "ftpClient.transferMode", [&] { return n(u.ftpClient.transferMode); } },
        { "ftpClient.root", [&] { return u.ftpClient.root; } },
        { "ftpServer.passWord", [&] { return u.ftpServer.passWord; } },
        { "ftpServer.trace", [&] { return n(u.ftpServer.trace); } },
        { "ftpServer.output", [&] { return u.ftpServer.output; } },
        { "localDir.output", [&] { return u.localDir.output; } },
        { "obmen.ioFtpLocal", [&] { return n(u.obmen.ioFtpLocal); } },
        { "obmen.loadAct", [&] { return n(u.obmen.loadAct); } },
        { "obmen.unloadAct", [&] { return n(u.obmen.unloadAct); } },
        { "obmen.loadMessage", [&] { return n(u.obmen.loadMessage); } },
        { "obmen.unloadMessage", [&] { return n(u.obmen.unloadMessage); } },
        { "obmen.enUnloadRequest", [&] { return n(u.obmen.enUnloadRequest); } },
        { "obmen.enCaseChanged", [&] { return n(u.obmen.enCaseChanged); } },
        { "programm.programm", [&] { return n(u.programm.programm); } },
        { "programm.terminalNumber", [&] { return u.programm.terminalNumber; } },
        { "programm.workDirectory", [&] { return u.programm.workDirectory; } },
        { "programm.enExitRequest", [&] { return n(u.programm.enExitRequest); } },
        { "vvod.searchOrder", [&] { return n(u.vvod.searchOrder); } },
        { "vvod.vvodPanel", [&] { return n(u.vvod.vvodPanel); } },
        { "vvod.quantityIncr", [&] { return n(u.vvod.quantityIncr); } },
        { "vvod.enAddItem", [&] { return n(u.vvod.enAddItem); } },
        { "system.summaDp", [&] { return n(s.system.summaDp); } },
        { "system.quantityDp", [&] { return n(s.system.quantityDp); } },
    };
    const auto it = fields.constFind(name);
    return it == fields.constEnd() ? QByteArrayLiteral("<no such field>") : (*it)();
}

// Every field of the six records, compared one by one so a failure names the field.
void compareUser(const UserSettings& a, const UserSettings& b)
{
    QCOMPARE(a.ftpClient.ipAdress, b.ftpClient.ipAdress);
    QCOMPARE(a.ftpClient.userName, b.ftpClient.userName);
    QCOMPARE(a.ftpClient.passWord, b.ftpClient.passWord);
    QCOMPARE(a.ftpClient.transferMode, b.ftpClient.transferMode);
    QCOMPARE(a.ftpClient.root, b.ftpClient.root);
    QCOMPARE(a.ftpClient.input, b.ftpClient.input);
    QCOMPARE(a.ftpClient.output, b.ftpClient.output);
    QCOMPARE(a.ftpServer.userName, b.ftpServer.userName);
    QCOMPARE(a.ftpServer.passWord, b.ftpServer.passWord);
    QCOMPARE(a.ftpServer.root, b.ftpServer.root);
    QCOMPARE(a.ftpServer.input, b.ftpServer.input);
    QCOMPARE(a.ftpServer.output, b.ftpServer.output);
    QCOMPARE(a.ftpServer.trace, b.ftpServer.trace);
    QCOMPARE(a.localDir.root, b.localDir.root);
    QCOMPARE(a.localDir.input, b.localDir.input);
    QCOMPARE(a.localDir.output, b.localDir.output);
    QCOMPARE(a.obmen.enUnloadRequest, b.obmen.enUnloadRequest);
    QCOMPARE(a.obmen.ioFtpLocal, b.obmen.ioFtpLocal);
    QCOMPARE(a.obmen.enLoadReplace, b.obmen.enLoadReplace);
    QCOMPARE(a.obmen.loadAct, b.obmen.loadAct);
    QCOMPARE(a.obmen.unloadAct, b.obmen.unloadAct);
    QCOMPARE(a.obmen.loadMessage, b.obmen.loadMessage);
    QCOMPARE(a.obmen.unloadMessage, b.obmen.unloadMessage);
    QCOMPARE(a.obmen.enCaseChanged, b.obmen.enCaseChanged);
    QCOMPARE(a.programm.programm, b.programm.programm);
    QCOMPARE(a.programm.terminalNumber, b.programm.terminalNumber);
    QCOMPARE(a.programm.workDirectory, b.programm.workDirectory);
    QCOMPARE(a.programm.enOnDepartment, b.programm.enOnDepartment);
    QCOMPARE(a.programm.enOnPlace, b.programm.enOnPlace);
    QCOMPARE(a.programm.enOnDocument, b.programm.enOnDocument);
    QCOMPARE(a.programm.enAvtoriz, b.programm.enAvtoriz);
    QCOMPARE(a.programm.enExitRequest, b.programm.enExitRequest);
    QCOMPARE(a.vvod.enAddItem, b.vvod.enAddItem);
    QCOMPARE(a.vvod.enWeightBarCode, b.vvod.enWeightBarCode);
    QCOMPARE(a.vvod.quantityIncr, b.vvod.quantityIncr);
    QCOMPARE(a.vvod.enQuantitySkip, b.vvod.enQuantitySkip);
    QCOMPARE(a.vvod.enSumRepeated, b.vvod.enSumRepeated);
    QCOMPARE(a.vvod.searchOrder, b.vvod.searchOrder);
    QCOMPARE(a.vvod.vvodPanel, b.vvod.vvodPanel);
    QCOMPARE(a.vvod.enSumDocum, b.vvod.enSumDocum);
}

// Settings where every field differs from its default; variant picks the enumeration values.
UserSettings sampleUser(int variant)
{
    UserSettings u;
    u.ftpClient.ipAdress = "192.168.0." + QByteArray::number(variant + 10);
    u.ftpClient.userName = cp("оператор");
    u.ftpClient.passWord = variant == 0 ? QByteArray("secret") : cp("Пароль16символов");
    u.ftpClient.transferMode = variant % 2;
    u.ftpClient.root = cp("/обмен/корень");
    u.ftpClient.input = "in";
    u.ftpClient.output = "out";
    u.ftpServer.userName = "office";
    u.ftpServer.passWord = "p@ss w0rd";
    u.ftpServer.root = "<APPDIRECTORY>ftp";
    u.ftpServer.input = "load";
    u.ftpServer.output = "unload";
    u.ftpServer.trace = variant - 1;
    u.localDir.root = "/media/usb";
    u.localDir.input = "<TERMINALNUMBER>/in";
    u.localDir.output = "out";
    u.obmen.enUnloadRequest = variant != 1;
    u.obmen.ioFtpLocal = variant;
    u.obmen.enLoadReplace = variant == 1;
    u.obmen.loadAct = variant;
    u.obmen.unloadAct = 2 - variant;
    u.obmen.loadMessage = variant % 2;
    u.obmen.unloadMessage = 1 - variant % 2;
    u.obmen.enCaseChanged = true;
    u.programm.programm = variant % 2;
    u.programm.terminalNumber = "T-" + QByteArray::number(variant);
    u.programm.workDirectory = variant == 2 ? QByteArray() : QByteArray("/var/ortova");
    u.programm.enOnDepartment = variant == 0;
    u.programm.enOnPlace = variant == 1;
    u.programm.enOnDocument = variant == 2;
    u.programm.enAvtoriz = true;
    u.programm.enExitRequest = variant != 0;
    u.vvod.enAddItem = variant != 2;
    u.vvod.enWeightBarCode = variant == 2;
    u.vvod.quantityIncr = variant == 0 ? 1000 : (variant == 1 ? 125 : 0);
    u.vvod.enQuantitySkip = variant == 1;
    u.vvod.enSumRepeated = variant == 0;
    u.vvod.searchOrder = variant;
    u.vvod.vvodPanel = variant % 2;
    u.vvod.enSumDocum = variant != 1;
    return u;
}

QByteArray reportOf(const QString& logPath)
{
    const QByteArray log = TestUtil::readFile(logPath);
    const int end = log.indexOf('\n');
    return end < 0 ? QByteArray() : log.mid(end + 1);
}

SaveDialogs dialogsFor(ScriptedResponder& r)
{
    SaveDialogs d;
    d.message = [&r](int icon, const QString& title, const QString& text) { r.message(icon, title, text); };
    d.choice = [&r](const QString& title, const QString& text, const QString& first, const QString& second) {
        return r.choice(title, text, first, second);
    };
    return d;
}

} // namespace

class TestUserSettings : public QObject {
    Q_OBJECT

private slots:
    void valueRules_data();
    void valueRules();
    void headerResetsOnlyItsSection();
    void passwordKnownVectors_data();
    void passwordKnownVectors();
    void passwordRoundTrip_data();
    void passwordRoundTrip();
    void passwordLimits();
    void writtenFile();
    void writeThenRead_data();
    void writeThenRead();
    void valueWithLineBreak();
    void everyKeyValueReadsBack();
    void saveNotChanged();
    void saveSkipped();
    void saveKeepsBackup();
    void saveWithoutFormerFile();
    void saveBackupImpossible();
    void saveWriteFailsRestores();
    void saveBrokenAtEachStep_data();
    void saveBrokenAtEachStep();
};

void TestUserSettings::valueRules_data()
{
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("body"); // lines; a reported line is the last one
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray none;
    const QByteArray badPassword = QByteArray(17, 'a').toHex().toBase64();
    auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };

    row("FTP_CLIENT address cut to 63") << QByteArray("FTP_CLIENT") << QByteArray("IPAdress=" + QByteArray(70, 'a'))
                                        << true << none << QByteArray("ftpClient.ipAdress") << QByteArray(63, 'a');
    row("key in any case, blanks round =") << QByteArray("FTP_CLIENT") << QByteArray("  ipadress =  10.0.0.1 ") << true
                                           << none << QByteArray("ftpClient.ipAdress") << QByteArray("10.0.0.1");
    row("text keeps its case") << QByteArray("FTP_CLIENT") << cp("UserName=Иван Петров") << true << none
                               << QByteArray("ftpClient.userName") << cp("Иван Петров");
    row("TransferMode active") << QByteArray("FTP_CLIENT") << QByteArray("TransferMode=active") << true << none
                               << QByteArray("ftpClient.transferMode") << QByteArray("1");
    row("TransferMode other is passive") << QByteArray("FTP_CLIENT")
                                         << QByteArray("TransferMode=Active\nTransferMode=fast") << true << none
                                         << QByteArray("ftpClient.transferMode") << QByteArray("0");
    row("folder of 510 bytes kept") << QByteArray("FTP_CLIENT") << QByteArray("Root=" + QByteArray(510, 'r')) << true
                                    << none << QByteArray("ftpClient.root") << QByteArray(510, 'r');
    row("FTP_CLIENT stored password") << QByteArray("FTP_CLIENT") << QByteArray("PassWord=MzQ=") << true << none
                                      << QByteArray("ftpClient.passWord") << QByteArray("a");
    row("FTP_CLIENT bad password") << QByteArray("FTP_CLIENT") << QByteArray("PassWord=" + badPassword) << false
                                   << cp("404:Секция [FTP_CLIENT].Неправильный пароль ")
                                   << QByteArray("ftpClient.passWord") << QByteArray();
    row("FTP_CLIENT unknown key") << QByteArray("FTP_CLIENT") << QByteArray("Host=1") << false
                                  << cp("404:Секция [FTP_CLIENT].Нет такого параметра ")
                                  << QByteArray("ftpClient.ipAdress") << QByteArray();
    row("FTP_CLIENT malformed") << QByteArray("FTP_CLIENT") << QByteArray("IPAdress=1\nIPAdress 2") << false
                                << cp("404:Секция [FTP_CLIENT].Неправильная структура строки")
                                << QByteArray("ftpClient.ipAdress") << QByteArray("1");
    row("FTP_CLIENT blank line malformed") << QByteArray("FTP_CLIENT") << QByteArray("   ") << false
                                           << cp("404:Секция [FTP_CLIENT].Неправильная структура строки")
                                           << QByteArray("ftpClient.ipAdress") << QByteArray();

    row("Trace") << QByteArray("FTP_SERVER") << QByteArray("Trace=-3") << true << none << QByteArray("ftpServer.trace")
                 << QByteArray("-3");
    row("Trace not a number keeps value") << QByteArray("FTP_SERVER") << QByteArray("Trace=2\nTrace=2x") << false
                                          << none << QByteArray("ftpServer.trace") << QByteArray("2");
    row("FTP_SERVER bad password") << QByteArray("FTP_SERVER") << QByteArray("PassWord=" + badPassword) << false
                                   << cp("404:Секция [FTP_SERVER].Неправильный пароль ")
                                   << QByteArray("ftpServer.passWord") << QByteArray();
    row("FTP_SERVER unknown key") << QByteArray("FTP_SERVER") << QByteArray("IPAdress=1") << false
                                  << cp("404:Секция [FTP_SERVER].Нет такого параметра ")
                                  << QByteArray("ftpServer.output") << QByteArray();
    row("FTP_SERVER malformed") << QByteArray("FTP_SERVER") << QByteArray("Output") << false
                                << cp("404:Секция [FTP_SERVER].Неправильная структура строки")
                                << QByteArray("ftpServer.output") << QByteArray();

    row("LOCAL_DIR folder") << QByteArray("LOCAL_DIR") << cp("Output=Выгрузка\\out") << true << none
                            << QByteArray("localDir.output") << cp("Выгрузка\\out");
    row("LOCAL_DIR unknown key") << QByteArray("LOCAL_DIR") << QByteArray("Trace=1") << false
                                 << cp("404:Нет такого параметра ") << QByteArray("localDir.output") << QByteArray();
    row("LOCAL_DIR malformed") << QByteArray("LOCAL_DIR") << QByteArray("=x") << false
                               << cp("404:Секция [LOCAL_DIR].Неправильная структура строки")
                               << QByteArray("localDir.output") << QByteArray();

    row("channel with capital Я") << QByteArray("OBMEN") << cp("IoFTPLocal=ЛокальнаЯ папка") << true << none
                                  << QByteArray("obmen.ioFtpLocal") << QByteArray("1");
    row("channel server any case") << QByteArray("OBMEN") << cp("IoFTPLocal=ftp сервер") << true << none
                                   << QByteArray("obmen.ioFtpLocal") << QByteArray("2");
    row("channel client") << QByteArray("OBMEN") << cp("IoFTPLocal=FTP Сервер\nIoFTPLocal=fTp КлиенТ") << true << none
                          << QByteArray("obmen.ioFtpLocal") << QByteArray("0");
    row("channel with small я") << QByteArray("OBMEN") << cp("IoFTPLocal=Локальная папка") << false
                                << cp("411:секция [OBMEN]. Нет такого параметра ") << QByteArray("obmen.ioFtpLocal")
                                << QByteArray("0");
    row("channel part of the words") << QByteArray("OBMEN") << cp("IoFTPLocal=FTP") << false
                                     << cp("411:секция [OBMEN]. Нет такого параметра ")
                                     << QByteArray("obmen.ioFtpLocal") << QByteArray("0");
    row("LoadAct delete by its first letters") << QByteArray("OBMEN") << cp("LoadAct=удалить всё") << true << none
                                               << QByteArray("obmen.loadAct") << QByteArray("1");
    row("LoadAct УДАЛ alone") << QByteArray("OBMEN") << cp("LoadAct=УДАЛ") << true << none
                              << QByteArray("obmen.loadAct") << QByteArray("1");
    row("LoadAct rename") << QByteArray("OBMEN") << cp("LoadAct=Изменять название") << true << none
                          << QByteArray("obmen.loadAct") << QByteArray("2");
    row("LoadAct too short for rename") << QByteArray("OBMEN") << cp("LoadAct=изме") << true << none
                                        << QByteArray("obmen.loadAct") << QByteArray("0");
    row("LoadAct keep") << QByteArray("OBMEN") << cp("LoadAct=Удалять\nLoadAct=оставлять справочник") << true << none
                        << QByteArray("obmen.loadAct") << QByteArray("0");
    row("LoadAct empty is keep") << QByteArray("OBMEN") << cp("LoadAct=Удалять\nLoadAct=") << true << none
                                 << QByteArray("obmen.loadAct") << QByteArray("0");
    row("LoadAct other word is keep") << QByteArray("OBMEN") << cp("LoadAct=Изменять\nLoadAct=move") << true << none
                                      << QByteArray("obmen.loadAct") << QByteArray("0");
    row("UnloadAct rename") << QByteArray("OBMEN") << cp("UnloadAct=изменить") << true << none
                            << QByteArray("obmen.unloadAct") << QByteArray("2");
    row("LoadMessage always") << QByteArray("OBMEN") << cp("LoadMessage=всегда") << true << none
                              << QByteArray("obmen.loadMessage") << QByteArray("1");
    row("UnloadMessage on error") << QByteArray("OBMEN") << cp("UnloadMessage=Всегда\nUnloadMessage=При ошибке") << true
                                  << none << QByteArray("obmen.unloadMessage") << QByteArray("0");
    row("boolean true any case") << QByteArray("OBMEN") << QByteArray("EnCaseChanged=tRuE") << true << none
                                 << QByteArray("obmen.enCaseChanged") << QByteArray("1");
    row("boolean other is false") << QByteArray("OBMEN") << QByteArray("EnUnloadRequest=TRUE\nEnUnloadRequest=yes")
                                  << true << none << QByteArray("obmen.enUnloadRequest") << QByteArray("0");
    row("OBMEN unknown key") << QByteArray("OBMEN") << QByteArray("Root=x") << false
                             << cp("411:секция [OBMEN]. Нет такого параметра ") << QByteArray("obmen.loadAct")
                             << QByteArray("0");
    row("OBMEN malformed") << QByteArray("OBMEN") << QByteArray("LoadAct") << false
                           << cp("404:Секция [OBMEN].Неправильная структура строки") << QByteArray("obmen.loadAct")
                           << QByteArray("0");

    row("receipt mode") << QByteArray("PROGRAMM") << cp("Programm=приход товара") << true << none
                        << QByteArray("programm.programm") << QByteArray("1");
    row("stock-taking mode") << QByteArray("PROGRAMM") << cp("Programm=Приход товара\nProgramm=Инвентаризация") << true
                             << none << QByteArray("programm.programm") << QByteArray("0");
    row("terminal number cut to 15") << QByteArray("PROGRAMM") << QByteArray("TerminalNumber=0123456789ABCDEF") << true
                                     << none << QByteArray("programm.terminalNumber") << QByteArray("0123456789ABCDE");
    row("work folder") << QByteArray("PROGRAMM") << QByteArray("WorkDirectory=<APPDIRECTORY>work") << true << none
                       << QByteArray("programm.workDirectory") << QByteArray("<APPDIRECTORY>work");
    row("exit request") << QByteArray("PROGRAMM") << QByteArray("EnExitRequest=TRUE") << true << none
                        << QByteArray("programm.enExitRequest") << QByteArray("1");
    row("PROGRAMM unknown key") << QByteArray("PROGRAMM") << QByteArray("Programme=1") << false
                                << cp("406:секция [PROGRAMM]. Нет такого параметра ") << QByteArray("programm.programm")
                                << QByteArray("0");
    row("PROGRAMM malformed") << QByteArray("PROGRAMM") << QByteArray("Programm") << false
                              << cp("404:Секция [PROGRAMM].Неправильная структура строки")
                              << QByteArray("programm.programm") << QByteArray("0");

    row("search code and bar") << QByteArray("VVOD") << cp("SearchOrder=по коду и штрихкоду") << true << none
                               << QByteArray("vvod.searchOrder") << QByteArray("1");
    row("search bar and code") << QByteArray("VVOD") << cp("SearchOrder=ПО ШТРИХКОДУ И КОДУ") << true << none
                               << QByteArray("vvod.searchOrder") << QByteArray("2");
    row("search unlisted fails silently")
        << QByteArray("VVOD") << cp("SearchOrder=По штрихкоду и коду\nSearchOrder=по коду") << false << none
        << QByteArray("vvod.searchOrder") << QByteArray("0");
    row("panel row in capitals") << QByteArray("VVOD") << cp("VvodPanel=РЯД") << true << none
                                 << QByteArray("vvod.vvodPanel") << QByteArray("1");
    row("panel older spelling") << QByteArray("VVOD") << cp("VvodPanel=рхд") << true << none
                                << QByteArray("vvod.vvodPanel") << QByteArray("1");
    row("panel table") << QByteArray("VVOD") << cp("VvodPanel=РЯД\nVvodPanel=таблица") << true << none
                       << QByteArray("vvod.vvodPanel") << QByteArray("0");
    row("panel row with small я fails silently") << QByteArray("VVOD") << cp("VvodPanel=РЯД\nVvodPanel=Ряд") << false
                                                 << none << QByteArray("vvod.vvodPanel") << QByteArray("0");
    row("quantity increment") << QByteArray("VVOD") << QByteArray("QuantityIncr=1.5") << true << none
                              << QByteArray("vvod.quantityIncr") << QByteArray("1500");
    row("quantity increment whole") << QByteArray("VVOD") << QByteArray("QuantityIncr=2.") << true << none
                                    << QByteArray("vvod.quantityIncr") << QByteArray("2000");
    row("quantity with comma keeps former")
        << QByteArray("VVOD") << QByteArray("QuantityIncr=0.125\nQuantityIncr=1,5") << false
        << cp("405:Неправильное значение параметра ") << QByteArray("vvod.quantityIncr") << QByteArray("125");
    row("quantity four decimals") << QByteArray("VVOD") << QByteArray("QuantityIncr=1.2345") << false
                                  << cp("405:Неправильное значение параметра ") << QByteArray("vvod.quantityIncr")
                                  << QByteArray("0");
    row("quantity signed") << QByteArray("VVOD") << QByteArray("QuantityIncr=-1") << false
                           << cp("405:Неправильное значение параметра ") << QByteArray("vvod.quantityIncr")
                           << QByteArray("0");
    row("VVOD unknown key") << QByteArray("VVOD") << QByteArray("EnAdd=TRUE") << false
                            << cp("406:Нет такого параметра ") << QByteArray("vvod.enAddItem") << QByteArray("0");
    row("VVOD malformed") << QByteArray("VVOD") << QByteArray("EnAddItem TRUE") << false
                          << cp("404:Секция [VVOD].Неправильная структура строки") << QByteArray("vvod.enAddItem")
                          << QByteArray("0");

    row("SYSTEM places") << QByteArray("SYSTEM") << QByteArray("summadp = 4") << true << none
                         << QByteArray("system.summaDp") << QByteArray("4");
    row("SYSTEM not a number") << QByteArray("SYSTEM") << QByteArray("QUANTITYDP=three") << false << none
                               << QByteArray("system.quantityDp") << QByteArray("3");
    row("SYSTEM unknown key") << QByteArray("SYSTEM") << QByteArray("DP=1") << false << cp("407:Нет такого параметра ")
                              << QByteArray("system.summaDp") << QByteArray("2");
    row("SYSTEM malformed") << QByteArray("SYSTEM") << QByteArray("SUMMADP") << false
                            << cp("404:Секция [SYSTEM].Неправильная структура строки") << QByteArray("system.summaDp")
                            << QByteArray("2");
}

void TestUserSettings::valueRules()
{
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("OrtUser.ini"));
    QVERIFY(TestUtil::writeFile(path, "[" + section + "]\r\n" + body + "\r\n"));

    AppState state;
    DescrRegistry registry;
    QCOMPARE(getIniFile(path, state, registry), ok);
    QCOMPARE(state.settingsChanged.load(), ok);
    QCOMPARE(fieldValue(state, field), expected);

    const QByteArray report = reportOf(log);
    if (message.isEmpty()) {
        QCOMPARE(report, QByteArray());
    } else {
        const QByteArray last = body.split('\n').last();
        const int lineNo = body.count('\n') + 2;
        QCOMPARE(report,
            QByteArray(
                "   |" + last + "|\r\n" + cp("строка ") + QByteArray::number(lineNo) + "\r\n" + message + "\r\n"));
    }
}

void TestUserSettings::headerResetsOnlyItsSection()
{
    QTemporaryDir dir;
    TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("OrtUser.ini"));
    QVERIFY(TestUtil::writeFile(path, cp("[OBMEN]\nUnloadAct=Удалять справочник\n[SYSTEM]\n")));

    AppState state;
    state.user = sampleUser(2);
    state.system.summaDp = 5;
    state.system.quantityDp = 6;
    const UserSettings before = state.user;
    DescrRegistry registry;
    QVERIFY(getIniFile(path, state, registry));

    // The keys the section lacks are back to their defaults.
    ObmenSettings obmen;
    obmen.unloadAct = 1;
    UserSettings expected = before;
    expected.obmen = obmen;
    compareUser(state.user, expected);
    QCOMPARE(state.system.summaDp, 2);
    QCOMPARE(state.system.quantityDp, 3);
}

void TestUserSettings::passwordKnownVectors_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("stored");
    // XOR stream "UWFybiBWZWxib3QgMTk4Nw==" (Base64 of "Qarn Velbot 1987").
    // 'a' ^ 'U' = 0x34 -> "34" -> Base64 "MzQ=".
    QTest::newRow("one byte") << QByteArray("a") << QByteArray("MzQ=");
    // Q^U=04 a^W=36 r^F=34 n^y=17 -> "04363417".
    QTest::newRow("the key's own start") << QByteArray("Qarn") << QByteArray("MDQzNjM0MTc=");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestUserSettings::passwordKnownVectors()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, stored);
    QCOMPARE(scramblePassword(plain), stored);
    QByteArray back("not cleared");
    QVERIFY(unscramblePassword(stored, back));
    QCOMPARE(back, plain);
}

void TestUserSettings::passwordRoundTrip_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::newRow("15 bytes") << QByteArray("abcdefghijklmno");
    QTest::newRow("16 bytes") << QByteArray("0123456789abcdef");
    QTest::newRow("16 Cyrillic bytes") << cp("ПарольПароль1234");
    QTest::newRow("bytes equal to the stream") << QByteArray("UWFybiBWZWxib3Qg");
}

void TestUserSettings::passwordRoundTrip()
{
    QFETCH(QByteArray, plain);
    QByteArray back;
    QVERIFY(unscramblePassword(scramblePassword(plain), back));
    QCOMPARE(back, plain);

    // And through the file, as the FTP client password.
    QTemporaryDir dir;
    TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("OrtUser.ini"));
    UserSettings user;
    user.ftpClient.passWord = plain;
    QVERIFY(TestUtil::writeFile(path, userSettingsText(user)));
    AppState state;
    DescrRegistry registry;
    QVERIFY(getIniFile(path, state, registry));
    QCOMPARE(state.user.ftpClient.passWord, plain);
}

void TestUserSettings::passwordLimits()
{
    QByteArray plain;
    // A stored form of 17 bytes (or of the 24 the stream could cover) cannot be read back.
    QVERIFY(!unscramblePassword(QByteArray(17, 'a').toHex().toBase64(), plain));
    QVERIFY(!unscramblePassword(QByteArray(24, 'a').toHex().toBase64(), plain));
    // Only the 16 bytes that can be read back are written; a longer password would stop the
    // next start.
    const QByteArray seventeen("0123456789abcdefX");
    QCOMPARE(scramblePassword(seventeen), scramblePassword(seventeen.left(16)));
    QVERIFY(!scramblePassword(QByteArray(40, 'z')).isEmpty());
    QVERIFY(unscramblePassword(scramblePassword(QByteArray(40, 'z')), plain));
    QCOMPARE(plain, QByteArray(16, 'z'));
}

void TestUserSettings::writtenFile()
{
    // Written by hand from the file's rules, not produced by the program.
    const QByteArray golden = TestUtil::readFile(QStringLiteral(ORTOVA_TEST_DATA "/config-user/written.ini"));
    QVERIFY(!golden.isEmpty());

    UserSettings u;
    u.ftpClient.ipAdress = "10.1.1.5";
    u.ftpClient.userName = "term";
    u.ftpClient.passWord = "secret";
    u.ftpClient.transferMode = 1;
    u.ftpClient.root = "/ortova";
    u.ftpClient.input = "in";
    u.ftpClient.output = "out";
    u.ftpClient.tls = int(TlsUse::Required);
    u.ftpClient.fingerprint = "sha256//YhKJKSzoTt2b5FP18fvpHo7fJYqQCjAa3HWY3tvRMjE=";
    u.ftpServer.userName = "office";
    u.ftpServer.passWord = "ftp";
    u.ftpServer.root = "<APPDIRECTORY>ftp";
    u.ftpServer.input = "load";
    u.ftpServer.output = "unload";
    u.ftpServer.trace = 2;
    u.ftpServer.tls = int(TlsUse::Allowed);
    u.localDir.root = "/media/usb";
    u.localDir.input = "<TERMINALNUMBER>";
    u.localDir.output = "res";
    u.obmen.enUnloadRequest = true;
    u.obmen.ioFtpLocal = 1;
    u.obmen.loadAct = 2;
    u.obmen.unloadAct = 1;
    u.obmen.loadMessage = 1;
    u.programm.programm = true;
    u.programm.terminalNumber = "07";
    u.programm.enOnDocument = true;
    u.programm.enExitRequest = true;
    u.vvod.enWeightBarCode = true;
    u.vvod.quantityIncr = 1500;
    u.vvod.searchOrder = 2;
    u.vvod.vvodPanel = 1;
    u.vvod.enSumDocum = true;
    QCOMPARE(userSettingsText(u), golden);

    // Passive mode keeps the active line as the comment.
    u.ftpClient.transferMode = 0;
    QVERIFY(userSettingsText(u).contains("TransferMode=Passive\r\n;TransferMode=Active\r\n"));
}

void TestUserSettings::writeThenRead_data()
{
    QTest::addColumn<int>("variant");
    QTest::newRow("first words") << 0;
    QTest::newRow("second words") << 1;
    QTest::newRow("third words") << 2;
}

void TestUserSettings::writeThenRead()
{
    QFETCH(int, variant);
    QTemporaryDir dir;
    const QString log = TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("OrtUser.ini"));
    const UserSettings written = sampleUser(variant);
    QVERIFY(TestUtil::writeFile(path, userSettingsText(written)));

    AppState state;
    DescrRegistry registry;
    QVERIFY(getIniFile(path, state, registry));
    QVERIFY(state.settingsChanged);
    compareUser(state.user, written);
    QCOMPARE(reportOf(log), QByteArray());
}

void TestUserSettings::valueWithLineBreak()
{
    // A value carrying a line break would split the file and spoil the next start.
    QTemporaryDir dir;
    TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("OrtUser.ini"));
    UserSettings u;
    u.localDir.root = "/a\r\nRoot=/b\nc";
    QVERIFY(TestUtil::writeFile(path, userSettingsText(u)));
    AppState state;
    DescrRegistry registry;
    QVERIFY(getIniFile(path, state, registry));
    QCOMPARE(state.user.localDir.root, QByteArray("/a  Root=/b c"));
}

void TestUserSettings::everyKeyValueReadsBack()
{
    // Each value an editor can give a declared key (every choice, a flag set, the longest text) is
    // written and read back as itself, the section's other keys at their defaults.
    QTemporaryDir dir;
    TestUtil::openRunLogIn(dir.path());
    const QString path = dir.filePath(QStringLiteral("OrtUser.ini"));
    UserSettings user;
    int checked = 0;
    const auto check = [&](const SettingKey& key, const SettingValue& value) {
        if (QTest::currentTestFailed())
            return;
        const int choices = int(qMax(key.choices.fileWords.size(), key.choices.screenItems.size()));
        for (int i = 1; i < (key.type == SettingType::Choice ? choices : 2); ++i) {
            user = UserSettings();
            if (value.text)
                *value.text = QByteArray(qMin(key.maxBytes, int(IniReader::ValueMax)), 'x');
            else if (value.flag)
                *value.flag = true;
            else
                *value.number = key.type == SettingType::Choice ? i : 1250;
            QVERIFY(TestUtil::writeFile(path, userSettingsText(user)));
            AppState state;
            DescrRegistry registry;
            QVERIFY2(getIniFile(path, state, registry), key.name);
            compareUser(state.user, user);
            if (QTest::currentTestFailed())
                QFAIL(key.name);
            ++checked;
        }
    };
    forEachUserSection(user, [&](const auto& keys, auto& record) {
        for (const auto& key : keys.keys)
            check(key, key.in(record));
    });
    QVERIFY(checked > 40);
}

void TestUserSettings::saveNotChanged()
{
    QTemporaryDir dir;
    ScriptedResponder r;
    QVERIFY(!saveUserSettingsAtExit(sampleUser(0), false, dir.path(), dialogsFor(r)));
    QVERIFY(r.boxes().isEmpty());
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

void TestUserSettings::saveSkipped()
{
    QTemporaryDir dir;
    const QString current = dir.filePath(QStringLiteral("OrtUser.ini"));
    QVERIFY(TestUtil::writeFile(current, "[VVOD]\r\n"));
    ScriptedResponder r;
    r.answerNext(1);
    QVERIFY(!saveUserSettingsAtExit(sampleUser(0), true, dir.path(), dialogsFor(r)));
    QCOMPARE(r.boxes().size(), 1);
    const ScriptedResponder::Box& box = r.boxes().first();
    QCOMPARE(box.title, QStringLiteral("Настройки"));
    QCOMPARE(box.text, QStringLiteral("Настройки\nизменены."));
    QCOMPARE(box.first, QStringLiteral("Сохранить"));
    QCOMPARE(box.second, QStringLiteral("Пропустить"));
    QCOMPARE(TestUtil::readFile(current), QByteArray("[VVOD]\r\n"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("OrtUserB.ini"))));
}

void TestUserSettings::saveKeepsBackup()
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const QString current = dir.filePath(QStringLiteral("OrtUser.ini"));
    const QString backup = dir.filePath(QStringLiteral("OrtUserB.ini"));
    const QByteArray former = userSettingsText(sampleUser(1));
    QVERIFY(TestUtil::writeFile(current, former));
    QVERIFY(TestUtil::writeFile(backup, "older backup"));
    // The save must not depend on, nor change, the current folder.
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.path()));

    ScriptedResponder r;
    r.answerNext(0);
    const UserSettings user = sampleUser(2);
    const bool saved = saveUserSettingsAtExit(user, true, dir.path(), dialogsFor(r));
    const QString after = QDir::currentPath();
    QDir::setCurrent(cwd);
    QVERIFY(saved);
    QCOMPARE(after, QDir(elsewhere.path()).canonicalPath());
    QCOMPARE(r.boxes().size(), 1);
    QCOMPARE(TestUtil::readFile(backup), former);
    QCOMPARE(TestUtil::readFile(current), userSettingsText(user));
    QVERIFY(QDir(elsewhere.path()).entryList(QDir::Files).isEmpty());

    TestUtil::openRunLogIn(dir.path());
    AppState state;
    DescrRegistry registry;
    QVERIFY(getIniFile(current, state, registry));
    compareUser(state.user, user);
}

void TestUserSettings::saveWithoutFormerFile()
{
    QTemporaryDir dir;
    ScriptedResponder r;
    r.answerNext(0);
    QVERIFY(saveUserSettingsAtExit(sampleUser(0), true, dir.path(), dialogsFor(r)));
    QCOMPARE(TestUtil::readFile(dir.filePath(QStringLiteral("OrtUser.ini"))), userSettingsText(sampleUser(0)));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("OrtUserB.ini"))));
}

void TestUserSettings::saveBackupImpossible()
{
    QTemporaryDir dir;
    const QString current = dir.filePath(QStringLiteral("OrtUser.ini"));
    QVERIFY(TestUtil::writeFile(current, "former"));
    // A folder in the backup's place can be neither deleted nor replaced.
    QVERIFY(TestUtil::writeFile(dir.filePath(QStringLiteral("OrtUserB.ini/keep")), "x"));

    ScriptedResponder r;
    r.answerNext(0);
    r.expectMessage();
    QVERIFY(!saveUserSettingsAtExit(sampleUser(0), true, dir.path(), dialogsFor(r)));
    QCOMPARE(r.boxes().size(), 2);
    QCOMPARE(r.boxes().at(1).icon, 3);
    QCOMPARE(r.lastTitle(), QStringLiteral("Настройки"));
    QCOMPARE(r.lastText(), QStringLiteral("Ошибки\nпри сохранении"));
    QCOMPARE(TestUtil::readFile(current), QByteArray("former"));
}

void TestUserSettings::saveWriteFailsRestores()
{
    QTemporaryDir dir;
    const QString current = dir.filePath(QStringLiteral("OrtUser.ini"));
    const QByteArray former = userSettingsText(sampleUser(1));
    QVERIFY(TestUtil::writeFile(current, former));

    const UserSettings user = sampleUser(0);
    // Room for FTP_CLIENT and FTP_SERVER only.
    const qint64 budget = userSectionText(user, 0).size() + userSectionText(user, 1).size();
    ScriptedResponder r;
    r.answerNext(0);
    r.expectMessage(5);
    SaveDialogs dialogs = dialogsFor(r);
    dialogs.openForWrite = [budget](const QString& path) -> std::unique_ptr<QIODevice> {
        auto file = std::make_unique<FailingFile>(path, budget);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            return nullptr;
        return file;
    };
    QVERIFY(!saveUserSettingsAtExit(user, true, dir.path(), dialogs));

    QStringList titles;
    for (const ScriptedResponder::Box& box : r.boxes())
        titles << box.title;
    QCOMPARE(titles,
        (QStringList { QStringLiteral("Настройки"), QStringLiteral("Секция LOCAL_DIR"), QStringLiteral("Секция OBMEN"),
            QStringLiteral("Секция PROGRAMM"), QStringLiteral("Секция VVOD"), QStringLiteral("Настройки") }));
    for (int i = 1; i < r.boxes().size(); ++i) {
        QCOMPARE(r.boxes().at(i).icon, 3);
        QCOMPARE(r.boxes().at(i).text, QStringLiteral("Ошибки\nпри сохранении"));
    }
    QCOMPARE(TestUtil::readFile(current), former);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("OrtUserB.ini"))));

    // A file that cannot be opened at all fails the same way.
    ScriptedResponder r2;
    r2.answerNext(0);
    r2.expectMessage();
    dialogs = dialogsFor(r2);
    dialogs.openForWrite = [](const QString&) { return std::unique_ptr<QIODevice>(); };
    QVERIFY(!saveUserSettingsAtExit(user, true, dir.path(), dialogs));
    QCOMPARE(r2.boxes().size(), 2);
    QCOMPARE(TestUtil::readFile(current), former);
}

void TestUserSettings::saveBrokenAtEachStep_data()
{
    // Where the save breaks: "open" (no device for the new file), "section N" (the disk fills up
    // in section N), "lost" (every write accepted, nothing reaches the file), "backup folder" (a
    // folder holds the backup's name), "backup limit" (the backup copy exceeds the file-size
    // limit); "" saves.
    QTest::addColumn<QString>("breakAt");
    QTest::addColumn<bool>("former"); // an OrtUser.ini to replace
    QTest::addColumn<QString>("backup"); // OrtUserB.ini afterwards: "older" as it was, "former", none
    QTest::newRow("no new file") << QStringLiteral("open") << true << QStringLiteral("older");
    for (int i = 0; i < UserSectionCount; ++i)
        QTest::addRow("section %s", userSectionName(i).constData())
            << QStringLiteral("section %1").arg(i) << true << QStringLiteral("older");
    QTest::newRow("section of a first file") << QStringLiteral("section 3") << false << QStringLiteral("older");
    // Found out only when the new file is checked, after the backup copy.
    QTest::newRow("writes lost") << QStringLiteral("lost") << true << QStringLiteral("former");
    QTest::newRow("backup is a folder") << QStringLiteral("backup folder") << true << QString();
    QTest::newRow("backup over the size limit") << QStringLiteral("backup limit") << true << QStringLiteral("older");
    QTest::newRow("saved") << QString() << true << QStringLiteral("former");
    QTest::newRow("saved, first file") << QString() << false << QString();
}

void TestUserSettings::saveBrokenAtEachStep()
{
    // Whatever step fails, OrtUser.ini is the former file or the new one, whole, and reads without
    // a report; no temporary stays behind; the backup is the former file once the new one is in.
    QFETCH(QString, breakAt);
    QFETCH(bool, former);
    QFETCH(QString, backup);
    QTemporaryDir dir;
    QTemporaryDir logDir;
    TestUtil::openRunLogIn(logDir.path());
    const QString current = dir.filePath(QStringLiteral("OrtUser.ini"));
    const QString backupFile = dir.filePath(QStringLiteral("OrtUserB.ini"));
    const UserSettings user = sampleUser(0);
    const QByteArray next = userSettingsText(user);
    // The former file is larger than the new one, so a limit can let the new file through and stop
    // the backup copy.
    const QByteArray formerText = userSettingsText(sampleUser(1)) + QByteArray(next.size(), ';') + "\r\n";
    if (former)
        QVERIFY(TestUtil::writeFile(current, formerText));
    if (breakAt == QLatin1String("backup folder"))
        QVERIFY(TestUtil::writeFile(dir.filePath(QStringLiteral("OrtUserB.ini/keep")), "x"));
    else
        QVERIFY(TestUtil::writeFile(backupFile, "older backup"));

    ScriptedResponder r;
    r.answerNext(0);
    SaveDialogs dialogs = dialogsFor(r);
    int sectionBoxes = 0;
    if (breakAt == QLatin1String("open")) {
        dialogs.openForWrite = [](const QString&) { return std::unique_ptr<QIODevice>(); };
    } else if (breakAt == QLatin1String("lost")) {
        dialogs.openForWrite = [](const QString&) -> std::unique_ptr<QIODevice> {
            auto buffer = std::make_unique<QBuffer>();
            buffer->open(QIODevice::WriteOnly);
            return buffer;
        };
    } else if (breakAt.startsWith(QLatin1String("section"))) {
        const int broken = breakAt.section(QLatin1Char(' '), 1).toInt();
        qint64 budget = 0;
        for (int i = 0; i < broken; ++i)
            budget += userSectionText(user, i).size();
        sectionBoxes = UserSectionCount - broken;
        dialogs.openForWrite = [budget](const QString& path) -> std::unique_ptr<QIODevice> {
            auto file = std::make_unique<FailingFile>(path, budget);
            if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
                return nullptr;
            return file;
        };
    }
    const bool broken = !breakAt.isEmpty();
    r.expectMessage(broken ? sectionBoxes + 1 : 0);
    const bool saved = breakAt == QLatin1String("backup limit")
        ? withFileSizeLimit(
            rlim_t(next.size() + 1), [&] { return saveUserSettingsAtExit(user, true, dir.path(), dialogs); })
        : saveUserSettingsAtExit(user, true, dir.path(), dialogs);

    QCOMPARE(saved, !broken);
    QCOMPARE(r.boxes().size(), broken ? sectionBoxes + 2 : 1);
    if (broken) {
        QCOMPARE(r.lastTitle(), QStringLiteral("Настройки"));
        QCOMPARE(r.lastText(), QStringLiteral("Ошибки\nпри сохранении"));
    }
    const QByteArray expected = broken ? (former ? formerText : QByteArray()) : next;
    QCOMPARE(QFileInfo::exists(current), !expected.isEmpty());
    QCOMPARE(TestUtil::readFile(current), expected);
    if (!expected.isEmpty()) {
        AppState state;
        DescrRegistry registry;
        QVERIFY(getIniFile(current, state, registry));
    }
    // Only the two settings files remain.
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    left.removeAll(QStringLiteral("OrtUserB.ini"));
    QCOMPARE(left, expected.isEmpty() ? QStringList() : QStringList { QStringLiteral("OrtUser.ini") });
    if (breakAt == QLatin1String("backup folder"))
        QVERIFY(QFileInfo(backupFile).isDir());
    else if (backup.isEmpty())
        QVERIFY(!QFileInfo::exists(backupFile));
    else
        QCOMPARE(
            TestUtil::readFile(backupFile), backup == QLatin1String("older") ? QByteArray("older backup") : formerText);
}

QTEST_GUILESS_MAIN(TestUserSettings)
#include "tst_usersettings.moc"
