#pragma once

#include "AppState.h"
#include "Codec.h"
#include "DescrRegistry.h"
#include "TestUtil.h"

#include <QDir>
#include <QFile>
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

// How many lines of the text hold more than blanks.
inline int lineCount(const QByteArray& bytes)
{
    int n = 0;
    for (const QByteArray& line : bytes.split('\n'))
        if (!line.trimmed().isEmpty())
            ++n;
    return n;
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

// A fresh run in dir: its run log, the default user settings of terminal "01", the work folder
// current, the main menu holding the gate. False when the folder cannot be made current.
inline bool startRunIn(const QString& dir)
{
    TestUtil::openRunLogIn(dir);
    AppState& state = appState();
    state.appDir = fromUi(dir);
    state.workDir = state.appDir;
    state.user = UserSettings();
    state.user.programm.terminalNumber = "01";
    state.menuGate = false;
    return QDir::setCurrent(dir);
}

// Makes the office's input and output folders and copies the demo's named office files into input.
inline bool officeFolders(const QString& input, const QString& output, std::initializer_list<const char*> demoFiles)
{
    if (!QDir().mkpath(input) || !QDir().mkpath(output))
        return false;
    for (const char* name : demoFiles)
        if (!QFile::copy(
                DemoIn + QLatin1Char('/') + QLatin1String(name), input + QLatin1Char('/') + QLatin1String(name)))
            return false;
    return true;
}

} // namespace ExchangeUiFx
