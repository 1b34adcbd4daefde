#pragma once

#include "SortedPages.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// Sorted key files ("Bar.sorted.ndx", "Code.sorted.ndx"): the (key, record number) pairs of one key
// column of the goods table, ordered by key bytes and then by record number, so that the first
// pair of a key names the lowest record holding it. The file is a row of 4096-byte pages: a header
// page that identifies the goods table it was built from (size, inode, modification and change
// times, a checksum of sampled blocks, record length, key position) and the "Bar.ndx" /
// "Code.ndx" it goes with, then leaf pages of pairs, then pages of separator keys up to a single
// root page. Every page ends in a checksum of itself, its place in the file and the header's key
// column and identities. A lookup reads the header, one page per level and the goods record (a few
// page reads at any size), and trusts the file only while the goods table and the index file are
// the ones it was built from; otherwise it reports the file unusable and the caller scans as before.

struct KeyIndexFiles {
    QString goodsFile;
    qint32 recordLength = 0;
    qint32 keyOffset = 0;
    qint32 keyWidth = 0;
    QString indexFile; // the key column in goods order ("Bar.ndx"); the sorted file follows it
    QString sortedFile;
};

// "Bar.ndx" -> "Bar.sorted.ndx", in the same folder.
QString sortedIndexFileName(const QString& indexFile);

// Keys wider than this are left to the index files (a page must hold several of them).
constexpr qint32 SortedKeyMaxWidth = sortedpages::MaxKeyWidth;
// A goods table modified less than this before a build may still change within the same tick of
// the file system's clock unseen; a file built then is trusted only by the process that built it.
constexpr qint64 SortedRacyNs = 3000000000LL;

enum class KeyLookup {
    Found, // record number and record set; the goods record holds the key
    Absent, // the goods table holds no record with the key
    Unusable, // missing, stale or damaged: nothing can be concluded
};

// Looks key (the field's width in bytes) up through the sorted file.
KeyLookup lookupSortedIndex(const KeyIndexFiles& files, const QByteArray& key, qint32& recordNo, QByteArray& record);

// Whether the sorted file exists and may be trusted for the goods table as it is now.
bool sortedIndexUsable(const KeyIndexFiles& files);

enum class IndexFileTrust {
    Trusted, // the index file is known to hold the goods key column
    Compare, // compare it with the goods table while reading; a stale one stops the build
};

enum class SortedBuild { Built, IndexFileStale, Failed };

// Builds the sorted file from one read of the goods table and writes it through ReplaceFile.
// IndexFileStale: the index file is missing or differs from the key column, so the sorted file
// (which vouches for both) is not written. Failed: unreadable goods, a write that failed, or a goods
// table that changed while it was read.
SortedBuild buildSortedIndex(const KeyIndexFiles& files, IndexFileTrust trust);

struct SortedJob {
    KeyIndexFiles files;
    IndexFileTrust trust = IndexFileTrust::Compare;
    SortedBuild result = SortedBuild::Failed; // set by buildSortedIndexes()
};
// The same for several keys of one goods table, read once for all of them.
void buildSortedIndexes(QList<SortedJob>& jobs);

// Where the goods table is sampled for the header's checksum: offsets of four blocks of 4096 bytes
// spread over it, first and last included (the whole table when it is smaller than that). Few, so
// that the first lookup of a run costs few reads from the disk.
QList<qint64> goodsSampleOffsets(qint64 goodsSize);
