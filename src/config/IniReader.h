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
    virtual bool start(IniReader &reader) = 0;
    virtual bool line(IniReader &reader, const QByteArray &raw) = 0;
    virtual bool end(IniReader &reader) = 0;
};

// The line-oriented settings reader with its numbered error report in the run log.
// Section kinds are registered by upper-case name; the reader does not own them.
class IniReader {
public:
    void addSection(const QByteArray &upperName, IniSection *section);

    // Reads the file (getIniFile); true when the whole file was read without any error.
    bool readFile(const QString &path);
    // Reads an already open device; name is what the run log calls it.
    bool readDevice(QIODevice &device, const QString &name);

    int lineNumber() const { return m_lineNumber; }
    int headerLine() const { return m_headerLine; }
    QByteArray currentSection() const { return m_section; }
    QByteArray currentLine() const { return m_line; }

    // "   |line|", "строка n+1", message.
    void errorLine(const QString &message, const QByteArray &line, int lineNumber);
    // Through iopMsg: "|line|", then "строка n+1 поле field+1 "text"".
    void errorAt(const QByteArray &line, int lineNumber, int field, const QByteArray &text);

    // Key-and-value split: key before the first "=", trimmed and upper-cased (1..maxKey bytes);
    // value after it, trimmed, case kept (at most maxValue bytes). False on any rule broken.
    static bool splitKeyValue(const QByteArray &line, QByteArray &key, QByteArray &value, int maxKey = 62,
                              int maxValue = 510);
    // Upper-casing of settings: a-z and а-ю except ч are raised; я, ч, ё and the rest stay.
    static QByteArray upper(const QByteArray &bytes);
    // Blanks removed at both ends: space, tab, CR, LF, vertical tab, form feed.
    static QByteArray trimmed(const QByteArray &bytes);

private:
    QHash<QByteArray, IniSection *> m_sections;
    int m_lineNumber = -1;
    int m_headerLine = -1;
    QByteArray m_section;
    QByteArray m_line;
};
