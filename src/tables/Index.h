#pragma once

#include "Search.h"
#include "TableDescr.h"
#include "UserSettings.h"

#include <QByteArray>
#include <QString>

// Goods lookup through the side files "Bar.ndx" and "Code.ndx": entry i is the key field's bytes
// of goods record i, no header, goods-file order. They live beside the goods table, are built on
// first use, verified on every hit and rebuilt when found stale. Beside each of them a sorted
// copy ("Bar.sorted.ndx", KeyIndex.h) answers a lookup with a few page reads while it matches the
// goods table and the index file; otherwise the index file is scanned as before and the sorted
// copy brought up to date.

enum class KeyRole { Bar, Code };

// Index of the field that serves as the role in the goods table: "BAR" / "CODE", each standing in
// for the other when missing; -1 when the table has neither.
int keyFieldIndex(const TableDescr& goods, KeyRole role);
// "Bar.ndx" or "Code.ndx" in the goods table's folder.
QString indexFileName(const QString& goodsBinFile, KeyRole role);

// Writes the key column of every whole goods record to the index file (replacing it only when
// completely written). False when the goods file cannot be read or a write fails.
bool buildIndex(
    const QString& goodsBinFile, qint32 recordLength, const QString& indexFile, qint32 keyOffset, qint32 keyWidth);

// Indexed lookup of keyText in the role's key field: the goods record number (record copied); -1
// when the key does not convert or is longer than the field (searchKeyBytes()) or the goods table
// holds no such record; SearchFileError when the goods table cannot be opened or read. The sorted
// file answers when it can be trusted; otherwise a miss, an unverified hit or an unreadable index
// falls back to scanning the goods table, a record found that way rebuilds an index that existed
// before, and the sorted file is rebuilt beside an index file that holds the key column.
qint32 searchNdx(
    const QString& goodsBinFile, const TableDescr& goods, KeyRole role, const QByteArray& keyText, QByteArray& record);

// Start-up check of the index files: for each key of a goods table that exists, an index file
// that is missing is built now, and so is a sorted file that cannot be trusted, so the first scan
// of the day does not pay for them. An index file that is there is left alone (a stale one is found
// and rebuilt by the first lookup, and keeps its sorted file from being built until then). False
// when a build failed.
bool prepareIndexFiles(const QString& goodsBinFile, const TableDescr& goods);

struct TvrHit {
    qint32 record = -1; // record number, -1 when not found, SearchFileError when the table cannot be read
    KeyRole role = KeyRole::Code; // the key through which it was found
    int fieldIndex = -1; // that key's field in the searched table
};

// The goods lookup of data entry for text typed or scanned. Text longer than the CODE field's
// length is a barcode and is looked up by barcode only; otherwise the order decides. In receipt
// mode the document table is block-scanned and the index files are not used. Text longer than
// the key field is found nowhere; a table that cannot be read ends the lookup with
// SearchFileError.
TvrHit searchTvr(const QByteArray& text, SearchOrder order, bool receiptMode, const QString& goodsBinFile,
    const TableDescr& goods, const QString& docBinFile, const TableDescr& doc, QByteArray& record);
