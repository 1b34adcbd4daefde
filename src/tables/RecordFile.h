#pragma once

#include "TableDescr.h"
#include "TableFiles.h"

#include <QByteArray>
#include <QString>

// Binary tables: fixed-length records, no header. Every operation opens and closes the file, named
// by the rules of TableFiles.h (a name in other letter case finds the file as it is on the disk).

// Number of whole records in the file (size / record length); 0 when missing or length 0.
qint32 recordCountOf(const QString& binFile, const TableDescr& table);
// Reads whole record n (0 to count - 1) into record, resized to the record length.
bool readRec(const QString& binFile, const TableDescr& table, qint32 n, QByteArray& record);
// Overwrites record n (n = count appends; beyond that would leave a hole and is refused), on the
// disk (fdatasync) when it returns true; the change marker is on the disk before the record, and
// for a goods table (extension TVR) the removal of its sorted key files too. A write the file
// refuses, even in part, fails and leaves no change marker.
bool putRec(const QString& binFile, const TableDescr& table, qint32 n, const QByteArray& record);
// Appends a record right after the last whole one (a torn partial tail is overwritten), flushed
// and marked as putRec does (for goods, with the sorted key files removed first), and refreshes
// table.recordCount on success. A refused write fails, leaves no change marker and cuts off
// whatever part of the record reached the file.
bool appendRec(const QString& binFile, TableDescr& table, const QByteArray& record);
// Deletes record n, handing it back in deleted; beyond the end succeeds without change.
// The table is replaced only by an atomic rename, so any failure leaves it whole.
bool deleteRec(const QString& binFile, TableDescr& table, qint32 n, QByteArray& deleted);
// Creates the empty change marker beside the binary file when it does not exist, and flushes the
// folder so that it stays.
void touchChangeMarker(const QString& binFile);
