#pragma once

#include "Codec.h"
#include "DescrRegistry.h"
#include "TestUtil.h"

#include <QDir>
#include <QString>
#include <QStringList>

// What the exchange controller's suites share: the demo's office files and ways to read what an
// exchange left in a folder.
namespace ExchangeUiFx {

inline const QString DemoDir = QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo");
inline const QString DemoIn = DemoDir + QStringLiteral("/office/in");

inline TableDescr& table(const char* extension)
{
    return *descrRegistry().table(QByteArray(extension));
}

// Non-empty lines of a Windows-1251 text file, for the screen.
inline QStringList textLines(const QString& path)
{
    QStringList lines;
    for (const QByteArray& line : TestUtil::readFile(path).split('\n'))
        if (!line.trimmed().isEmpty())
            lines << toUi(line.trimmed());
    return lines;
}

inline QStringList filesIn(const QString& folder, const QString& pattern)
{
    return QDir(folder).entryList({ pattern }, QDir::Files, QDir::Name);
}

// The name of exchange log number n of terminal "01".
inline QString logName(quint64 n)
{
    return QStringLiteral("01%1.iop").arg(n, 6, 10, QLatin1Char('0'));
}

} // namespace ExchangeUiFx
