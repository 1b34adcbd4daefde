#include "UserSettingsFile.h"

#include "Codec.h"
#include "FileIo.h"
#include "IniReader.h"
#include "RunLog.h"
#include "Units.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

enum class KeyResult { Done, Failed, Unknown };
using KeyHandler = std::function<KeyResult(IniReader&, const QByteArray& key, const QByteArray& value)>;

// One user section: the live record is reset to its defaults at the header, each line sets one
// field. Texts are translated at use, so they stay the reader's own.
class UserSection : public IniSection {
public:
    UserSection(const char* malformed, const char* unknown, std::function<void()> reset, KeyHandler handler)
        : m_malformed(malformed)
        , m_unknown(unknown)
        , m_reset(std::move(reset))
        , m_handler(std::move(handler))
    {
    }

    bool start(IniReader&) override
    {
        m_reset();
        return true;
    }

    bool line(IniReader& reader, const QByteArray& raw) override
    {
        QByteArray key;
        QByteArray value;
        if (!IniReader::splitKeyValue(raw, key, value)) {
            reader.errorLine(IniReader::text(m_malformed));
            return false;
        }
        switch (m_handler(reader, key, value)) {
        case KeyResult::Done:
            return true;
        case KeyResult::Failed:
            return false;
        case KeyResult::Unknown:
            reader.errorLine(IniReader::text(m_unknown));
            return false;
        }
        return false;
    }

    bool end(IniReader&) override { return true; }

private:
    const char* m_malformed;
    const char* m_unknown;
    std::function<void()> m_reset;
    KeyHandler m_handler;
};

bool isTrue(const QByteArray& value)
{
    return IniReader::upper(value) == "TRUE";
}

// LoadAct and UnloadAct: judged by the beginning of the word, so "Удалять" and "удал." both read.
qint32 sourceAction(const QByteArray& value)
{
    const QByteArray up = IniReader::upper(value);
    if (up.isEmpty())
        return 0;
    if (up.left(6) == cp("ОСТАВЛ"))
        return 0;
    if (up.left(4) == cp("УДАЛ"))
        return 1;
    if (up.left(5) == cp("ИЗМЕН"))
        return 2;
    return 0;
}

// The display words of the enumerations, in value order: written as they stand, and read back
// under the settings upper-casing rule, so what is saved always reads as the same value.
const std::initializer_list<const char*> ChannelWords = { "FTP Клиент", "ЛокальнаЯ папка", "FTP Сервер" };
const std::initializer_list<const char*> SearchOrderWords
    = { "Только по коду", "По коду и штрихкоду", "По штрихкоду и коду" };
const std::initializer_list<const char*> ActionWords
    = { "Оставлять справочник", "Удалять справочник", "Изменять название" };

// Index of the value among the listed words, both upper-cased by the settings rule, or -1.
int listed(const QByteArray& value, std::initializer_list<const char*> words)
{
    const QByteArray up = IniReader::upper(value);
    int i = 0;
    for (const char* w : words) {
        if (up == IniReader::upper(cp(w)))
            return i;
        ++i;
    }
    return -1;
}

// The word written for a value; an out-of-range value is written as the first word.
QByteArray wordOf(std::initializer_list<const char*> words, qint32 value)
{
    const bool inRange = value >= 0 && value < static_cast<qint32>(words.size());
    return cp(*(words.begin() + (inRange ? value : 0)));
}

KeyResult setPassword(IniReader& reader, const QByteArray& value, QByteArray& field, const char* badText)
{
    QByteArray plain;
    if (!unscramblePassword(value, plain)) {
        reader.errorLine(IniReader::text(badText));
        return KeyResult::Failed;
    }
    field = IniReader::fitText(plain, PasswordMax);
    return KeyResult::Done;
}

KeyResult ftpClientKey(FtpClientSettings& s, IniReader& reader, const QByteArray& key, const QByteArray& value)
{
    if (key == "IPADRESS")
        s.ipAdress = IniReader::fitText(value, ShortTextMax);
    else if (key == "USERNAME")
        s.userName = IniReader::fitText(value, ShortTextMax);
    else if (key == "PASSWORD")
        return setPassword(
            reader, value, s.passWord, QT_TRANSLATE_NOOP("IniReader", "404:Секция [FTP_CLIENT].Неправильный пароль "));
    else if (key == "TRANSFERMODE")
        s.transferMode = IniReader::upper(value) == "ACTIVE" ? 1 : 0;
    else if (key == "ROOT")
        s.root = IniReader::fitText(value, FolderMax);
    else if (key == "INPUT")
        s.input = IniReader::fitText(value, FolderMax);
    else if (key == "OUTPUT")
        s.output = IniReader::fitText(value, FolderMax);
    else
        return KeyResult::Unknown;
    return KeyResult::Done;
}

