#pragma once

#include <QByteArray>
#include <QString>

// Folder settings may name the application folder and the terminal number symbolically, so one
// settings file serves several terminals; the FTP server turns a client's names into local paths.

// Replaces "<APPDIRECTORY>" (any letter case) by appDir and "<TERMINALNUMBER>" by terminalNumber;
// any other "<...>" span is removed. The application folder is inserted verbatim and never scanned
// again; a terminal number that itself holds macros is expanded a bounded number of times, and
// beyond that bound the text is returned as written: its "<" and ">" name no folder, so the folder
// counts as missing (an empty result would have been the work folder).
QByteArray expandMacros(const QByteArray& text, const QByteArray& appDir, const QByteArray& terminalNumber);
// The same with the running program's application folder and TerminalNumber.
QByteArray expandMacros(const QByteArray& text);

// A folder setting of the terminal's own side as a path: macros expanded, "\\" read as "/".
QString folderSettingPath(const QByteArray& value);
// The root of a terminal-side exchange channel (the local folder, or the folders the terminal's FTP
// server offers): an empty setting is the work folder; a relative local folder lies in the
// application folder like the program's other files, a relative FTP server root in the work
// folder. The exchange, its settings editor and the server all take it from here, so the office
// and the operator see the same files.
QString localExchangeRoot(const QByteArray& rootSetting, bool ftpServer);

// The local path for a name an FTP client sent: root + current folder (+ "/") + argument.
QString canFileName(const QString& root, const QString& currentDir, const QString& argument);
