#include "UserSettingsFile.h"

#include "Codec.h"
#include "FileIo.h"
#include "IniReader.h"
#include "RunLog.h"
#include "Units.h"
#include "UserSettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <type_traits>

namespace {

// Windows-1251 bytes of a text written in this source file.
QByteArray cp(const char* utf8)
{
    return fromUi(QString::fromUtf8(utf8));
}

QByteArray xorStream()
{
    return QByteArrayLiteral("Qarn Velbot 1987").toBase64();
}

bool isTrue(const QByteArray& value)
{
    return IniReader::upper(value) == "TRUE";
}

// The index of the value among the choice's words, or -1. The written words are compared whole,
// both upper-cased by the settings rule, so what is saved always reads as the same value; then
// the other spellings the choice takes.
int choiceOf(const SettingChoices& choices, const QByteArray& value)
{
    const QByteArray up = IniReader::upper(value);
    for (std::size_t i = 0; i < choices.fileWords.size(); ++i)
        if (up == IniReader::upper(cp(choices.fileWords[i])))
            return static_cast<int>(i);
    for (const ChoiceAlias& alias : choices.alsoRead) {
        const QByteArray word = IniReader::upper(cp(alias.word));
        if (alias.prefix ? up.startsWith(word) : up == word)
            return alias.value;
    }
    return -1;
}

bool readChoice(IniReader& reader, const SettingKey& key, const SectionTexts& texts, const QByteArray& value,
    const SettingValue& target)
{
    int choice = choiceOf(key.choices, value);
    if (choice < 0 && key.choices.miss == ChoiceMiss::Unknown) {
        reader.errorLine(IniReader::text(texts.unknown));
        return false;
    }
    const bool taken = choice >= 0;
    choice = qMax(choice, 0);
    if (target.flag)
        *target.flag = choice != 0;
    else
        *target.number = choice;
    return taken || key.choices.miss == ChoiceMiss::First;
}

bool readValue(IniReader& reader, const SettingKey& key, const SectionTexts& texts, const QByteArray& value,
    const SettingValue& target)
{
    switch (key.type) {
    case SettingType::Text:
        *target.text = IniReader::fitText(value, key.maxBytes);
        return true;
    case SettingType::Password: {
        QByteArray plain;
        if (!unscramblePassword(value, plain)) {
            reader.errorLine(IniReader::text(texts.badPassword));
            return false;
        }
        *target.text = IniReader::fitText(plain, key.maxBytes);
        return true;
    }
    case SettingType::Integer:
        // A value that is no number is refused without a line of its own.
        return IniReader::toInt32(value, *target.number);
    case SettingType::Quantity:
        if (!parseQuantity(value, *target.number)) {
            reader.errorLine(IniReader::text(QT_TRANSLATE_NOOP("IniReader", "405:Неправильное значение параметра ")));
            return false;
        }
        return true;
    case SettingType::Flag:
        *target.flag = isTrue(value);
        return true;
    case SettingType::Choice:
        return readChoice(reader, key, texts, value, target);
    }
    return false;
}

// One section of a settings file read into its record by its key table: the record is reset to
// its defaults at the header, each line sets one key. Texts are translated at use, so they stay
// the reader's own.
template <typename Record>
class KeyedSection : public IniSection {
public:
    KeyedSection(const SectionKeys<Record>& keys, Record& record)
        : m_keys(keys)
        , m_record(record)
    {
    }

    bool start(IniReader&) override
    {
        m_record = Record();
        return true;
    }

    bool line(IniReader& reader, const QByteArray& raw) override
    {
        QByteArray key;
        QByteArray value;
        if (!IniReader::splitKeyValue(raw, key, value)) {
            reader.errorLine(IniReader::text(m_keys.texts.malformed));
            return false;
        }
        for (const RecordKey<Record>& k : m_keys.keys)
            if (upperKey(k) == key)
                return readValue(reader, k, m_keys.texts, value, k.in(m_record));
        reader.errorLine(IniReader::text(m_keys.texts.unknown));
        return false;
    }

    bool end(IniReader&) override { return true; }

private:
    const SectionKeys<Record>& m_keys;
    Record& m_record;
};

// ---- writing

// A value must stay on its line: a line break inside it would cut the file apart.
QByteArray oneLine(const QByteArray& value)
{
    QByteArray out = value;
    out.replace('\r', ' ');
    out.replace('\n', ' ');
    return out;
}

void put(QByteArray& out, const QByteArray& key, const QByteArray& value)
{
    out += key;
    out += '=';
    out += oneLine(value);
    out += "\r\n";
}

// One key's lines; text is the value of a text or password, number that of the others.
void writeValue(QByteArray& out, const SettingKey& key, const QByteArray& text, qint32 number)
{
    const QByteArray name(key.name);
    switch (key.type) {
    case SettingType::Text:
        put(out, name, text);
        return;
    case SettingType::Password:
        put(out, name, scramblePassword(text));
        return;
    case SettingType::Integer:
        put(out, name, QByteArray::number(number));
        return;
    case SettingType::Quantity:
        put(out, name, formatQuantity(number));
        return;
    case SettingType::Flag:
        put(out, name, number ? QByteArrayLiteral("TRUE") : QByteArrayLiteral("FALSE"));
        return;
    case SettingType::Choice: {
        // A value out of range is written as the first word.
        const std::vector<const char*>& words = key.choices.fileWords;
        const bool inRange = number >= 0 && number < static_cast<qint32>(words.size());
        const std::size_t chosen = inRange ? static_cast<std::size_t>(number) : 0;
        if (!key.choices.othersAsComments) {
            put(out, name, cp(words[chosen]));
            return;
        }
        for (std::size_t i = 0; i < words.size(); ++i)
            put(out, i == chosen ? name : QByteArrayLiteral(";") + name, cp(words[i]));
        return;
    }
    }
}

template <typename Record>
void writeSection(QByteArray& out, const SectionKeys<Record>& keys, const Record& record)
{
    for (const RecordKey<Record>& k : keys.keys)
        writeValue(out, k, k.textIn(record), k.numberIn(record));
}

} // namespace

