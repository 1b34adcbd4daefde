#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class FtpHiddenFiles;

// Listings in the "ls -l" form the office programs parse, with English month names whatever the
// terminal's locale.
struct FtpListing {
    QList<QByteArray> lines;
    QList<QByteArray> names; // the same entries, names only (NLST)
    QStringList unlisted; // names left out because Windows-1251 cannot carry them
};

// Whether name matches a shell wildcard pattern in any letter case: "*" any run, "?" one letter,
// "[a-z]" / "[!a-z]" a class. Each star is settled once, at the leftmost place its following part
// fits, so the time is bounded by name length times pattern length whatever the pattern; a pattern
// with an unclosed "[" is not a pattern and matches only the name written so.
bool ftpWildcardMatch(const QString& pattern, const QString& name);

// One line: type, fixed permissions and owner, size right-aligned in 11, "Mon dd  yyyy", name, CR LF.
QByteArray ftpListLine(bool isDir, qint64 size, const QDate& date, const QByteArray& wireName);
// The entries of folder whose names match pattern (wildcards, any letter case; empty: all), sorted
// by name; hidden (dot) files, temporaries and the hidden paths are left out. False when
// folder is not a folder, or when the calling thread is asked to stop (between two entries).
bool ftpListFolder(const QString& folder, const QString& pattern, const FtpHiddenFiles& hidden, FtpListing& out);
// The line of one file or folder itself; false when there is no such entry to show.
bool ftpListEntry(const QString& path, const FtpHiddenFiles& hidden, FtpListing& out);
