#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

class QIODevice;
class IniReader;

// One kind of section: opened at its header, fed its lines, closed at the next header or the end
// of the file. Each call returns success; a failure makes the whole file's result false.
class IniSection {
public:
    virtual ~IniSection() = default;
    virtual bool start(IniReader& reader) = 0;
    virtual bool line(IniReader& reader, const QByteArray& raw) = 0;
    virtual bool end(IniReader& reader) = 0;
};

// The line-oriented settings reader with its numbered error report in the run log.
// Section kinds are registered by upper-case name; the reader does not own them.
class IniReader {
public:
    static constexpr int SectionNameMax = 30;
    static constexpr int KeyMax = 62;
    static constexpr int ValueMax = 510;

    void addSection(const QByteArray& upperName, IniSection* section);

    // Reads the file (getIniFile); true when the whole file was read without any error.
    // Anything but a readable regular file fails with its report in the run log.
    bool readFile(const QString& path);
    // Reads an already open device; name is what the run log calls it.
    bool readDevice(QIODevice& device, const QString& name);

    // Line number of the line being handled, counted from 0 (reports show it plus 1).
    int lineNumber() const { return m_lineNumber; }
    int headerLine() const { return m_headerLine; }
    // Upper-case name of the current section; empty before the first valid header.
    QByteArray currentSection() const { return m_section; }
    QByteArray currentLine() const { return m_line; }

    // "   |line|", "строка n+1", message.
    void errorLine(const QString& message, const QByteArray& line, int lineNumber);
    // The same for the line being handled.
    void errorLine(const QString& message) { errorLine(message, m_line, m_lineNumber); }
    // Through iopMsg: "|line|", then "строка n+1 поле field+1 "text"" (badItemLine(), the text cut
    // as reports cut it).
    void errorAt(const QByteArray& line, int lineNumber, int field, const QByteArray& text);
    // One run-log line "строка n+1 поле field+1 "text"" for a bad item of the current line.
    void errorItem(int field, const QByteArray& text);

    // Key-and-value split: key before the first "=", trimmed and upper-cased (1..maxKey bytes);
    // value after it, trimmed, case kept (at most maxValue bytes). False on any rule broken.
    static bool splitKeyValue(
        const QByteArray& line, QByteArray& key, QByteArray& value, int maxKey = KeyMax, int maxValue = ValueMax);
    // Upper-casing of settings: a-z and а-ю except ч are raised; я, ч, ё and the rest stay.
    static QByteArray upper(const QByteArray& bytes);
    // Blanks removed at both ends: space, tab, CR, LF, vertical tab, form feed.
    static QByteArray trimmed(const QByteArray& bytes);
    // A text as a terminated buffer of max + 1 bytes holds it: up to a zero byte, at most max bytes.
    static QByteArray fitText(const QByteArray& text, int max);
    // A decimal integer (optional sign) that fits 32 bits; false for anything else.
    static bool toInt32(const QByteArray& text, qint32& out);

    // Translated report text of the settings reader.
    static QString text(const char* source);

private:
    bool readLines(QIODevice& device);
    bool handleHeader(const QByteArray& trimmedLine);
    bool startSection();
    bool endSection();

    QHash<QByteArray, IniSection*> m_sections;
    IniSection* m_current = nullptr; // nullptr for an unknown section
    bool m_inSection = false;
    int m_lineNumber = -1;
    int m_headerLine = -1;
    QByteArray m_section;
    QByteArray m_line;
};
