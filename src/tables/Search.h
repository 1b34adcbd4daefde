#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QString>

// What a search returns when the table file could not be opened or read: not the same as "not
// found" (-1), which means the whole file was read and no record matched.
constexpr qint32 SearchFileError = -2;

// Searches read this much at a time (at least one record): small reads keep a lookup quick on
// slow flash, and one block fits on the stack.
constexpr qint64 SearchBlockBytes = 8192;

// Block search: converts key text with the field's converter and scans from record 0. Returns the
// first matching record's number (copied into record); -1 when the key does not convert, the
// arguments are unsound, or the whole file was read without a match (a table file that does not
// exist holds no records); SearchFileError when the file exists but cannot be opened or read.
qint32 blockSearch(
    const QString& binFile, const TableDescr& table, int fieldIndex, const QByteArray& keyText, QByteArray& record);
// The same scan from startRecord, comparing keyBytes (compareWidth bytes at fieldOffset; a
// browser prefix search passes fewer bytes than the field width). Same results as blockSearch().
qint32 blockSearchFrom(const QString& binFile, qint32 recordLength, qint32 startRecord, qint32 fieldOffset,
    qint32 compareWidth, const QByteArray& keyBytes, QByteArray& record);

// A lookup key typed or scanned as field bytes: false when it does not convert or when its text
// (blanks trimmed) is longer than the field holds, so a longer key never matches a record by its
// first characters.
bool searchKeyBytes(const FieldDescr& field, const QByteArray& keyText, QByteArray& key);
