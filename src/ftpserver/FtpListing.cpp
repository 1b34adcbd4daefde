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
    return true;
}

} // namespace

QByteArray ftpListLine(bool isDir, qint64 size, const QDate& date, const QByteArray& wireName)
{
    QByteArray line(isDir ? "d" : "-");
    line += "rw-rw-rw-   1 user     group ";
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
    const QRegularExpression match(
        QRegularExpression::wildcardToRegularExpression(pattern), QRegularExpression::CaseInsensitiveOption);
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
        if (!pattern.isEmpty() && !match.match(entry.fileName()).hasMatch())
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
