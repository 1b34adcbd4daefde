#pragma once

#include "UserSettings.h"

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>
#include <vector>

// The keys of the settings sections, each declared once: the file's reader and writer and the
// settings editors all work from these tables. A section's defaults are its default-constructed
// record; the editors' row labels are the PARM lines of the system file.

// How a value is kept in the file and edited on the screen.
enum class SettingType {
    Text, // bytes as they stand, at most maxBytes kept
    Password, // scrambled in the file, plain in the record
    Integer, // a decimal that fits 32 bits
    Quantity, // thousandths, written as "1.500"
    Flag, // TRUE or FALSE
    Choice, // one of a list of words, kept as its index
};

// What a word that is none of a choice's words does when read.
enum class ChoiceMiss {
    First, // taken as the first choice
    Unknown, // reported as the section's unknown parameter; the value stays as it was
    Refused, // taken as the first choice, and the file does not read cleanly (no report line)
};

// A word read as a choice besides the written ones: an older spelling, or (prefix) the first
// letters that tell the choice apart from the others.
struct ChoiceAlias {
    const char* word; // UTF-8, upper-cased by the settings rule
    qint32 value;
    bool prefix;
};

struct SettingChoices {
    std::vector<const char*> fileWords; // UTF-8 here, Windows-1251 in the file; choice i is word i
    std::vector<const char*> screenItems; // the editor's items, UTF-8, in choice order
    std::vector<ChoiceAlias> alsoRead;
    ChoiceMiss miss = ChoiceMiss::First;
    // Every word is written, the ones not chosen as ";" comment lines, so the file shows the others.
    bool othersAsComments = false;
};

// One key of a section, whatever its record.
struct SettingKey {
    const char* name = ""; // as written ("IPAdress"); read in any case
    SettingType type = SettingType::Text;
    int maxBytes = 0; // Text, Password: the longest value kept; longer values read are cut
    SettingChoices choices; // Choice only
    int screenRow = -1; // the row of the section's editor, from 0; -1: not edited
    bool screenTrim = false; // blanks at both ends dropped when the editor takes the value
    const char* screenRefused = ""; // characters the editor refuses in the value
};

// The report texts of a section's reader (translation sources of the "IniReader" context).
struct SectionTexts {
    const char* malformed;
    const char* unknown;
    const char* badPassword = nullptr;
};

// A key's value in one record: the one pointer its type uses is set.
struct SettingValue {
    QByteArray* text = nullptr;
    qint32* number = nullptr;
    bool* flag = nullptr;
};

template <typename Record>
struct RecordKey : SettingKey {
    QByteArray Record::*text = nullptr;
    qint32 Record::*number = nullptr;
    bool Record::*flag = nullptr;

    static RecordKey textKey(const char* name, int maxBytes, QByteArray Record::*member)
    {
        RecordKey k = make(name, SettingType::Text);
        k.maxBytes = maxBytes;
        k.text = member;
        return k;
    }
    static RecordKey passwordKey(const char* name, QByteArray Record::*member)
    {
        RecordKey k = make(name, SettingType::Password);
        k.maxBytes = PasswordMax;
        k.text = member;
        return k;
    }
    static RecordKey integerKey(const char* name, qint32 Record::*member)
    {
        RecordKey k = make(name, SettingType::Integer);
        k.number = member;
        return k;
    }
    static RecordKey quantityKey(const char* name, qint32 Record::*member)
    {
        RecordKey k = make(name, SettingType::Quantity);
        k.number = member;
        return k;
    }
    static RecordKey flagKey(const char* name, bool Record::*member)
    {
        RecordKey k = make(name, SettingType::Flag);
        k.flag = member;
        return k;
    }
    static RecordKey choiceKey(const char* name, const SettingChoices& choices, qint32 Record::*member)
    {
        RecordKey k = make(name, SettingType::Choice);
        k.choices = choices;
        k.number = member;
        return k;
    }
    // Two choices kept as false and true.
    static RecordKey choiceKey(const char* name, const SettingChoices& choices, bool Record::*member)
    {
        RecordKey k = make(name, SettingType::Choice);
        k.choices = choices;
        k.flag = member;
        return k;
    }

    RecordKey onScreen(int row) const
    {
        RecordKey k = *this;
        k.screenRow = row;
        return k;
    }
    RecordKey trimmedOnScreen() const
    {
        RecordKey k = *this;
        k.screenTrim = true;
        return k;
    }
    RecordKey refusingOnScreen(const char* characters) const
    {
        RecordKey k = *this;
        k.screenRefused = characters;
        return k;
    }

    SettingValue in(Record& record) const
    {
        SettingValue v;
        if (text)
            v.text = &(record.*text);
        if (number)
            v.number = &(record.*number);
        if (flag)
            v.flag = &(record.*flag);
        return v;
    }
    // The value as the writer takes it: text, or the number (a flag as 0 or 1).
    QByteArray textIn(const Record& record) const { return text ? record.*text : QByteArray(); }
    qint32 numberIn(const Record& record) const { return number ? record.*number : (flag ? qint32(record.*flag) : 0); }

private:
    static RecordKey make(const char* name, SettingType type)
    {
        RecordKey k;
        k.name = name;
        k.type = type;
        return k;
    }
};

template <typename Record>
struct SectionKeys {
    const char* name; // the section header, also the name of its editor's parameter view
    SectionTexts texts;
    std::vector<RecordKey<Record>> keys; // in the order they are written

    // The keys the section's editor shows, in its row order.
    std::vector<const RecordKey<Record>*> screenKeys() const
    {
        std::vector<const RecordKey<Record>*> shown;
        for (const RecordKey<Record>& k : keys)
            if (k.screenRow >= 0)
                shown.push_back(&k);
        std::stable_sort(shown.begin(), shown.end(),
            [](const RecordKey<Record>* a, const RecordKey<Record>* b) { return a->screenRow < b->screenRow; });
        return shown;
    }
    // The key of a text field, or null.
    const RecordKey<Record>* keyOf(QByteArray Record::*member) const
    {
        for (const RecordKey<Record>& k : keys)
            if (k.text == member)
                return &k;
        return nullptr;
    }
};

// The six sections of "OrtUser.ini" and SYSTEM (read from both settings files, never written).
const SectionKeys<FtpClientSettings>& ftpClientKeys();
const SectionKeys<FtpServerSettings>& ftpServerKeys();
const SectionKeys<LocalDirSettings>& localDirKeys();
const SectionKeys<ObmenSettings>& obmenKeys();
const SectionKeys<ProgrammSettings>& programmKeys();
const SectionKeys<VvodSettings>& vvodKeys();
const SectionKeys<SystemSettings>& systemKeys();

// Calls f(keys, record) for the six user sections in the order the file holds them; User is
// UserSettings or const UserSettings.
template <typename User, typename F>
void forEachUserSection(User& user, F&& f)
{
    f(ftpClientKeys(), user.ftpClient);
    f(ftpServerKeys(), user.ftpServer);
    f(localDirKeys(), user.localDir);
    f(obmenKeys(), user.obmen);
    f(programmKeys(), user.programm);
    f(vvodKeys(), user.vvod);
}

// The key as the reader compares it and as PARM lines name it: upper-cased.
QByteArray upperKey(const SettingKey& key);
