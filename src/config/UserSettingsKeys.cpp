#include "UserSettingsKeys.h"

#include "IniReader.h"

namespace {

// The FTP channels' TLS choice, the same on both sides.
SettingChoices tlsChoices()
{
    SettingChoices tls;
    tls.fileWords = { "Нет", "Разрешено", "Обязательно" };
    tls.screenItems = tls.fileWords;
    return tls;
}

// The three folders every exchange channel has, on the editor's rows from first on.
template <typename Record>
void addFolders(std::vector<RecordKey<Record>>& keys, int first)
{
    using K = RecordKey<Record>;
    keys.push_back(K::textKey("Root", FolderMax, &Record::root).onScreen(first));
    keys.push_back(K::textKey("Input", FolderMax, &Record::input).onScreen(first + 1));
    keys.push_back(K::textKey("Output", FolderMax, &Record::output).onScreen(first + 2));
}

} // namespace

QByteArray upperKey(const SettingKey& key)
{
    return IniReader::upper(QByteArray(key.name));
}

const SectionKeys<FtpClientSettings>& ftpClientKeys()
{
    static const SectionKeys<FtpClientSettings> section = [] {
        using K = RecordKey<FtpClientSettings>;
        SectionKeys<FtpClientSettings> s { "FTP_CLIENT",
            { QT_TRANSLATE_NOOP("IniReader", "404:Секция [FTP_CLIENT].Неправильная структура строки"),
                QT_TRANSLATE_NOOP("IniReader", "404:Секция [FTP_CLIENT].Нет такого параметра "),
                QT_TRANSLATE_NOOP("IniReader", "404:Секция [FTP_CLIENT].Неправильный пароль ") },
            {} };
        SettingChoices modes;
        modes.fileWords = { "Passive", "Active" };
        modes.screenItems = { "Пассивный", "Активный" };
        modes.othersAsComments = true;
        s.keys.push_back(K::textKey("IPAdress", ShortTextMax, &FtpClientSettings::ipAdress).onScreen(0));
        // The settings reader drops blanks at both ends: a typed blank would change the login.
        s.keys.push_back(
            K::textKey("UserName", ShortTextMax, &FtpClientSettings::userName).onScreen(1).trimmedOnScreen());
        s.keys.push_back(K::passwordKey("PassWord", &FtpClientSettings::passWord).onScreen(2));
        s.keys.push_back(K::choiceKey("TransferMode", modes, &FtpClientSettings::transferMode).onScreen(3));
        addFolders(s.keys, 4);
        s.keys.push_back(K::choiceKey("TLS", tlsChoices(), &FtpClientSettings::tls).onScreen(7));
        s.keys.push_back(
            K::textKey("Fingerprint", ShortTextMax, &FtpClientSettings::fingerprint).onScreen(8).trimmedOnScreen());
        return s;
    }();
    return section;
}

const SectionKeys<FtpServerSettings>& ftpServerKeys()
{
    static const SectionKeys<FtpServerSettings> section = [] {
        using K = RecordKey<FtpServerSettings>;
        SectionKeys<FtpServerSettings> s { "FTP_SERVER",
            { QT_TRANSLATE_NOOP("IniReader", "404:Секция [FTP_SERVER].Неправильная структура строки"),
                QT_TRANSLATE_NOOP("IniReader", "404:Секция [FTP_SERVER].Нет такого параметра "),
                QT_TRANSLATE_NOOP("IniReader", "404:Секция [FTP_SERVER].Неправильный пароль ") },
            {} };
        s.keys.push_back(
            K::textKey("UserName", ShortTextMax, &FtpServerSettings::userName).onScreen(0).trimmedOnScreen());
        s.keys.push_back(K::passwordKey("PassWord", &FtpServerSettings::passWord).onScreen(1));
        addFolders(s.keys, 2);
        s.keys.push_back(K::integerKey("Trace", &FtpServerSettings::trace));
        s.keys.push_back(K::choiceKey("TLS", tlsChoices(), &FtpServerSettings::tls).onScreen(5));
        return s;
    }();
    return section;
}

