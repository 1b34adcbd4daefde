#include "FtpListing.h"

#include "Codec.h"
#include "FtpPath.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextCodec>
#include <QThread>

#include <algorithm>

namespace {

QByteArray month(int number)
{
    static const char* const names[]
        = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    return QByteArray(number >= 1 && number <= 12 ? names[number - 1] : "Und");
}

// The line of an entry, or false when its name cannot travel: Windows-1251 lacks a character, or a
// line end inside the name would break the listing apart.
bool addEntry(const QFileInfo& entry, FtpListing& out)
{
    const QString name = entry.fileName();
    if (!cp1251()->canEncode(name) || name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n'))) {
        out.unlisted.append(name);
        return false;
    }
    // The modification time: a creation time is not kept by many Linux file systems. A folder's
    // size is the file system's bookkeeping, not content, so folders show 0.
    const bool isDir = entry.isDir();
    out.lines.append(ftpListLine(isDir, isDir ? 0 : entry.size(), entry.lastModified().date(), fromUi(name)));
    out.names.append(fromUi(name));
    return true;
}

struct Token {
    enum Kind { Star, One, Set };
    Kind kind = One;
    QList<QPair<QChar, QChar>> ranges; // a letter is [c, c]; none: any letter
    bool negated = false;
};

bool inRanges(const Token& token, QChar c)
{
    if (token.ranges.isEmpty())
        return true;
    const QChar forms[] = { c, c.toLower(), c.toUpper() };
    bool hit = false;
    for (const auto& range : token.ranges)
        for (const QChar form : forms)
            hit = hit || (form >= range.first && form <= range.second);
    return hit != token.negated;
}

// False when the pattern is not a valid one (an unclosed class).
bool tokenize(const QString& pattern, QList<Token>& out)
{
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        Token token;
        const QChar c = pattern[i];
        if (c == QLatin1Char('*')) {
            if (!out.isEmpty() && out.constLast().kind == Token::Star)
                continue; // "**" is "*"
            token.kind = Token::Star;
        } else if (c == QLatin1Char('?')) {
            token.kind = Token::One;
        } else if (c == QLatin1Char('[')) {
            token.kind = Token::Set;
            qsizetype at = i + 1;
            if (at < pattern.size() && (pattern[at] == QLatin1Char('!') || pattern[at] == QLatin1Char('^'))) {
                token.negated = true;
                ++at;
            }
            const qsizetype first = at;
            while (at < pattern.size() && (pattern[at] != QLatin1Char(']') || at == first)) {
                QChar high = pattern[at];
                if (at + 2 < pattern.size() && pattern[at + 1] == QLatin1Char('-')
                    && pattern[at + 2] != QLatin1Char(']')) {
                    high = pattern[at + 2];
                    token.ranges.append({ pattern[at], high });
                    at += 3;
                } else {
                    token.ranges.append({ high, high });
                    ++at;
                }
            }
            if (at >= pattern.size())
                return false;
            i = at;
        } else {
            token.ranges.append({ c, c });
        }
        out.append(token);
    }
    return true;
}

// Whether the starless tokens [from, to) match name at position at.
bool fitsAt(const QList<Token>& tokens, qsizetype from, qsizetype to, const QString& name, qsizetype at)
{
    if (at + (to - from) > name.size())
        return false;
    for (qsizetype t = from; t < to; ++t)
        if (!inRanges(tokens[t], name[at + t - from]))
            return false;
    return true;
}

} // namespace

bool ftpWildcardMatch(const QString& pattern, const QString& name)
{
    QList<Token> tokens;
    if (!tokenize(pattern, tokens))
        return pattern.compare(name, Qt::CaseInsensitive) == 0;
    // Parts between stars: the first is fixed at the start, the last at the end, and each one
    // between goes to the leftmost place after the one before (taking it later can only leave less
    // room), so no choice is ever revisited.
    QList<qsizetype> stars;
    for (qsizetype t = 0; t < tokens.size(); ++t)
        if (tokens[t].kind == Token::Star)
            stars.append(t);
    if (stars.isEmpty())
        return tokens.size() == name.size() && fitsAt(tokens, 0, tokens.size(), name, 0);
    const qsizetype head = stars.constFirst();
    const qsizetype tail = tokens.size() - stars.constLast() - 1;
    if (head + tail > name.size() || !fitsAt(tokens, 0, head, name, 0)
        || !fitsAt(tokens, tokens.size() - tail, tokens.size(), name, name.size() - tail))
        return false;
    qsizetype at = head;
    const qsizetype end = name.size() - tail;
    for (qsizetype s = 0; s + 1 < stars.size(); ++s) {
        const qsizetype from = stars[s] + 1;
        const qsizetype to = stars[s + 1];
        while (at + (to - from) <= end && !fitsAt(tokens, from, to, name, at))
            ++at;
        if (at + (to - from) > end)
            return false;
        at += to - from;
    }
    return true;
}

QByteArray ftpListLine(bool isDir, qint64 size, const QDate& date, const QByteArray& wireName)
{
    // A folder's x bits let a mirroring client (lftp) make its local copy enterable.
    QByteArray line(isDir ? "drwxrwxrwx" : "-rw-rw-rw-");
    line += "   1 user     group ";
    line += QByteArray::number(size).rightJustified(11, ' ');
    line += ' ';
    line += month(date.month());
    line += ' ' + QByteArray::number(date.day()).rightJustified(2, '0') + "  "
        + QByteArray::number(date.year()).rightJustified(4, '0') + ' ';
    line += wireName;
    line += "\r\n";
    return line;
}

bool ftpListFolder(const QString& folder, const QString& pattern, const FtpHiddenFiles& hidden, FtpListing& out)
{
    const QFileInfo info(folder);
    if (!info.isDir())
        return false;
    // Without QDir::Hidden: dot files, the upload temporaries among them, stay out. A stopping
    // server is not kept waiting by a large folder or a slow pattern: each entry checks.
    const auto stopping = [] { return QThread::currentThread()->isInterruptionRequested(); };
    QFileInfoList entries;
    QDirIterator it(folder, QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        if (stopping())
            return false;
        it.next();
        entries.append(it.fileInfo());
    }
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const int folded = a.fileName().compare(b.fileName(), Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.fileName() < b.fileName();
    });
    // The files a terminal is writing beside their targets ("<name>.ortova-[<T>-]XXXXXX") are not
    // there yet for anyone.
    static const QRegularExpression temporary(QStringLiteral("\\.ortova-([A-Za-z0-9]+-)?[A-Za-z0-9]{6}$"));
    for (const QFileInfo& entry : std::as_const(entries)) {
        if (stopping())
            return false;
        if (!pattern.isEmpty() && !ftpWildcardMatch(pattern, entry.fileName()))
            continue;
        if (temporary.match(entry.fileName()).hasMatch())
            continue;
        if (hidden.contains(entry.absoluteFilePath()))
            continue;
        addEntry(entry, out);
    }
    return true;
}

bool ftpListEntry(const QString& path, const FtpHiddenFiles& hidden, FtpListing& out)
{
    const QFileInfo info(path);
    if (!info.exists() || hidden.contains(path))
        return false;
    addEntry(info, out);
    return true;
}
