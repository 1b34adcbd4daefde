#pragma once

#include "TableDescr.h"

#include <QByteArray>

// The single way the program turns text into field bytes and back.

// Trims the value, checks it against the field type and writes exactly the field's width at
// its offset in record (record must be at least offset + width long). On failure the record is
// left as it was.
bool textToField(const FieldDescr &field, const QByteArray &value, QByteArray &record);
// Same, into a bare buffer of the field's width (used for search keys).
bool textToFieldBytes(const FieldDescr &field, const QByteArray &value, QByteArray &fieldBytes);
// The field's text under its length rule (STANDART, MINIMAL, MAXLEN).
QByteArray fieldToText(const FieldDescr &field, const QByteArray &record);

// A record of the table's length filled with every field's default.
QByteArray defaultRecord(const TableDescr &table);

// Splits a text line at the tab character into the record. Returns -1 when every field converted,
// else the index of the first field that failed (its text in *badText when given).
int lineToRecord(const TableDescr &table, const QByteArray &line, QByteArray &record, QByteArray *badText = nullptr);
// The formatted fields joined by the tab character, followed by "\r\n".
QByteArray recordToLine(const TableDescr &table, const QByteArray &record);
