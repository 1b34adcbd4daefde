// The four settings editors, driven with the keypad: rows by PARM flag, the checks and their boxes,
// folders, the settings in force after saving and after a restart, and leaving without saving.

#include "AppState.h"
#include "DescrRegistry.h"
#include "FtpServerConfig.h"
#include "FtpTlsIdentity.h"
#include "NaFTPLocal.h"
#include "NaObmen.h"
#include "NaProgramm.h"
#include "NaVvod.h"
#include "NastrWin.h"
#include "ScriptedResponder.h"
#include "SettingsFiles.h"
#include "Shutdown.h"
#include "Startup.h"
#include "TestUtil.h"
#include "UserSettingsFile.h"
#include "ViewingFixtures.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using TestUtil::cp;

namespace {

QByteArray sections(const UserSettings& user)
{
    QByteArray text;
    for (int i = 0; i < UserSectionCount; ++i)
        text += userSectionText(user, i);
    return text;
}

// A few fields by name, so that a data row can say what it expects.
QByteArray field(const UserSettings& u, const QString& name)
{
    const QHash<QString, QByteArray> fields {
        { QStringLiteral("programm"), QByteArray::number(u.programm.programm) },
        { QStringLiteral("terminalNumber"), u.programm.terminalNumber },
        { QStringLiteral("workDirectory"), u.programm.workDirectory },
        { QStringLiteral("enOnDocument"), QByteArray::number(u.programm.enOnDocument) },
        { QStringLiteral("quantityIncr"), QByteArray::number(u.vvod.quantityIncr) },
        { QStringLiteral("searchOrder"), QByteArray::number(u.vvod.searchOrder) },
        { QStringLiteral("ioFtpLocal"), QByteArray::number(u.obmen.ioFtpLocal) },
        { QStringLiteral("loadAct"), QByteArray::number(u.obmen.loadAct) },
        { QStringLiteral("client.ip"), u.ftpClient.ipAdress },
        { QStringLiteral("client.user"), u.ftpClient.userName },
        { QStringLiteral("client.password"), u.ftpClient.passWord },
        { QStringLiteral("client.mode"), QByteArray::number(u.ftpClient.transferMode) },
        { QStringLiteral("client.pin"), u.ftpClient.fingerprint },
        { QStringLiteral("local.root"), u.localDir.root },
        { QStringLiteral("server.root"), u.ftpServer.root },
        { QStringLiteral("server.user"), u.ftpServer.userName },
        { QStringLiteral("server.password"), u.ftpServer.passWord },
    };
    return fields.value(name, QByteArrayLiteral("<no such field>"));
}

QStringList texts(std::initializer_list<const char*> utf8)
{
    QStringList list;
    for (const char* text : utf8)
        list << QString::fromUtf8(text);
    return list;
}

} // namespace

class TestNaEditors : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void editing_data();
    void editing();
    void rowsFollowParmView_data();
    void rowsFollowParmView();
    void saveWritesAtOnce_data();
    void saveWritesAtOnce();
    void serverChannelNeedsPassword();
    void serverKeyShown();

private:
    // "programm", "vvod", "obmen", or the channel's page: "FTP_CLIENT", "LOCAL_DIR", "FTP_SERVER"
    // (which becomes the channel in force).
    void open(const QString& editor);
    // "KEY=value": a text row gets the value typed, a check box "x" toggles, an enumeration steps
    // once per ">" or "<". The row is reached with Up and Down.
    void edit(const QString& command);
    void press(const char* button);
    int row(const QByteArray& key) const;
    QString app(const QString& relative = QString()) const { return QDir(m_dir->path()).filePath(relative); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedResponder> m_boxes;
    std::unique_ptr<NaSection> m_editor;
    QByteArray m_page;
    QStringList m_events;
    ParmDescr* m_hidden = nullptr;
};

