#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QString>

// What a search returns when the table file could not be opened or read: not the same as "not
// found" (-1), which means the whole file was read and no record matched.
constexpr qint32 SearchFileError = -2;

// Block search: converts key text with the field's converter; -1 when it does not convert or no
// record matches, else the first matching record's number (copied into record).
qint32 blockSearch(const QString &binFile, const TableDescr &table, int fieldIndex, const QByteArray &keyText,
                   QByteArray &record);
// The same scan from startRecord, comparing keyBytes (compareWidth bytes at fieldOffset; a
// browser prefix search passes fewer bytes than the field width).
qint32 blockSearchFrom(const QString &binFile, qint32 recordLength, qint32 startRecord, qint32 fieldOffset,
                       qint32 compareWidth, const QByteArray &keyBytes, QByteArray &record);
