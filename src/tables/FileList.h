#pragma once

#include "DocKind.h"
#include "TableDescr.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Lists of the numbered directory files of a folder, written as the auxiliary (TAB) table's text
// and converted to its binary table for the chooser. A list holds the files of one or more
// document kinds (DocKind.h), each line with its kind's word and code.

// The list word of a stored kind code: docKindWord() of the kind; empty for 0 and unknown codes.
QByteArray fileListWord(qint32 code);

// The list lines of one kind for the files of folder: name, word, kind code, number (or "Б/Н"),
// records (size / recordLength), date, time, change flag, separated by the TAB table's tab
// character, each ending in "\r\n". workName is the kind's table working name, whose length
// marks where the number begins. A value that is no kind lists nothing; the list functions below
// then fail.
QByteArray fileListLines(const QString& folder, const TableDescr& tab, DocKind kind, const QByteArray& workName,
    qint32 recordLength, bool enCaseChanged);

// A new list (the TAB text file truncated) from the work folder, converted to the TAB binary file.
bool CreFileList(const QString& tabText, const QString& tabBin, TableDescr& tab, DocKind kind,
    const QByteArray& workName, qint32 recordLength, bool enCaseChanged);
// Appends another kind's lines to the list, then converts it.
bool AddFileList(const QString& tabText, const QString& tabBin, TableDescr& tab, DocKind kind,
    const QByteArray& workName, qint32 recordLength, bool enCaseChanged);
// The same for a folder given by the caller.
bool CreFileListDir(const QString& folder, const QString& tabText, const QString& tabBin, TableDescr& tab, DocKind kind,
    const QByteArray& workName, qint32 recordLength, bool enCaseChanged);
bool AddFileListDir(const QString& folder, const QString& tabText, const QString& tabBin, TableDescr& tab, DocKind kind,
    const QByteArray& workName, qint32 recordLength, bool enCaseChanged);

// The list's own files (text, binary table, change marker) removed.
void removeFileList(const TableDescr& tab);

// A number typed for a new numbered copy becomes part of a file name: Latin or Cyrillic letters,
// digits, "-" and "_" only, at least one.
bool validCopyNumber(const QByteArray& number);

// One line of the list read back.
struct CopyLine {
    QByteArray name; // the file, empty on a line the operator has just added
    QByteArray number;
};
// Reads line record of the list (NAME and NUMBER, trimmed); false when it cannot be read.
bool readCopyLine(const TableDescr& tab, qint32 record, CopyLine& line);
// The file of the work folder a line names: its name, or for a line the operator added the
// table's working name, the number and the kind's ending. Empty when that names no file of the
// folder (a path, or no valid number).
QByteArray copyFileName(const CopyLine& line, DocKind kind, const QByteArray& workName);
// A line to be given the number of a new copy: the field defaults, with the kind and its word.
QByteArray newCopyLine(const TableDescr& tab, DocKind kind);
// True when the copy's change marker is there: it holds changes the office has not had.
bool copyHasUnsentChanges(const QString& binFile);
// Removes a numbered copy: its binary table first, and only once that is gone its text file, its
// change marker and, for goods, the index files and their sorted copies beside it (built again on
// first use). False when the table stays; then everything stays with it, so unsent changes stay
// marked.
bool removeCopy(const QString& binFile, DocKind kind);

// The display name keeps the part before its first blank, then a blank and the suffix (an empty
// suffix leaves just that part).
void setPnameSuffix(TableDescr& table, const QByteArray& suffix);
// What follows the first blank of the display name.
QByteArray pnameSuffix(const TableDescr& table);

// The folder-check boxes, passed in so the library stays free of widgets: ask returns the index
// of the pressed button (0 first), show gets icon (1 information, 2 warning, 3 critical).
using AskFn
    = std::function<int(const QString& title, const QString& text, const QString& first, const QString& second)>;
using ShowFn = std::function<void(int icon, const QString& title, const QString& text)>;

// A folder name that can be created here: not empty, no control characters and none of <>"|?*:
// (a drive form such as "C:\" names nothing on this system). "\" counts as a separator.
bool validFolderName(const QString& path);
// True when the folder exists or was created: a wrong name shows "Папка %1.\r\nНеправильное имя.",
// a valid one asks question with "Создать" and "Выйти"; a failed creation shows "Папка не создана".
bool checkFolder(
    const QString& path, const QString& question, const QString& title, const AskFn& ask, const ShowFn& show);
