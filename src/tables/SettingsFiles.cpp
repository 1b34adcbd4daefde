#include "SettingsFiles.h"

#include "AppState.h"
#include "DescrRegistry.h"
#include "DescrSections.h"
#include "IniReader.h"
#include "UserSettingsFile.h"

bool getIniFile(const QString& path, AppState& state, DescrRegistry& registry)
{
    IniReader reader;
    DescrSections descr(registry);
    UserSections user(state.user, state.system);
    descr.registerWith(reader);
    user.registerWith(reader);
    const bool ok = reader.readFile(path);
    if (ok)
        state.settingsChanged = true;
    return ok;
}

bool getIniFile(const QString& path)
{
    return getIniFile(path, appState(), descrRegistry());
}
