#include "NaMain.h"

#include "AppState.h"
#include "NaFTPLocal.h"
#include "NaMainWin.h"
#include "NaObmen.h"
#include "NaProgramm.h"
#include "NaVvod.h"
#include "NaWgtbar.h"
#include "ProsmBrowserWin.h"
#include "RunLog.h"
#include "UserSettings.h"

NaMain::NaMain(QObject* parent)
    : QObject(parent)
    , m_programm(new NaProgramm(this))
    , m_vvod(new NaVvod(this))
    , m_ftpLocal(new NaFTPLocal(this))
    , m_obmen(new NaObmen(this))
    , m_wgtbar(new NaWgtbar(this))
{
    connect(m_programm, &NaProgramm::ProgrammExit, this, &NaMain::namEditorExit);
    connect(m_vvod, &NaVvod::VvodExit, this, &NaMain::namEditorExit);
    connect(m_ftpLocal, &NaFTPLocal::snFTPLocalExit, this, &NaMain::namEditorExit);
    connect(m_obmen, &NaObmen::snObmenExit, this, &NaMain::namEditorExit);
    connect(m_wgtbar, &NaWgtbar::WgtbarExit, this, &NaMain::namEditorExit);
    connect(m_programm, &NaProgramm::saved, this, &NaMain::programmSaved);
    connect(m_obmen, &NaObmen::saved, this, &NaMain::exchangeSaved);
    connect(m_ftpLocal, &NaFTPLocal::saved, this, &NaMain::exchangeSaved);
}

NaMain::~NaMain()
{
    delete m_win;
}

NaMainWin* NaMain::window() const
{
    return m_win;
}

QString NaMain::channelItemText(qint32 channel)
{
    switch (static_cast<Channel>(channel)) {
    case Channel::LocalDir:
        return QStringLiteral("3. Локальная папка");
    case Channel::FtpServer:
        return QStringLiteral("3. FTP-Сервер");
    case Channel::FtpClient:
        break;
    }
    return QStringLiteral("3. FTP-Клиент");
}

void NaMain::namMain()
{
    if (m_active)
        return;
    m_active = true;
    logLine(QByteArrayLiteral("namMain"));
    m_win = new NaMainWin;
    m_win->setTitle(QStringLiteral("Настройки"));
    connect(m_win, &NaMainWin::NaMainWinProgramm, this, &NaMain::namProgramm);
    connect(m_win, &NaMainWin::NaMainWinVvod, this, &NaMain::namVvod);
    connect(m_win, &NaMainWin::NaMainWinFtpLocal, this, &NaMain::namFtpLocal);
    connect(m_win, &NaMainWin::NaMainWinObmen, this, &NaMain::namObmen);
    connect(m_win, &NaMainWin::NaMainWinWgtbar, this, &NaMain::namWgtbar);
    connect(m_win, &NaMainWin::NaMainWinExit, this, &NaMain::namExit);
    showMenu();
}

void NaMain::showMenu()
{
    if (!m_win)
        return;
    // An editor may have changed the channel since the menu was last shown.
    m_win->setChannelText(channelItemText(appState().user.obmen.ioFtpLocal));
    if (m_win->isVisible()) {
        m_win->raise();
        m_win->activateWindow();
    } else {
        showScreen(m_win);
    }
    m_gate = true;
}

bool NaMain::takeGate()
{
    if (!m_active || !m_gate)
        return false;
    m_gate = false;
    return true;
}

void NaMain::namProgramm()
{
    if (!takeGate())
        return;
    logLine(QByteArrayLiteral("namProgramm"));
    m_win->hide();
    m_programm->naMain();
}

void NaMain::namVvod()
{
    if (!takeGate())
        return;
    logLine(QByteArrayLiteral("namVvod"));
    m_win->hide();
    m_vvod->naMain();
}

void NaMain::namFtpLocal()
{
    if (!takeGate())
        return;
    logLine(QByteArrayLiteral("namFtpLocal"));
    m_win->hide();
    m_ftpLocal->naMain();
}

void NaMain::namObmen()
{
    if (!takeGate())
        return;
    logLine(QByteArrayLiteral("namObmen"));
    m_win->hide();
    m_obmen->naMain();
}

void NaMain::namWgtbar()
{
    if (!takeGate())
        return;
    logLine(QByteArrayLiteral("namWgtbar"));
    m_win->hide();
    m_wgtbar->naMain();
}

void NaMain::namEditorExit()
{
    if (m_active)
        showMenu();
}

void NaMain::namExit()
{
    if (!takeGate())
        return;
    logLine(QByteArrayLiteral("namExit"));
    // The window may be inside its own signal: it goes from the event loop.
    m_win->hide();
    m_win->deleteLater();
    m_win = nullptr;
    m_active = false;
    appState().menuGate = true;
    emit returned();
}