QByteArray scramblePassword(const QByteArray& plain)
{
    const QByteArray stream = xorStream();
    const QByteArray fitting = plain.left(PasswordMax);
    QByteArray mixed(fitting.size(), '\0');
    for (int i = 0; i < fitting.size(); ++i)
        mixed[i] = static_cast<char>(fitting[i] ^ stream[i]);
    return mixed.toHex().toBase64();
}

bool unscramblePassword(const QByteArray& stored, QByteArray& plain)
{
    const QByteArray mixed = QByteArray::fromHex(QByteArray::fromBase64(stored));
    if (mixed.size() > PasswordMax)
        return false;
    const QByteArray stream = xorStream();
    plain.resize(mixed.size());
    for (int i = 0; i < mixed.size(); ++i)
        plain[i] = static_cast<char>(mixed[i] ^ stream[i]);
    return true;
}

UserSections::UserSections(UserSettings& user, SystemSettings& system)
{
    const auto add = [this](const auto& keys, auto& record) {
        using Record = std::remove_reference_t<decltype(record)>;
        m_sections.emplace_back(QByteArray(keys.name), std::make_unique<KeyedSection<Record>>(keys, record));
    };
    forEachUserSection(user, add);
    add(systemKeys(), system);
}

UserSections::~UserSections() = default;

void UserSections::registerWith(IniReader& reader)
{
    for (auto& entry : m_sections)
        reader.addSection(entry.first, entry.second.get());
}

QByteArray userSectionName(int index)
{
    static const UserSettings none;
    QByteArray name;
    int i = 0;
    forEachUserSection(none, [&](const auto& keys, const auto&) {
        if (i++ == index)
            name = keys.name;
    });
    return name;
}

QByteArray userSectionText(const UserSettings& user, int index)
{
    QByteArray out;
    int i = 0;
    forEachUserSection(user, [&](const auto& keys, const auto& record) {
        if (i++ != index)
            return;
        out += '[';
        out += keys.name;
        out += "]\r\n";
        writeSection(out, keys, record);
        out += "\r\n";
    });
    return out;
}

QByteArray userSettingsText(const UserSettings& user)
{
    QByteArray out;
    for (int i = 0; i < UserSectionCount; ++i)
        out += userSectionText(user, i);
    return out;
}

bool writeUserSettings(const UserSettings& user, QIODevice& out, const SaveDialogs& dialogs)
{
    bool ok = true;
    for (int i = 0; i < UserSectionCount; ++i) {
        const QByteArray text = userSectionText(user, i);
        if (out.write(text) == text.size())
            continue;
        ok = false;
        if (dialogs.message)
            dialogs.message(3, QStringLiteral("Секция ") + QString::fromLatin1(userSectionName(i)),
                QStringLiteral("Ошибки\nпри сохранении"));
    }
    return ok;
}

bool saveUserSettingsAtExit(
    const UserSettings& user, bool settingsChanged, const QString& appDir, const SaveDialogs& dialogs)
{
    if (!settingsChanged)
        return false;
    // Closing the box counts as the second button.
    const int answer = dialogs.choice
        ? dialogs.choice(QStringLiteral("Настройки"), QStringLiteral("Настройки\nизменены."),
            QStringLiteral("Сохранить"), QStringLiteral("Пропустить"))
        : 1;
    if (answer != 0)
        return false;
    return saveUserSettings(user, appDir, dialogs);
}

bool saveUserSettings(const UserSettings& user, const QString& appDir, const SaveDialogs& dialogs)
{
    const QDir dir(appDir);
    const QString current = dir.filePath(QStringLiteral("OrtUser.ini"));
    const QString backup = dir.filePath(QStringLiteral("OrtUserB.ini"));

    // The new file is written whole beside the former one and takes its name in one rename, after
    // the former one has been copied to the backup: whenever the program or the power dies,
    // "OrtUser.ini" is the former file or the new one, and the next start reads it.
    DurableFile next(current);
    bool ok = next.open();
    if (ok) {
        std::unique_ptr<QIODevice> device;
        if (dialogs.openForWrite) {
            device = dialogs.openForWrite(next.tempName());
        } else {
            auto file = std::make_unique<QFile>(next.tempName());
            // Unbuffered, so a section that cannot be written is known as that section.
            if (file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
                device = std::move(file);
        }
        if (!device || !device->isOpen() || !device->isWritable()) {
            ok = false;
        } else {
            if (!writeUserSettings(user, *device, dialogs))
                ok = false;
            if (auto* file = qobject_cast<QFileDevice*>(device.get())) {
                if (!file->flush())
                    ok = false;
                file->close();
                if (file->error() != QFileDevice::NoError)
                    ok = false;
            } else {
                device->close();
            }
        }
    }
    const QFileInfo former(current);
    if (ok && former.exists()) {
        // Without a backup the former file is not replaced.
        QString why;
        ok = copyFileDurably(current, backup, &why);
        if (!ok)
            logLine(QStringLiteral("saveUserSettings: no backup ") + backup + QLatin1Char(' ') + why);
    } else if (ok && QFileInfo::exists(backup)) {
        // A backup of some older file would pass for the former one.
        QFile::remove(backup);
    }
    if (ok)
        ok = next.commit(userSettingsText(user).size());
    if (!ok && dialogs.message)
        dialogs.message(3, QStringLiteral("Настройки"), QStringLiteral("Ошибки\nпри сохранении"));
    return ok;
}