void TestNaEditors::initTestCase()
{
    QVERIFY(getIniFile(QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/OrtSystem.ini")));
}

void TestNaEditors::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    AppState& state = appState();
    state.user = UserSettings();
    QVERIFY(getIniFile(QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/OrtUser.ini")));
    state.settingsChanged = false;
    state.appDir = QFile::encodeName(m_dir->path());
    for (const char* folder : { "office/in", "office/out", "office/out/01", "ftp/in", "ftp/out", "ftp/out/01",
             "work/ftp/in", "work/ftp/out", "work/ftp/out/01", "sub2", "01", "work/sub", "work/in2" })
        QVERIFY(QDir().mkpath(app(QString::fromLatin1(folder))));
    QVERIFY(TestUtil::writeFile(app(QStringLiteral("afile")), "x"));
    // The work folder in force is not the application folder, so that relative names show which
    // one they are taken from.
    state.workDir = QFile::encodeName(app(QStringLiteral("work")));
    setRunFolders(m_dir->path(), app(QStringLiteral("work")));
    QVERIFY(QDir::setCurrent(app(QStringLiteral("work"))));
    m_boxes = std::make_unique<ScriptedResponder>();
    m_events.clear();
}

void TestNaEditors::cleanup()
{
    m_editor.reset();
    if (m_hidden)
        m_hidden->flag = '+';
    m_hidden = nullptr;
    const int unexpected = m_boxes->unexpected();
    m_boxes.reset();
    QCOMPARE(unexpected, 0);
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestNaEditors::open(const QString& editor)
{
    static const QHash<QString, qint32> channels { { QStringLiteral("FTP_CLIENT"), 0 },
        { QStringLiteral("LOCAL_DIR"), 1 }, { QStringLiteral("FTP_SERVER"), 2 } };
    const auto track = [this](auto* e, auto exitSignal) {
        connect(e, &NaSection::saved, this, [this] { m_events << QStringLiteral("saved"); });
        connect(e, exitSignal, this, [this] { m_events << QStringLiteral("exit"); });
        m_editor.reset(e);
    };
    m_page = editor.toUpper().toLatin1();
    if (editor == QLatin1String("programm")) {
        track(new NaProgramm, &NaProgramm::ProgrammExit);
    } else if (editor == QLatin1String("vvod")) {
        track(new NaVvod, &NaVvod::VvodExit);
    } else if (editor == QLatin1String("obmen")) {
        track(new NaObmen, &NaObmen::snObmenExit);
    } else {
        appState().user.obmen.ioFtpLocal = channels.value(editor);
        track(new NaFTPLocal, &NaFTPLocal::snFTPLocalExit);
    }
    m_editor->naMain();
    QVERIFY(m_editor->window());
    QVERIFY(QTest::qWaitForWindowActive(m_editor->window()));
    QTRY_COMPARE(m_editor->grid()->currentRow(), 0);
}

int TestNaEditors::row(const QByteArray& key) const
{
    const ParmViewDescr* view = descrRegistry().parmView(m_page);
    for (int r = 0; r < m_editor->grid()->rowCount(); ++r)
        if (view->parms[m_editor->grid()->rowParmLine(r)].key == key)
            return r;
    return -1;
}

void TestNaEditors::edit(const QString& command)
{
    const int eq = command.indexOf(QLatin1Char('='));
    const QString value = command.mid(eq + 1);
    ParmsWin* grid = m_editor->grid();
    const int target = row(command.left(eq).toLatin1());
    QVERIFY2(target >= 0, qPrintable(command));
    while (grid->currentRow() != target)
        QTest::keyClick(QApplication::focusWidget(), grid->currentRow() < target ? Qt::Key_Down : Qt::Key_Up);
    QWidget* editor = QApplication::focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->selectAll();
        QTest::keyClick(line, Qt::Key_Backspace);
        ViewFx::typeText(line, value);
    } else if (qobject_cast<QCheckBox*>(editor)) {
        QTest::keyClick(editor, Qt::Key_Space);
    } else {
        for (const QChar c : value)
            QTest::keyClick(editor, c == QLatin1Char('>') ? Qt::Key_Right : Qt::Key_Left);
    }
}

void TestNaEditors::press(const char* button)
{
    auto* b = m_editor->window()->findChild<QPushButton*>(QLatin1String(button));
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
}

void TestNaEditors::editing_data()
{
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QByteArray>("hidden"); // a key whose PARM flag is '-' for this case
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QString>("exit"); // "Save", "Cancel" or "Escape"
    QTest::addColumn<QList<int>>("answers"); // to the questions, in order
    QTest::addColumn<QString>("box"); // "title|text" of the one box shown ("%app": application folder)
    // field=value when the copy went into force, "work=" the work folder below the application
    // folder (else it stays "work"); empty: nothing in force changed
    QTest::addColumn<QStringList>("expected");

    const QList<int> none;
    const QString param = QStringLiteral("|Ошибка в параметре\n");
    const auto row = [&](const char* name, const char* editor, const QStringList& edits, const QString& box,
                         const QStringList& expected, const QList<int>& answers = {}) {
        QTest::newRow(name) << editor << QByteArray() << edits << "Save" << answers << box << expected;
    };
    row("programm", "programm", texts({ "PROGRAMM=>", "TERMINALNUMBER=Т 7", "ENONDOCUMENT=x" }), QString(),
        texts({ "programm=1", "terminalNumber=Т 7", "enOnDocument=1", "work=" }));
    row("vvod", "vvod", texts({ "QUANTITYINCR=2.5", "SEARCHORDER=<" }), QString(),
        texts({ "quantityIncr=2500", "searchOrder=1" }));
    row("obmen, Right stops at the last item", "obmen", texts({ "IOFTPLOCAL=>>>", "LOADACT=>>" }), QString(),
        texts({ "ioFtpLocal=2", "loadAct=2" }));
    row("FTP client, Cyrillic password", "FTP_CLIENT",
        texts({ "IPADRESS=10.0.0.7", "USERNAME=  оператор ", "PASSWORD=ПарольКириллица", "TRANSFERMODE=>" }), QString(),
        texts({ "client.ip=10.0.0.7", "client.user=оператор", "client.password=ПарольКириллица", "client.mode=1" }));
    row("FTP server, trimmed", "FTP_SERVER", texts({ "USERNAME=office2", "PASSWORD= секрет " }), QString(),
        texts({ "server.user=office2", "server.password=секрет" }));
    QTest::newRow("hidden terminal number") << "programm" << QByteArray("TERMINALNUMBER") << texts({ "ENONPLACE=x" })
                                            << "Save" << none << "" << texts({ "terminalNumber=01", "work=" });
    QTest::newRow("hidden password") << "FTP_SERVER" << QByteArray("PASSWORD") << texts({ "USERNAME=u2" }) << "Save"
                                     << none << "" << texts({ "server.user=u2", "server.password=office" });

    row("terminal number with a slash", "programm", texts({ "PROGRAMM=>", "TERMINALNUMBER=01/2" }),
        QStringLiteral("Программа") + param + QStringLiteral("Номер терминала"), {});
    row("quantity of 4 decimals", "vvod", texts({ "SEARCHORDER=<", "QUANTITYINCR=1.2345" }),
        QStringLiteral("Ввод данных") + param + QStringLiteral("Количество по умолчанию"), {});

    const QString ip = QStringLiteral("Обмен") + param + QStringLiteral("Адрес сервера");
    row("FTP server, empty password", "FTP_SERVER", texts({ "PASSWORD=" }),
        QStringLiteral("Обмен") + param + QStringLiteral("Пароль"), {});
    row("192.168.0.1", "FTP_CLIENT", texts({ "IPADRESS=192.168.0.1" }), QString(), texts({ "client.ip=192.168.0.1" }));
    row("999.1.1.1: shape only", "FTP_CLIENT", texts({ "IPADRESS=999.1.1.1" }), QString(),
        texts({ "client.ip=999.1.1.1" }));
    row("192.168.0", "FTP_CLIENT", texts({ "IPADRESS=192.168.0" }), ip, {});
    row("trailing blank", "FTP_CLIENT", texts({ "IPADRESS=192.168.0.1 " }), ip, {});
    row("pin, bare base64", "FTP_CLIENT",
        texts({ "IPADRESS=10.0.0.7", "FINGERPRINT= YhKJKSzoTt2b5FP18fvpHo7fJYqQCjAa3HWY3tvRMjE=" }), QString(),
        texts({ "client.ip=10.0.0.7", "client.pin=YhKJKSzoTt2b5FP18fvpHo7fJYqQCjAa3HWY3tvRMjE=" }));
    row("pin one letter short", "FTP_CLIENT",
        texts({ "IPADRESS=10.0.0.7", "FINGERPRINT=sha256//YhKJKSzoTt2b5FP18fvpHo7fJYqQCjAa3HWY3tvRMj=" }),
        QStringLiteral("Обмен") + param + QStringLiteral("Отпечаток ключа"), {});

    const QString noWork = QStringLiteral("Настройка ввода|Нет рабочей папки");
    row("work folder missing, left", "programm", texts({ "PROGRAMM=>", "WORKDIRECTORY=nowhere" }), noWork, {}, { 1 });
    row("work folder missing, created", "programm", texts({ "PROGRAMM=>", "WORKDIRECTORY=made" }), noWork,
        texts({ "programm=1", "workDirectory=made", "work=made" }), { 0 });
    row("relative: the application folder's, not the current one's", "programm", texts({ "WORKDIRECTORY=sub" }), noWork,
        {}, { 1 });
    row("application folder macro kept", "programm", texts({ "WORKDIRECTORY=<appdirectory>\\sub2" }), QString(),
        texts({ "workDirectory=<appdirectory>\\sub2", "work=sub2" }));
    row("terminal number macro", "programm", texts({ "WORKDIRECTORY=<TERMINALNUMBER>" }), QString(),
        texts({ "work=01" }));
    row("work folder is a file", "programm", texts({ "WORKDIRECTORY=afile" }),
        QStringLiteral("Настройка ввода|Папка %app/afile.\r\nЭто файл."), {});

    row("relative root from the application folder", "LOCAL_DIR", texts({ "ROOT=office", "INPUT=in", "OUTPUT=out" }),
        QString(), texts({ "local.root=office" }));
    row("empty root is the work folder", "LOCAL_DIR", texts({ "ROOT=", "INPUT=in2", "OUTPUT=in2" }), QString(),
        texts({ "local.root=" }));
    row("input folder missing", "LOCAL_DIR", texts({ "INPUT=nope" }),
        QStringLiteral("Настройка обмена|Нет папки ввода"), {}, { 1 });
    row("output folder missing", "FTP_SERVER", texts({ "OUTPUT=nope" }),
        QStringLiteral("Настройка обмена|Нет папки вывода"), {}, { 1 });
    row("output folder created", "FTP_SERVER", texts({ "ROOT=ftp", "OUTPUT=new" }),
        QStringLiteral("Настройка обмена|Нет папки вывода"), texts({ "server.root=ftp" }), { 0 });

    QTest::newRow("programm, Cancel") << "programm" << QByteArray() << texts({ "PROGRAMM=>", "TERMINALNUMBER=99" })
                                      << "Cancel" << none << "" << QStringList();
    QTest::newRow("vvod, Escape in a text row") << "vvod" << QByteArray() << texts({ "ENADDITEM=x", "QUANTITYINCR=5" })
                                                << "Escape" << none << "" << QStringList();
    QTest::newRow("obmen, Escape on an enumeration")
        << "obmen" << QByteArray() << texts({ "IOFTPLOCAL=<" }) << "Escape" << none << "" << QStringList();
}

void TestNaEditors::editing()
{
    QFETCH(QString, editor);
    QFETCH(QByteArray, hidden);
    QFETCH(QStringList, edits);
    QFETCH(QString, exit);
    QFETCH(QList<int>, answers);
    QFETCH(QString, box);
    QFETCH(QStringList, expected);

    if (!hidden.isEmpty()) {
        ParmViewDescr* view = descrRegistry().parmView(editor.toUpper().toLatin1());
        for (ParmDescr& parm : view->parms)
            if (parm.key == hidden)
                m_hidden = &parm;
        QVERIFY(m_hidden);
        m_hidden->flag = '-';
    }
    open(editor);
    const QByteArray before = sections(appState().user);
    if (m_hidden)
        QCOMPARE(row(hidden), -1);
    for (const QString& e : edits)
        edit(e);
    // The keypad chose every item: no item list popped up over the small screen.
    QVERIFY(!QApplication::activePopupWidget());
    ViewFx::screen(m_editor->window(), "NastrWin");
    for (const int answer : answers)
        m_boxes->answerNext(answer);
    if (answers.isEmpty() && !box.isEmpty())
        m_boxes->expectMessage();
    if (exit == QLatin1String("Escape"))
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    else
        press(exit.toLatin1().constData());

    QCOMPARE(m_boxes->boxes().size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
        const QString title = box.section(QLatin1Char('|'), 0, 0);
        const QString text = box.section(QLatin1Char('|'), 1).replace(QStringLiteral("%app"), m_dir->path());
        QCOMPARE(m_boxes->lastTitle() + QLatin1Char('|') + m_boxes->lastText(), title + QLatin1Char('|') + text);
    }
    const bool saved = exit == QLatin1String("Save") && !expected.isEmpty();
    QStringList events;
    if (saved)
        events << QStringLiteral("saved");
    if (exit != QLatin1String("Save") || saved)
        events << QStringLiteral("exit");
    QCOMPARE(m_events, events);
    QCOMPARE(bool(m_editor->window()), exit == QLatin1String("Save") && !saved);
    // Saving writes the file at once, so nothing is left for the exit question.
    QVERIFY(!appState().settingsChanged);
    QCOMPARE(QFileInfo::exists(app(QStringLiteral("OrtUser.ini"))), saved);

    QString work = QStringLiteral("work");
    const UserSettings& inForce = appState().user;
    for (const QString& pair : expected) {
        const QString name = pair.section(QLatin1Char('='), 0, 0);
        const QString value = pair.section(QLatin1Char('='), 1);
        if (name == QLatin1String("work"))
            work = value;
        else
            QCOMPARE(field(inForce, name), cp(value.toUtf8().constData()));
    }
    const QString workPath = work.isEmpty() ? m_dir->path() : app(work);
    QCOMPARE(QDir::currentPath(), workPath);
    QCOMPARE(appState().workDir, QFile::encodeName(workPath));
    if (!saved) {
        QCOMPARE(sections(inForce), before);
        return;
    }
    // The file the editor wrote, read back as after a restart by the real reader.
    auto restarted = std::make_unique<AppState>();
    auto registry = std::make_unique<DescrRegistry>();
    QVERIFY(getIniFile(app(QStringLiteral("OrtUser.ini")), *restarted, *registry));
    QCOMPARE(sections(restarted->user), sections(inForce));
}

void TestNaEditors::rowsFollowParmView_data()
{
    QTest::addColumn<QString>("editor");
    for (const char* editor : { "programm", "vvod", "obmen", "FTP_CLIENT", "LOCAL_DIR", "FTP_SERVER" })
        QTest::newRow(editor) << QString::fromLatin1(editor);
}

void TestNaEditors::rowsFollowParmView()
{
    // Each editor shows a row for every PARM line of its page flagged '+', in the page's order,
    // and none for a line flagged '-' (the FTP server's TRACE).
    QFETCH(QString, editor);
    open(editor);
    const ParmViewDescr* view = descrRegistry().parmView(m_page);
    QVERIFY(view);
    QList<QByteArray> shown;
    for (const ParmDescr& parm : view->parms)
        if (parm.flag == '+')
            shown << parm.key;
    QList<QByteArray> rows;
    for (int r = 0; r < m_editor->grid()->rowCount(); ++r)
        rows << view->parms[m_editor->grid()->rowParmLine(r)].key;
    QCOMPARE(rows, shown);
}

void TestNaEditors::saveWritesAtOnce_data()
{
    QTest::addColumn<bool>("blocked"); // a folder stands where the settings file goes
    QTest::newRow("written") << false;
    QTest::newRow("folder in the way") << true;
}

void TestNaEditors::saveWritesAtOnce()
{
    // F2 saves from whichever row has the focus; the file holds the change at once, and only a
    // change that could not be written is left for the exit question.
    QFETCH(bool, blocked);
    const QString file = app(QStringLiteral("OrtUser.ini"));
    if (blocked)
        QVERIFY(QDir().mkpath(file));
    open(QStringLiteral("vvod"));
    edit(QStringLiteral("QUANTITYINCR=7"));
    if (blocked)
        m_boxes->expectMessage();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);

    QCOMPARE(m_events, texts({ "saved", "exit" }));
    QCOMPARE(appState().user.vvod.quantityIncr, 7000);
    QCOMPARE(bool(appState().settingsChanged), blocked);
    if (blocked) {
        QCOMPARE(m_boxes->boxes().size(), 1);
        QCOMPARE(m_boxes->lastTitle() + QLatin1Char('|') + m_boxes->lastText(),
            QStringLiteral("Настройки|Ошибки\nпри сохранении"));
        QVERIFY(QFileInfo(file).isDir());
    } else {
        QCOMPARE(m_boxes->boxes().size(), 0);
        auto restarted = std::make_unique<AppState>();
        auto registry = std::make_unique<DescrRegistry>();
        QVERIFY(getIniFile(file, *restarted, *registry));
        QCOMPARE(restarted->user.vvod.quantityIncr, 7000);
    }

    // The exit save, as the shell runs it, asks only about what is still unsaved.
    int asked = 0;
    SaveDialogs dialogs;
    dialogs.choice = [&asked](const QString&, const QString&, const QString&, const QString&) {
        ++asked;
        return 1;
    };
    saveUserSettingsAtExit(appState().user, appState().settingsChanged, m_dir->path(), dialogs);
    QCOMPARE(asked, blocked ? 1 : 0);
}

void TestNaEditors::serverChannelNeedsPassword()
{
    // The server channel is not chosen while the server has no password; the others still are.
    appState().user.ftpServer.passWord.clear();
    appState().user.obmen.ioFtpLocal = 0;
    open(QStringLiteral("obmen"));
    edit(QStringLiteral("IOFTPLOCAL=>>"));
    m_boxes->expectMessage();
    press("Save");
    QCOMPARE(m_boxes->lastTitle() + QLatin1Char('|') + m_boxes->lastText(),
        QStringLiteral("Обмен|Ошибка в параметре\nКанал обмена"));
    QCOMPARE(appState().user.obmen.ioFtpLocal, 0);
    edit(QStringLiteral("IOFTPLOCAL=<"));
    press("Save");
    QCOMPARE(appState().user.obmen.ioFtpLocal, 1);
    QCOMPARE(m_events, texts({ "saved", "exit" }));
}

// With the server's TLS on, the editor shows the pin of the key the terminal serves with, whole,
// on the screen; with TLS off it shows none.
void TestNaEditors::serverKeyShown()
{
    QString error;
    const FtpTlsIdentity identity = FtpTlsIdentity::loadOrCreate(ftpServerKeyPath(m_dir->path()), error);
    QVERIFY(!identity.isNull());
    open(QStringLiteral("FTP_SERVER"));
    QVERIFY(row("TLS") >= 0);
    QVERIFY(!m_editor->window()->findChild<QLabel*>(QStringLiteral("Note")));
    m_editor->naCancel();

    appState().user.ftpServer.tls = int(TlsUse::Required);
    open(QStringLiteral("FTP_SERVER"));
    const auto* note = m_editor->window()->findChild<QLabel*>(QStringLiteral("Note"));
    QVERIFY(note);
    QString shown = note->text();
    shown.remove(QLatin1Char('\n'));
    QVERIFY2(
        shown.endsWith(QString::fromLatin1(FtpTlsIdentity::publicKeyPin(identity.certificate))), qPrintable(shown));
    TestUtil::saveScreen(m_editor->window(), QStringLiteral("NastrWin-ftpserver-tls"));
    m_editor->naCancel();
}

QTEST_MAIN(TestNaEditors)
#include "tst_naeditors.moc"
