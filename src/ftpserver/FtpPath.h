#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The tree a client sees. A command's path is virtual: "/" plus parts, resolved by text alone and
// clamped at "/", then placed below the root. FTP clients cannot create links, so this lexical
// confinement keeps them inside the root; links the terminal's owner put there are followed.
namespace FtpPath {
// Resolves argument against the current folder's parts: from "/" when it begins with a separator,
// "/" and "\" both separate, empty and "." parts are dropped, ".." drops one part and never climbs
// above "/". False (parts untouched) when the argument holds a NUL, which no file name can.
bool resolve(const QStringList& current, const QString& argument, QStringList& parts);
// How a client is shown the folder: "/" for the root, "/A/B/" below it.
QString display(const QStringList& parts);
// The local path: the root itself for no parts, root + "/" + parts otherwise.
QString local(const QString& root, const QStringList& parts);
} // namespace FtpPath

// Files the server neither serves nor lists: absolute paths whose name may be a wildcard
// ("*.ipn"), matched in any letter case, and found whatever link leads to their folder.
class FtpHiddenFiles {
public:
    FtpHiddenFiles() = default;
    explicit FtpHiddenFiles(const QStringList& paths);
    bool contains(const QString& localPath) const;
    // Whether a hidden file's folder is folder itself or lies below it: such a folder is never
    // renamed or removed, or its files would be served under the new name.
    bool within(const QString& folder) const;

private:
    struct Rule {
        QStringList folders; // as written and as the file system resolves it
        QRegularExpression name;
    };
    QList<Rule> m_rules;
};
