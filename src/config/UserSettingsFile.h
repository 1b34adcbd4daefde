#pragma once

#include "UserSettings.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class IniReader;
class IniSection;
class QIODevice;

// Password scrambling of the settings file. At most 16 plain bytes are read back, so only the
// first 16 are scrambled.
QByteArray scramblePassword(const QByteArray& plain);
// false when the stored form does not decode to at most 16 bytes.
bool unscramblePassword(const QByteArray& stored, QByteArray& plain);

// The six user sections and SYSTEM, filling the given records while a reader reads a file.
class UserSections {
public:
    UserSections(UserSettings& user, SystemSettings& system);
    ~UserSections();
    UserSections(const UserSections&) = delete;
    UserSections& operator=(const UserSections&) = delete;

    // Registers FTP_CLIENT, FTP_SERVER, LOCAL_DIR, OBMEN, PROGRAMM, VVOD and SYSTEM.
    void registerWith(IniReader& reader);

private:
    std::vector<std::pair<QByteArray, std::unique_ptr<IniSection>>> m_sections;
};

// Sections of the user file in the order they are written.
constexpr int UserSectionCount = 6;
// Name of section i in file order: FTP_CLIENT, FTP_SERVER, LOCAL_DIR, OBMEN, PROGRAMM, VVOD.
QByteArray userSectionName(int index);
// Section i as written: header, one line per key, an empty line; "\r\n" line ends, Windows-1251.
QByteArray userSectionText(const UserSettings& user, int index);
// The whole user file as written at exit.
QByteArray userSettingsText(const UserSettings& user);

// Boxes the save needs; the shell passes its showMessage and askChoice.
struct SaveDialogs {
    std::function<void(int icon, const QString& title, const QString& text)> message;
    std::function<int(const QString& title, const QString& text, const QString& first, const QString& second)> choice;
    // Opens the new settings file for writing, given the path of the temporary beside
    // "OrtUser.ini" that becomes it; when empty, a truncating QFile. Tests give a device that fails.
    std::function<std::unique_ptr<QIODevice>(const QString& path)> openForWrite;
};

// Writes the six sections to out; a section that cannot be written gets its box "Секция ..." and
// the rest are still written. True when all were written.
bool writeUserSettings(const UserSettings& user, QIODevice& out, const SaveDialogs& dialogs);

// In appDir writes the new file beside "OrtUser.ini", copies the former file to "OrtUserB.ini" and
// renames the new one over it, each step flushed, so a crash at any moment leaves a whole
// "OrtUser.ini"; on failure the former file stays and the box "Ошибки\nпри сохранении" is shown.
// Returns true when the new file is in place. The current folder is neither used nor changed.
bool saveUserSettings(const UserSettings& user, const QString& appDir, const SaveDialogs& dialogs);

// Save at exit: only when settingsChanged; asks "Настройки", then saveUserSettings().
bool saveUserSettingsAtExit(
    const UserSettings& user, bool settingsChanged, const QString& appDir, const SaveDialogs& dialogs);
