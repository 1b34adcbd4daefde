#pragma once

#include <QString>
#include <QtGlobal>

// What this process knows about index files that match their goods table entry for entry: set
// when an index is built or found equal to the goods key column, and forgotten as soon as either
// file changes (every table writer here reports its writes; changes by other processes show in
// the files' device, inode, size, modification and status-change times). A miss in an index
// known fresh is a miss in the goods table too, so the goods scan can be skipped.

bool indexKnownFresh(const QString& indexFile, const QString& goodsFile, qint32 keyOffset, qint32 keyWidth);
void markIndexFresh(const QString& indexFile, const QString& goodsFile, qint32 keyOffset, qint32 keyWidth);
// Called by every writer of a table or index file.
void noteFileWritten(const QString& path);
// Forgets everything (a new run starts this way).
void forgetIndexFreshness();
