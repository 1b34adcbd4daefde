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
    return programmKeys().name;
}

void NaProgramm::addRows()
{
    keyRows(programmKeys(), m_work);
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