KeyResult ftpServerKey(FtpServerSettings& s, IniReader& reader, const QByteArray& key, const QByteArray& value)
{
    if (key == "USERNAME")
        s.userName = IniReader::fitText(value, ShortTextMax);
    else if (key == "PASSWORD")
        return setPassword(
            reader, value, s.passWord, QT_TRANSLATE_NOOP("IniReader", "404:Секция [FTP_SERVER].Неправильный пароль "));
    else if (key == "ROOT")
        s.root = IniReader::fitText(value, FolderMax);
    else if (key == "INPUT")
        s.input = IniReader::fitText(value, FolderMax);
    else if (key == "OUTPUT")
        s.output = IniReader::fitText(value, FolderMax);
    else if (key == "TRACE")
        return IniReader::toInt32(value, s.trace) ? KeyResult::Done : KeyResult::Failed;
    else
        return KeyResult::Unknown;
    return KeyResult::Done;
}

KeyResult localDirKey(LocalDirSettings& s, const QByteArray& key, const QByteArray& value)
{
    if (key == "ROOT")
        s.root = IniReader::fitText(value, FolderMax);
    else if (key == "INPUT")
        s.input = IniReader::fitText(value, FolderMax);
    else if (key == "OUTPUT")
        s.output = IniReader::fitText(value, FolderMax);
    else
        return KeyResult::Unknown;
    return KeyResult::Done;
}

KeyResult obmenKey(ObmenSettings& s, const QByteArray& key, const QByteArray& value)
{
    if (key == "IOFTPLOCAL") {
        const int channel = listed(value, ChannelWords);
        if (channel < 0)
            return KeyResult::Unknown; // reported with the section's 411 text
        s.ioFtpLocal = channel;
    } else if (key == "ENUNLOADREQUEST")
        s.enUnloadRequest = isTrue(value);
    else if (key == "ENLOADREPLACE")
        s.enLoadReplace = isTrue(value);
    else if (key == "LOADACT")
        s.loadAct = sourceAction(value);
    else if (key == "UNLOADACT")
        s.unloadAct = sourceAction(value);
    else if (key == "LOADMESSAGE")
        s.loadMessage = IniReader::upper(value) == cp("ВСЕГДА") ? 1 : 0;
    else if (key == "UNLOADMESSAGE")
        s.unloadMessage = IniReader::upper(value) == cp("ВСЕГДА") ? 1 : 0;
    else if (key == "ENCASECHANGED")
        s.enCaseChanged = isTrue(value);
    else
        return KeyResult::Unknown;
    return KeyResult::Done;
}

KeyResult programmKey(ProgrammSettings& s, const QByteArray& key, const QByteArray& value)
{
    if (key == "PROGRAMM")
        s.programm = IniReader::upper(value) == cp("ПРИХОД ТОВАРА");
    else if (key == "TERMINALNUMBER")
        s.terminalNumber = IniReader::fitText(value, TerminalNumberMax);
    else if (key == "WORKDIRECTORY")
        s.workDirectory = IniReader::fitText(value, FolderMax);
    else if (key == "ENONDEPARTMENT")
        s.enOnDepartment = isTrue(value);
    else if (key == "ENONPLACE")
        s.enOnPlace = isTrue(value);
    else if (key == "ENONDOCUMENT")
        s.enOnDocument = isTrue(value);
    else if (key == "ENAVTORIZ")
        s.enAvtoriz = isTrue(value);
    else if (key == "ENEXITREQUEST")
        s.enExitRequest = isTrue(value);
    else
        return KeyResult::Unknown;
    return KeyResult::Done;
}

KeyResult vvodKey(VvodSettings& s, IniReader& reader, const QByteArray& key, const QByteArray& value)
{
    if (key == "ENADDITEM")
        s.enAddItem = isTrue(value);
    else if (key == "ENWEIGHTBARCODE")
        s.enWeightBarCode = isTrue(value);
    else if (key == "QUANTITYINCR") {
        if (!parseQuantity(value, s.quantityIncr)) {
            reader.errorLine(IniReader::text(QT_TRANSLATE_NOOP("IniReader", "405:Неправильное значение параметра ")));
            return KeyResult::Failed;
        }
    } else if (key == "ENQUANTITYSKIP")
        s.enQuantitySkip = isTrue(value);
    else if (key == "ENSUMREPEATED")
        s.enSumRepeated = isTrue(value);
    else if (key == "SEARCHORDER") {
        const int order = listed(value, SearchOrderWords);
        s.searchOrder = qMax(order, 0);
        if (order < 0)
            return KeyResult::Failed;
    } else if (key == "VVODPANEL") {
        // "РХД" is an older spelling of the row panel that files still carry.
        const int panel = listed(value, { "ТАБЛИЦА", "РЯД", "РХД" });
        s.vvodPanel = panel < 0 ? 0 : (panel == 0 ? 0 : 1);
        if (panel < 0)
            return KeyResult::Failed;
    } else if (key == "ENSUMDOCUM")
        s.enSumDocum = isTrue(value);
    else
        return KeyResult::Unknown;
    return KeyResult::Done;
}

