#include "TableFiles.h"

#include "Codec.h"

#include <QDir>
#include <QFileInfo>
#include <QStringBuilder>

namespace {

QString lowerExtension(const TableDescr& table)
{
    return toUi(table.extension).toLower();
}

} // namespace

QString textFileName(const TableDescr& table)
{
    return toUi(table.workName) % QLatin1Char('.') % lowerExtension(table);
}

QString binFileName(const TableDescr& table)
{
    return toUi(table.workName) % QLatin1Char('_') % lowerExtension(table) % QLatin1String(".bin");
}

QString textFileNameResettingPname(TableDescr& table)
{
    const qsizetype blank = table.pname.indexOf(' ');
    if (blank >= 0)
        table.pname.truncate(blank);
    return textFileName(table);
}

QString textToBinName(const QString& textName)
{
    if (textName.size() < 4)
        return QString();
    return textName.left(textName.size() - 4) % QLatin1Char('_') % textName.right(3) % QLatin1String(".BIN");
}

QString binToTextName(const QString& binName)
{
    if (binName.size() < 8)
        return QString();
    return binName.left(binName.size() - 8) % QLatin1Char('.') % binName.mid(binName.size() - 7, 3);
}

QString changeMarkerName(const QString& binName)
{
    if (binName.size() < 3)
        return QString();
    return binName.left(binName.size() - 3) % QLatin1String("chg");
}

QByteArray numberedCopyName(const QByteArray& workName, const QByteArray& number, DocKind kind)
{
    return workName + number + docKindBinEnding(kind);
}

QString resolveFileCase(const QString& path)
{
    if (path.isEmpty() || QFileInfo::exists(path))
        return path;
    const QFileInfo info(path);
    const QString wanted = info.fileName();
    const QDir folder = info.dir();
    const QStringList entries = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        if (entry.compare(wanted, Qt::CaseInsensitive) == 0)
            return path.left(path.size() - wanted.size()) + entry;
    return path;
}
