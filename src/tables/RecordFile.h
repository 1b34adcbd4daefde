#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QString>

// Binary tables: fixed-length records, no header. Every operation opens and closes the file.

// File names of a table: "<workName>.tvr", "<workName>_tvr.bin" (lower-case extension).
QString textFileName(const TableDescr& table);
QString binFileName(const TableDescr& table);
// textFileName() as the exchange builds it: the display name loses any suffix after its first
// blank at the same time.
QString textFileNameResettingPname(TableDescr& table);
// Listing-name conversions: GOODS.tvr -> GOODS_tvr.BIN, GOODS_tvr.BIN -> GOODS.tvr,
// GOODS_tvr.bin -> GOODS_tvr.chg.
QString textToBinName(const QString& textName);
QString binToTextName(const QString& binName);
QString changeMarkerName(const QString& binName);

// The office names files as it likes ("TOVAR.TVR", "tovar.tvr"): the existing file that path names
// when letter case is ignored in its last part (Windows-1251 letters included). path itself when
// it exists or when nothing matches, so a new file gets the name as built.
QString resolveFileCase(const QString& path);

// Number of whole records in the file (size / record length); 0 when missing or length 0.
qint32 recordCountOf(const QString& binFile, const TableDescr& table);
// Reads whole record n (0 to count - 1) into record, resized to the record length.
bool readRec(const QString& binFile, const TableDescr& table, qint32 n, QByteArray& record);
// Overwrites record n (n = count appends; beyond that would leave a hole and is refused), on the
// disk (fdatasync) when it returns true; the change marker is on the disk before the record. A write the file refuses,
// even in part, fails and leaves no change marker.
bool putRec(const QString& binFile, const TableDescr& table, qint32 n, const QByteArray& record);
// Appends a record right after the last whole one (a torn partial tail is overwritten), flushed
// and marked as putRec does, and refreshes table.recordCount on success. A refused write fails, leaves
// no change marker and cuts off whatever part of the record reached the file.
bool appendRec(const QString& binFile, TableDescr& table, const QByteArray& record);
// Deletes record n, handing it back in deleted; beyond the end succeeds without change.
// The table is replaced only by an atomic rename, so any failure leaves it whole.
bool deleteRec(const QString& binFile, TableDescr& table, qint32 n, QByteArray& deleted);
// Creates the empty change marker beside the binary file when it does not exist, and flushes the
// folder so that it stays.
void touchChangeMarker(const QString& binFile);
