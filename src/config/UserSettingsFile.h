#pragma once

#include "UserSettings.h"

#include <QByteArray>
#include <QString>

#include <functional>

class IniReader;
class IniSection;
class QTextStream;

// Password scrambling of the settings file (at most 16 plain bytes fit the stored form).
QByteArray scramblePassword(const QByteArray &plain);
// false when the stored form does not decode to at most 16 bytes.
bool unscramblePassword(const QByteArray &stored, QByteArray &plain);

// Registers the six user sections and SYSTEM with a reader; they fill the given records.
// The returned objects live as long as the owner keeps them.
struct UserSections;
UserSections *makeUserSections(UserSettings &user, SystemSettings &system);
void registerUserSections(IniReader &reader, UserSections *sections);
void destroyUserSections(UserSections *sections);

// The whole user file as written at exit: six sections, "\r\n" line ends, Windows-1251.
QByteArray userSettingsText(const UserSettings &user);

// Boxes the save needs; the shell passes its showMessage and askChoice.
struct SaveDialogs {
    std::function<void(int icon, const QString &title, const QString &text)> message;
    std::function<int(const QString &title, const QString &text, const QString &first, const QString &second)>
        choice;
};

// Save at exit: only when settingsChanged; asks "Настройки"; in appDir keeps the former file as
// "OrtUserB.ini" and writes "OrtUser.ini"; on failure restores the former file. Returns true when
// a new file was written.
bool saveUserSettingsAtExit(const UserSettings &user, bool settingsChanged, const QString &appDir,
                            const SaveDialogs &dialogs);
