#include "AppState.h"
#include "NaFTPLocal.h"
#include "NaMain.h"
#include "NaMainWin.h"
#include "NaObmen.h"
#include "NaProgramm.h"
#include "NaVvod.h"
#include "NaWgtbar.h"
#include "NastrWin.h"
#include "ProsmCase.h"
#include "RunLog.h"
#include "ScriptedResponder.h"
#include "SettingsFiles.h"
#include "TestUtil.h"
#include "ViewingFixtures.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestNaMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void itemsByChannel_data();
    void itemsByChannel();
    void eachEditorReturns_data();
    void eachEditorReturns();
    void backGivesTheGate_data();
    void backGivesTheGate();
    void savedSignals();

private:
    QStringList texts() const;
    // The window of the editor that item (1 to 5) opens, or nullptr while it is closed.
    QWidget* editorWindow(int item) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedResponder> m_boxes;
    std::unique_ptr<NaMain> m_menu;
};

void TestNaMain::initTestCase()
{
    QVERIFY(getIniFile(QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/OrtSystem.ini")));
}

void TestNaMain::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    TestUtil::openRunLogIn(m_dir->path());
    AppState& state = appState();
    state.appDir = state.workDir = QFile::encodeName(m_dir->path());
    state.user = UserSettings();
    state.menuGate = false;
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_boxes = std::make_unique<ScriptedResponder>();
    m_menu = std::make_unique<NaMain>();
}

void TestNaMain::cleanup()
{
    m_menu.reset();
    m_boxes.reset();
    RunLog::instance().close();
    QDir::setCurrent(QDir::tempPath());
    m_dir.reset();
}

QStringList TestNaMain::texts() const
{
    QStringList texts { m_menu->window()->findChild<QLabel*>(QStringLiteral("UserTitle"))->text() };
    for (const char* name : { "Programm", "Vvod", "FtpLocal", "Obmen", "Wgtbar", "Exit" })
        texts << m_menu->window()->findChild<QPushButton*>(QLatin1String(name))->text();
    return texts;
}

QWidget* TestNaMain::editorWindow(int item) const
{
    const ProsmCase* wgt = m_menu->wgtbar()->browser();
    QWidget* const windows[] = { m_menu->programm()->window(), m_menu->vvod()->window(), m_menu->ftpLocal()->window(),
        m_menu->obmen()->window(), wgt ? wgt->window() : nullptr };
    return windows[item - 1];
}

void TestNaMain::itemsByChannel_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("channelAfterEditor"); // what an editor put into force meanwhile
    QTest::addColumn<QString>("third");
    QTest::addColumn<QString>("thirdAfter");
    QTest::newRow("FTP client") << 0 << 0 << QStringLiteral("3. FTP-Клиент") << QStringLiteral("3. FTP-Клиент");
    QTest::newRow("local folder, then FTP server")
        << 1 << 2 << QStringLiteral("3. Локальная папка") << QStringLiteral("3. FTP-Сервер");
    QTest::newRow("FTP server, then FTP client")
        << 2 << 0 << QStringLiteral("3. FTP-Сервер") << QStringLiteral("3. FTP-Клиент");
}

void TestNaMain::itemsByChannel()
{
    QFETCH(int, channel);
    QFETCH(int, channelAfterEditor);
    QFETCH(QString, third);
    QFETCH(QString, thirdAfter);
    const auto expected = [](const QString& item3) {
        return QStringList { QStringLiteral("Настройки"), QStringLiteral("1. Программа"),
            QStringLiteral("2. Ввод данных"), item3, QStringLiteral("4.Обмен"), QStringLiteral("5. Весовые штрихкоды"),
            QStringLiteral("6. Назад") };
    };
    appState().user.obmen.ioFtpLocal = channel;
    m_menu->namMain();
    QCOMPARE(texts(), expected(third));
    ViewFx::screen(m_menu->window(), "settings-menu");
    QTest::keyClick(m_menu->window(), Qt::Key_4);
    appState().user.obmen.ioFtpLocal = channelAfterEditor;
    QTest::keyClick(m_menu->obmen()->window(), Qt::Key_Escape);
    QCOMPARE(texts(), expected(thirdAfter));
}

void TestNaMain::eachEditorReturns_data()
{
    QTest::addColumn<int>("item");
    for (int item = 1; item <= 5; ++item)
        QTest::addRow("%d", item) << item;
}

void TestNaMain::eachEditorReturns()
{
    QFETCH(int, item);
    QSignalSpy returned(m_menu.get(), &NaMain::returned);
    m_menu->namMain();
    for (int round = 0; round < 2; ++round) {
        QTest::keyClick(m_menu->window(), char('0' + item));
        QPointer<QWidget> editor = editorWindow(item);
        QVERIFY(editor);
        QVERIFY(!m_menu->window()->isVisible());
        // Presses arriving at the menu while the editor is open open nothing more and do not leave.
        const int other = item % 5 + 1;
        QTest::keyClick(m_menu->window(), char('0' + other));
        QTest::keyClick(m_menu->window(), Qt::Key_6);
        QVERIFY(!editorWindow(other));
        QCOMPARE(returned.count(), 0);
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(!editor || !editor->isVisible());
        QVERIFY(m_menu->window()->isVisible());
    }
    QVERIFY(!appState().menuGate);
}

void TestNaMain::backGivesTheGate_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("6") << int(Qt::Key_6);
    QTest::newRow("Escape") << int(Qt::Key_Escape);
}

void TestNaMain::backGivesTheGate()
{
    QFETCH(int, key);
    QSignalSpy returned(m_menu.get(), &NaMain::returned);
    m_menu->namMain();
    QPointer<NaMainWin> win = m_menu->window();
    QTest::keyClick(win, Qt::Key(key));
    QCOMPARE(returned.count(), 1);
    QVERIFY(appState().menuGate);
    QTRY_VERIFY(!win);
    m_menu->namMain();
    QVERIFY(m_menu->window());
}

void TestNaMain::savedSignals()
{
    QSignalSpy programm(m_menu.get(), &NaMain::programmSaved);
    QSignalSpy exchange(m_menu.get(), &NaMain::exchangeSaved);
    QList<int> counts;
    for (NaSection* editor : { static_cast<NaSection*>(m_menu->programm()), static_cast<NaSection*>(m_menu->vvod()),
             static_cast<NaSection*>(m_menu->ftpLocal()), static_cast<NaSection*>(m_menu->obmen()) }) {
        emit editor->saved();
        counts << int(programm.count()) << int(exchange.count());
    }
    // Program, data entry, channel, exchange: running counts of the two signals.
    QCOMPARE(counts, (QList<int> { 1, 0, 1, 0, 1, 1, 1, 2 }));
}

QTEST_MAIN(TestNaMain)
#include "tst_namain.moc"