const SectionKeys<LocalDirSettings>& localDirKeys()
{
    static const SectionKeys<LocalDirSettings> section = [] {
        SectionKeys<LocalDirSettings> s { "LOCAL_DIR",
            { QT_TRANSLATE_NOOP("IniReader", "404:Секция [LOCAL_DIR].Неправильная структура строки"),
                QT_TRANSLATE_NOOP("IniReader", "404:Нет такого параметра ") },
            {} };
        addFolders(s.keys, 0);
        return s;
    }();
    return section;
}

const SectionKeys<ObmenSettings>& obmenKeys()
{
    static const SectionKeys<ObmenSettings> section = [] {
        using K = RecordKey<ObmenSettings>;
        SectionKeys<ObmenSettings> s { "OBMEN",
            { QT_TRANSLATE_NOOP("IniReader", "404:Секция [OBMEN].Неправильная структура строки"),
                QT_TRANSLATE_NOOP("IniReader", "411:секция [OBMEN]. Нет такого параметра ") },
            {} };
        SettingChoices channels;
        // The file's word keeps its capital Я; the upper-casing rule leaves я alone, so the word
        // with a small я is not read.
        channels.fileWords = { "FTP Клиент", "ЛокальнаЯ папка", "FTP Сервер" };
        channels.screenItems = { "FTP Клиент", "Локальная папка", "FTP Сервер" };
        channels.miss = ChoiceMiss::Unknown;
        SettingChoices actions;
        actions.fileWords = { "Оставлять справочник", "Удалять справочник", "Изменять название" };
        actions.screenItems = actions.fileWords;
        // Judged by the beginning of the word, so "Удалять" and "удал." both read.
        actions.alsoRead = { { "ОСТАВЛ", 0, true }, { "УДАЛ", 1, true }, { "ИЗМЕН", 2, true } };
        SettingChoices messages;
        messages.fileWords = { "При ошибке", "Всегда" };
        messages.screenItems = messages.fileWords;
        s.keys.push_back(K::choiceKey("IoFTPLocal", channels, &ObmenSettings::ioFtpLocal).onScreen(0));
        s.keys.push_back(K::flagKey("EnUnloadRequest", &ObmenSettings::enUnloadRequest).onScreen(1));
        s.keys.push_back(K::flagKey("EnLoadReplace", &ObmenSettings::enLoadReplace).onScreen(2));
        s.keys.push_back(K::choiceKey("LoadAct", actions, &ObmenSettings::loadAct).onScreen(3));
        s.keys.push_back(K::choiceKey("UnloadAct", actions, &ObmenSettings::unloadAct).onScreen(4));
        s.keys.push_back(K::choiceKey("LoadMessage", messages, &ObmenSettings::loadMessage).onScreen(5));
        s.keys.push_back(K::choiceKey("UnloadMessage", messages, &ObmenSettings::unloadMessage).onScreen(6));
        s.keys.push_back(K::flagKey("EnCaseChanged", &ObmenSettings::enCaseChanged).onScreen(7));
        return s;
    }();
    return section;
}

