#pragma once

#include <QString>

#include <functional>

class DescrRegistry;
struct AppState;

// Reads one settings file ("OrtSystem.ini" or "OrtUser.ini", any section in either) into the
// process-wide state: TABLE, VIEW and PARMVIEW into the descriptor registry, SYSTEM and the six
// user sections into appState(). True when the whole file was read without an error; then the
// settings-changed flag is set (start-up clears it afterwards). Errors go to the run log.
bool getIniFile(const QString& path);
// The same into given state, for tests and the office tool.
bool getIniFile(const QString& path, AppState& state, DescrRegistry& registry);
