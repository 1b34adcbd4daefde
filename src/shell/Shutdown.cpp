#include "Shutdown.h"

#include "AppState.h"
#include "Dialogs.h"
#include "RunLog.h"
#include "UserSettingsFile.h"

#include <QDir>

namespace {
QString& appDirRef()
{
    static QString dir;
    return dir;
}

QString& workDirRef()
{
    static QString dir;
    return dir;
}
} // namespace

void setRunFolders(const QString& appDir, const QString& workDir)
{
    appDirRef() = appDir;
    workDirRef() = workDir;
}

QString runAppDir()
{
    return appDirRef();
}

QString runWorkDir()
{
    return workDirRef();
}

void finishRun()
{
    AppState& state = appState();
    SaveDialogs dialogs;
    dialogs.message = &showMessage;
    dialogs.choice = [](const QString& title, const QString& text, const QString& first, const QString& second) {
        return askChoice(title, text, first, second);
    };
    saveUserSettingsAtExit(state.user, state.settingsChanged, runAppDir(), dialogs);
    if (!runWorkDir().isEmpty())
        QDir::setCurrent(runWorkDir());
    RunLog::instance().stamped(QStringLiteral("Конец работы\r\n"));
    RunLog::instance().close();
}
