#include "FtpPath.h"

#include <QDir>
#include <QFileInfo>

namespace FtpPath {

bool resolve(const QStringList& current, const QString& argument, QStringList& parts)
{
    if (argument.contains(QChar(0)))
        return false;
    QStringList result;
    const bool fromRoot = argument.startsWith(QLatin1Char('/')) || argument.startsWith(QLatin1Char('\\'));
    if (!fromRoot)
        result = current;
    QString text = argument;
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList pieces = text.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& piece : pieces) {
        if (piece == QLatin1String("."))
            continue;
        if (piece == QLatin1String("..")) {
            if (!result.isEmpty())
                result.removeLast();
            continue;
        }
        result.append(piece);
    }
    parts = result;
    return true;
}

QString display(const QStringList& parts)
{
    if (parts.isEmpty())
        return QStringLiteral("/");
    return QLatin1Char('/') + parts.join(QLatin1Char('/')) + QLatin1Char('/');
}

QString local(const QString& root, const QStringList& parts)
{
    if (parts.isEmpty())
        return root;
    QString base = root;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + parts.join(QLatin1Char('/'));
}

} // namespace FtpPath

namespace {

QStringList folderForms(const QString& folder)
{
    QStringList forms { QDir::cleanPath(folder) };
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (!canonical.isEmpty() && canonical != forms.front())
        forms.append(canonical);
    return forms;
}

} // namespace

FtpHiddenFiles::FtpHiddenFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        const QFileInfo info(QDir::cleanPath(path));
        Rule rule;
        rule.folders = folderForms(info.path());
        rule.name = QRegularExpression(QRegularExpression::wildcardToRegularExpression(info.fileName()),
            QRegularExpression::CaseInsensitiveOption);
        m_rules.append(rule);
    }
}

bool FtpHiddenFiles::contains(const QString& localPath) const
{
    if (m_rules.isEmpty())
        return false;
    const QFileInfo info(QDir::cleanPath(localPath));
    const QString name = info.fileName();
    QStringList folders;
    for (const Rule& rule : m_rules) {
        if (!rule.name.match(name).hasMatch())
            continue;
        if (folders.isEmpty())
            folders = folderForms(info.path());
        for (const QString& folder : folders)
            if (rule.folders.contains(folder))
                return true;
    }
    return false;
}

bool FtpHiddenFiles::within(const QString& folder) const
{
    for (QString form : folderForms(folder)) {
        if (!form.endsWith(QLatin1Char('/')))
            form += QLatin1Char('/');
        for (const Rule& rule : m_rules)
            for (const QString& hidden : rule.folders)
                if (QString(hidden + QLatin1Char('/')).startsWith(form))
                    return true;
    }
    return false;
}
