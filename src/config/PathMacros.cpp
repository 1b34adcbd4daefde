#include "PathMacros.h"

#include "AppState.h"
#include "Codec.h"
#include "IniReader.h"

#include <QDir>
#include <QList>

namespace {

// How many TerminalNumber values may sit inside one another. A value that names TerminalNumber
// again would otherwise expand for ever; past this depth the text is left as it was written, a
// name with "<" and ">" that no folder has (never "", which would be the work folder).
constexpr int TerminalNumberNesting = 4;

} // namespace

QByteArray expandMacros(const QByteArray& text, const QByteArray& appDir, const QByteArray& terminalNumber)
{
    // Everything before a replaced span holds no "<" and no ">", so scanning again from the start
    // of the text is scanning from the replacement on: what is done is never looked at again.
    QByteArray done;
    QByteArray pending = text;
    // For each byte of pending: inside how many TerminalNumber values it came.
    QList<int> depth(pending.size(), 0);
    for (;;) {
        const qsizetype open = pending.indexOf('<');
        if (open < 0)
            break;
        // The first ">" of the text, even one before the "<": then the text stays as it is.
        const qsizetype close = pending.indexOf('>');
        if (close < 0 || close - open + 1 < 3)
            break;
        const QByteArray span = IniReader::upper(pending.mid(open, close - open + 1));
        const int level = depth[open];
        done += pending.left(open);
        pending.remove(0, close + 1);
        depth.remove(0, close + 1);
        if (span == "<APPDIRECTORY>") {
            // A folder name may hold "<" or ">" of its own: it is taken as it is.
            done += appDir;
        } else if (span == "<TERMINALNUMBER>") {
            if (level >= TerminalNumberNesting)
                return text;
            pending.prepend(terminalNumber);
            depth.insert(0, terminalNumber.size(), level + 1);
        }
    }
    return done + pending;
}

QByteArray expandMacros(const QByteArray& text)
{
    const AppState& state = appState();
    return expandMacros(text, state.appDir, state.user.programm.terminalNumber);
}

QString canFileName(const QString& root, const QString& currentDir, const QString& argument)
{
    if (argument.isEmpty())
        return root + currentDir;
    const QChar first = argument.front();
    if (first == QLatin1Char('/') || first == QLatin1Char('\\'))
        return root + argument;
    if (first == QLatin1Char('.'))
        return root + currentDir + argument;
    return root + currentDir + QLatin1Char('/') + argument;
}

QString folderSettingPath(const QByteArray& value)
{
    QString text = toUi(expandMacros(value));
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return text;
}

QString localExchangeRoot(const QByteArray& rootSetting, bool ftpServer)
{
    const AppState& state = appState();
    const QString root = folderSettingPath(rootSetting);
    if (root.isEmpty())
        return QDir::cleanPath(toUi(state.workDir));
    return QDir::cleanPath(QDir(toUi(ftpServer ? state.workDir : state.appDir)).absoluteFilePath(root));
}