KeyResult systemKey(SystemSettings& s, const QByteArray& key, const QByteArray& value)
{
    if (key == "SUMMADP")
        return IniReader::toInt32(value, s.summaDp) ? KeyResult::Done : KeyResult::Failed;
    if (key == "QUANTITYDP")
        return IniReader::toInt32(value, s.quantityDp) ? KeyResult::Done : KeyResult::Failed;
    return KeyResult::Unknown;
}

// ---- writing

// A value must stay on its line: a line break inside it would cut the file apart.
QByteArray oneLine(const QByteArray& value)
{
    QByteArray out = value;
    out.replace('\r', ' ');
    out.replace('\n', ' ');
    return out;
}

void put(QByteArray& out, const char* key, const QByteArray& value)
{
    out += key;
    out += oneLine(value);
    out += "\r\n";
}

QByteArray boolWord(bool value)
{
    return value ? QByteArrayLiteral("TRUE") : QByteArrayLiteral("FALSE");
}

QByteArray messageWord(qint32 when)
{
    return when == 1 ? cp("Всегда") : cp("При ошибке");
}

void writeFtpClient(QByteArray& out, const FtpClientSettings& s)
{
    put(out, "IPAdress=", s.ipAdress);
    put(out, "UserName=", s.userName);
    put(out, "PassWord=", scramblePassword(s.passWord));
    // The other choice stays in the file as a comment line.
    if (s.transferMode == 1) {
        put(out, ";TransferMode=", "Passive");
        put(out, "TransferMode=", "Active");
    } else {
        put(out, "TransferMode=", "Passive");
        put(out, ";TransferMode=", "Active");
    }
    put(out, "Root=", s.root);
    put(out, "Input=", s.input);
    put(out, "Output=", s.output);
}

void writeFtpServer(QByteArray& out, const FtpServerSettings& s)
{
    put(out, "UserName=", s.userName);
    put(out, "PassWord=", scramblePassword(s.passWord));
    put(out, "Root=", s.root);
    put(out, "Input=", s.input);
    put(out, "Output=", s.output);
    put(out, "Trace=", QByteArray::number(s.trace));
}

void writeLocalDir(QByteArray& out, const LocalDirSettings& s)
{
    put(out, "Root=", s.root);
    put(out, "Input=", s.input);
    put(out, "Output=", s.output);
}

void writeObmen(QByteArray& out, const ObmenSettings& s)
{
    put(out, "IoFTPLocal=", wordOf(ChannelWords, s.ioFtpLocal));
    put(out, "EnUnloadRequest=", boolWord(s.enUnloadRequest));
    put(out, "EnLoadReplace=", boolWord(s.enLoadReplace));
    put(out, "LoadAct=", wordOf(ActionWords, s.loadAct));
    put(out, "UnloadAct=", wordOf(ActionWords, s.unloadAct));
    put(out, "LoadMessage=", messageWord(s.loadMessage));
    put(out, "UnloadMessage=", messageWord(s.unloadMessage));
    put(out, "EnCaseChanged=", boolWord(s.enCaseChanged));
}

void writeProgramm(QByteArray& out, const ProgrammSettings& s)
{
    put(out, "Programm=", s.programm ? cp("Приход товара") : cp("Инвентаризация"));
    put(out, "TerminalNumber=", s.terminalNumber);
    put(out, "WorkDirectory=", s.workDirectory);
    put(out, "EnOnDepartment=", boolWord(s.enOnDepartment));
    put(out, "EnOnPlace=", boolWord(s.enOnPlace));
    put(out, "EnOnDocument=", boolWord(s.enOnDocument));
    put(out, "EnAvtoriz=", boolWord(s.enAvtoriz));
    put(out, "EnExitRequest=", boolWord(s.enExitRequest));
}

void writeVvod(QByteArray& out, const VvodSettings& s)
{
    put(out, "EnWeightBarCode=", boolWord(s.enWeightBarCode));
    put(out, "EnQuantitySkip=", boolWord(s.enQuantitySkip));
    put(out, "QuantityIncr=", formatQuantity(s.quantityIncr));
    put(out, "EnAddItem=", boolWord(s.enAddItem));
    put(out, "EnSumRepeated=", boolWord(s.enSumRepeated));
    put(out, "SearchOrder=", wordOf(SearchOrderWords, s.searchOrder));
    put(out, "VvodPanel=", s.vvodPanel == 1 ? cp("РЯД") : cp("Таблица"));
    put(out, "EnSumDocum=", boolWord(s.enSumDocum));
}

