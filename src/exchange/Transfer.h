#pragma once

#include "UserSettings.h"

#include <QString>

#include <functional>

// Moving files between the work folder and an exchange folder on the terminal (the local folder
// channel and the FTP server's folders). Nothing half-written is ever seen under a final name:
// a copy lands under a unique temporary name beside its target, is flushed and renamed in place.

using ProgressFn = std::function<void(qint64 done, qint64 total)>;

// Two folder names for the same folder (trailing "/", ".", symbolic links): compared as canonical
// paths. A folder that does not exist equals nothing.
bool sameFolder(const QString& a, const QString& b);

enum class CopyOutcome {
    Copied, // target replaced by a complete copy
    SameFile, // source and target are one file: nothing to do, counts as done
    NoSource, // source missing (or not a regular file)
    Failed // read, write, flush or rename failed; the target is as it was
};
// Copies in chunks with progress; the previous target is replaced only by the complete copy.
CopyOutcome copyFileSafely(const QString& source, const QString& target, const ProgressFn& progress = {});

// The name with its last character replaced by "o" (x.tvr -> x.tvo).
QString renamedToO(const QString& path);
// LoadAct / UnloadAct on a file: keep, delete, or rename to renamedToO() (an existing file of that
// name is deleted first). False when the delete or rename failed (logged).
bool applySourceAction(SourceAction action, const QString& path);

// The temporaries this terminal left in folder when it died mid-copy or mid-replace
// ("<name>.ortova-<T>-XXXXXX", FileIo.h) are removed; nothing else is, whatever its name. Call it
// while nothing of this terminal's is copied into that folder.
void removeStaleTemporaries(const QString& folder);

// Shared with the reduction.

// createTemporaryFile() (config), logged when the file cannot be made.
int createTemporaryBeside(const QString& path, QString& tempName);
// Renames from over to in one step and flushes the folder; false (logged) when the rename failed.
bool renameInPlace(const QString& from, const QString& to);