const SectionKeys<ProgrammSettings>& programmKeys()
{
    static const SectionKeys<ProgrammSettings> section = [] {
        using K = RecordKey<ProgrammSettings>;
        SectionKeys<ProgrammSettings> s { "PROGRAMM",
            { QT_TRANSLATE_NOOP("IniReader", "404:Секция [PROGRAMM].Неправильная структура строки"),
                QT_TRANSLATE_NOOP("IniReader", "406:секция [PROGRAMM]. Нет такого параметра ") },
            {} };
        SettingChoices modes;
        modes.fileWords = { "Инвентаризация", "Приход товара" };
        modes.screenItems = modes.fileWords;
        s.keys.push_back(K::choiceKey("Programm", modes, &ProgrammSettings::programm).onScreen(0));
        // The number becomes part of exchange-log file names.
        s.keys.push_back(K::textKey("TerminalNumber", TerminalNumberMax, &ProgrammSettings::terminalNumber)
                             .onScreen(1)
                             .refusingOnScreen("/\\"));
        s.keys.push_back(K::textKey("WorkDirectory", FolderMax, &ProgrammSettings::workDirectory).onScreen(2));
        s.keys.push_back(K::flagKey("EnOnDepartment", &ProgrammSettings::enOnDepartment).onScreen(3));
        s.keys.push_back(K::flagKey("EnOnPlace", &ProgrammSettings::enOnPlace).onScreen(4));
        s.keys.push_back(K::flagKey("EnOnDocument", &ProgrammSettings::enOnDocument).onScreen(5));
        s.keys.push_back(K::flagKey("EnAvtoriz", &ProgrammSettings::enAvtoriz).onScreen(6));
        s.keys.push_back(K::flagKey("EnExitRequest", &ProgrammSettings::enExitRequest).onScreen(7));
        return s;
    }();
    return section;
}

const SectionKeys<VvodSettings>& vvodKeys()
{
    static const SectionKeys<VvodSettings> section = [] {
        using K = RecordKey<VvodSettings>;
        SectionKeys<VvodSettings> s { "VVOD",
            { QT_TRANSLATE_NOOP("IniReader", "404:Секция [VVOD].Неправильная структура строки"),
                QT_TRANSLATE_NOOP("IniReader", "406:Нет такого параметра ") },
            {} };
        SettingChoices orders;
        orders.fileWords = { "Только по коду", "По коду и штрихкоду", "По штрихкоду и коду" };
        orders.screenItems = orders.fileWords;
        orders.miss = ChoiceMiss::Refused;
        SettingChoices panels;
        panels.fileWords = { "Таблица", "РЯД" };
        panels.screenItems = { "Таблица", "Ряд" };
        // "РХД" is an older spelling of the row panel that files still carry.
        panels.alsoRead = { { "РХД", 1, false } };
        panels.miss = ChoiceMiss::Refused;
        // The editor shows them in another order than the file's.
        s.keys.push_back(K::flagKey("EnWeightBarCode", &VvodSettings::enWeightBarCode).onScreen(2));
        s.keys.push_back(K::flagKey("EnQuantitySkip", &VvodSettings::enQuantitySkip).onScreen(3));
        // Kept in thousandths: typed and shown as a quantity, so "1" books one piece per scan.
        s.keys.push_back(K::quantityKey("QuantityIncr", &VvodSettings::quantityIncr).onScreen(1));
        s.keys.push_back(K::flagKey("EnAddItem", &VvodSettings::enAddItem).onScreen(0));
        s.keys.push_back(K::flagKey("EnSumRepeated", &VvodSettings::enSumRepeated).onScreen(4));
        s.keys.push_back(K::choiceKey("SearchOrder", orders, &VvodSettings::searchOrder).onScreen(5));
        s.keys.push_back(K::choiceKey("VvodPanel", panels, &VvodSettings::vvodPanel).onScreen(6));
        s.keys.push_back(K::flagKey("EnSumDocum", &VvodSettings::enSumDocum).onScreen(7));
        s.keys.push_back(K::flagKey("EnScanConfirms", &VvodSettings::enScanConfirms).onScreen(8));
        return s;
    }();
    return section;
}

const SectionKeys<SystemSettings>& systemKeys()
{
    static const SectionKeys<SystemSettings> section = [] {
        using K = RecordKey<SystemSettings>;
        SectionKeys<SystemSettings> s { "SYSTEM",
            { QT_TRANSLATE_NOOP("IniReader", "404:Секция [SYSTEM].Неправильная структура строки"),
                QT_TRANSLATE_NOOP("IniReader", "407:Нет такого параметра ") },
            {} };
        s.keys.push_back(K::integerKey("SUMMADP", &SystemSettings::summaDp));
        s.keys.push_back(K::integerKey("QUANTITYDP", &SystemSettings::quantityDp));
        return s;
    }();
    return section;
}