const char* const sectionNames[UserSectionCount]
    = { "FTP_CLIENT", "FTP_SERVER", "LOCAL_DIR", "OBMEN", "PROGRAMM", "VVOD" };

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
    auto add = [this](const char* name, const char* malformed, const char* unknown, std::function<void()> reset,
                   KeyHandler handler) {
        m_sections.emplace_back(
            QByteArray(name), std::make_unique<UserSection>(malformed, unknown, std::move(reset), std::move(handler)));
    };
    add(
        "FTP_CLIENT", QT_TRANSLATE_NOOP("IniReader", "404:Секция [FTP_CLIENT].Неправильная структура строки"),
        QT_TRANSLATE_NOOP("IniReader", "404:Секция [FTP_CLIENT].Нет такого параметра "),
        [&user] { user.ftpClient = FtpClientSettings(); },
        [&user](
            IniReader& r, const QByteArray& k, const QByteArray& v) { return ftpClientKey(user.ftpClient, r, k, v); });
    add(
        "FTP_SERVER", QT_TRANSLATE_NOOP("IniReader", "404:Секция [FTP_SERVER].Неправильная структура строки"),
        QT_TRANSLATE_NOOP("IniReader", "404:Секция [FTP_SERVER].Нет такого параметра "),
        [&user] { user.ftpServer = FtpServerSettings(); },
        [&user](
            IniReader& r, const QByteArray& k, const QByteArray& v) { return ftpServerKey(user.ftpServer, r, k, v); });
    add(
        "LOCAL_DIR", QT_TRANSLATE_NOOP("IniReader", "404:Секция [LOCAL_DIR].Неправильная структура строки"),
        QT_TRANSLATE_NOOP("IniReader", "404:Нет такого параметра "), [&user] { user.localDir = LocalDirSettings(); },
        [&user](IniReader&, const QByteArray& k, const QByteArray& v) { return localDirKey(user.localDir, k, v); });
    add(
        "OBMEN", QT_TRANSLATE_NOOP("IniReader", "404:Секция [OBMEN].Неправильная структура строки"),
        QT_TRANSLATE_NOOP("IniReader", "411:секция [OBMEN]. Нет такого параметра "),
        [&user] { user.obmen = ObmenSettings(); },
        [&user](IniReader&, const QByteArray& k, const QByteArray& v) { return obmenKey(user.obmen, k, v); });
    add(
        "PROGRAMM", QT_TRANSLATE_NOOP("IniReader", "404:Секция [PROGRAMM].Неправильная структура строки"),
        QT_TRANSLATE_NOOP("IniReader", "406:секция [PROGRAMM]. Нет такого параметра "),
        [&user] { user.programm = ProgrammSettings(); },
        [&user](IniReader&, const QByteArray& k, const QByteArray& v) { return programmKey(user.programm, k, v); });
    add(
        "VVOD", QT_TRANSLATE_NOOP("IniReader", "404:Секция [VVOD].Неправильная структура строки"),
        QT_TRANSLATE_NOOP("IniReader", "406:Нет такого параметра "), [&user] { user.vvod = VvodSettings(); },
        [&user](IniReader& r, const QByteArray& k, const QByteArray& v) { return vvodKey(user.vvod, r, k, v); });
    add(
        "SYSTEM", QT_TRANSLATE_NOOP("IniReader", "404:Секция [SYSTEM].Неправильная структура строки"),
        QT_TRANSLATE_NOOP("IniReader", "407:Нет такого параметра "), [&system] { system = SystemSettings(); },
        [&system](IniReader&, const QByteArray& k, const QByteArray& v) { return systemKey(system, k, v); });
}

UserSections::~UserSections() = default;

void UserSections::registerWith(IniReader& reader)
{
    for (auto& entry : m_sections)
        reader.addSection(entry.first, entry.second.get());
}

QByteArray userSectionName(int index)
{
    if (index < 0 || index >= UserSectionCount)
        return {};
    return QByteArray(sectionNames[index]);
}

QByteArray userSectionText(const UserSettings& user, int index)
{
    if (index < 0 || index >= UserSectionCount)
        return {};
    QByteArray out;
    out += '[';
    out += sectionNames[index];
    out += "]\r\n";
    switch (index) {
    case 0:
        writeFtpClient(out, user.ftpClient);
        break;
    case 1:
        writeFtpServer(out, user.ftpServer);
        break;
    case 2:
        writeLocalDir(out, user.localDir);
        break;
    case 3:
        writeObmen(out, user.obmen);
        break;
    case 4:
        writeProgramm(out, user.programm);
        break;
    case 5:
        writeVvod(out, user.vvod);
        break;
    }
    out += "\r\n";
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
            dialogs.message(3, QStringLiteral("Секция ") + QString::fromLatin1(sectionNames[i]),
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
