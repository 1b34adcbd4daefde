#include "NaProgramm.h"

#include "AppState.h"
#include "Codec.h"
#include "Dialogs.h"
#include "Shutdown.h"
#include "Startup.h"

#include <QDir>

NaProgramm::NaProgramm(QObject* parent)
    : NaSection(QStringLiteral("Настройка программы"), QStringLiteral("Программа"), parent)
{
}

QByteArray NaProgramm::startEdit()
{
    m_work = appState().user.programm;
    return QByteArrayLiteral("PROGRAMM");
}

void NaProgramm::addRows()
{
    enumerationRow("PROGRAMM", &m_work.programm, { QStringLiteral("Инвентаризация"), QStringLiteral("Приход товара") });
    ParmTextRules terminal;
    // The number becomes part of exchange-log file names.
    terminal.refused = QStringLiteral("/\\");
    textRow("TERMINALNUMBER", &m_work.terminalNumber, TerminalNumberMax + 1, terminal);
    textRow("WORKDIRECTORY", &m_work.workDirectory, FolderMax + 1);
    checkRow("ENONDEPARTMENT", &m_work.enOnDepartment);
    checkRow("ENONPLACE", &m_work.enOnPlace);
    checkRow("ENONDOCUMENT", &m_work.enOnDocument);
    checkRow("ENAVTORIZ", &m_work.enAvtoriz);
    checkRow("ENEXITREQUEST", &m_work.enExitRequest);
}

bool NaProgramm::putIntoForce()
{
    AppState& state = appState();
    // The folder the next start will use: macros of the new values expanded, a relative path from
    // the application folder, never from the work folder current now.
    const QString appDir = runAppDir().isEmpty() ? toUi(state.appDir) : runAppDir();
    const QString folder = workFolderPath(m_work.workDirectory, m_work.terminalNumber, appDir);
    const QString title = QStringLiteral("Настройка ввода");
    if (!folderReady(folder, QStringLiteral("Нет рабочей папки"), title))
        return false;
    if (!QDir::setCurrent(folder)) {
        showMessage(IconWarning, title, QStringLiteral("Нет рабочей папки"));
        return false;
    }
    state.user.programm = m_work;
    state.workDir = fromUi(folder);
    setRunFolders(appDir, folder);
    return true;
}
