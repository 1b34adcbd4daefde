#pragma once

#include "TableDescr.h"

#include <QByteArray>

// The single way the program turns text into field bytes and back.

// Trims the value, checks it against the field type and writes exactly the field's width at
// its offset in record (record must be at least offset + width long). On failure the record is
// left as it was.
bool textToField(const FieldDescr& field, const QByteArray& value, QByteArray& record);
// Same, into a bare buffer of the field's width (used for search keys).
bool textToFieldBytes(const FieldDescr& field, const QByteArray& value, QByteArray& fieldBytes);
// The field's text under its length rule (STANDART, MINIMAL, MAXLEN).
QByteArray fieldToText(const FieldDescr& field, const QByteArray& record);

// A record of the table's length filled with every field's default.
QByteArray defaultRecord(const TableDescr& table);

// Splits a text line at the tab character into the record. Returns -1 when every field converted,
// else the index of the first field that failed (its text in *badText when given).
int lineToRecord(const TableDescr& table, const QByteArray& line, QByteArray& record, QByteArray* badText = nullptr);
// The formatted fields joined by the tab character, followed by "\r\n".
QByteArray recordToLine(const TableDescr& table, const QByteArray& record);

// A field whose offset and width agree with its type (fixed types: 4 or 6 bytes).
bool fieldLayoutOk(const FieldDescr& field);
// Every field is sound and lies inside a record of positive length; the buffer forms below rely
// on this, so their callers check it once per table.
bool tableLayoutOk(const TableDescr& table);

// Buffer forms of the same rules for the conversion loops (no allocation per field).

// Converts value[0..size) into dest, which points at the field's own bytes (width of them).
bool textToFieldRaw(const FieldDescr& field, const char* value, qsizetype size, char* dest);
// Appends the text of the field whose bytes start at fieldBytes (width of them).
void appendFieldText(const FieldDescr& field, const char* fieldBytes, QByteArray& out);
// line[0..size) into record (recordLength bytes). -1 on success, else the failing field's index
// with its item text at line[*badBegin .. *badBegin + *badSize).
int lineToRecordRaw(
    const TableDescr& table, const char* line, qsizetype size, char* record, qsizetype* badBegin, qsizetype* badSize);
// The same for the head of a line too long to be held whole: the line converts (-1) only when
// every field's item ends inside the head; otherwise the first bad whole item or, failing that,
// the item the head ends in is the failing one.
int cutLineToRecordRaw(
    const TableDescr& table, const char* head, qsizetype size, char* record, qsizetype* badBegin, qsizetype* badSize);
// Appends recordToLine() of the record (recordLength bytes).
void appendRecordLine(const TableDescr& table, const char* record, QByteArray& out);

// True when what the field's length rule writes converts back to the same field bytes; false
// for rules whose text the conversion refuses (SUMMA under MINIMAL: "5.5") or reads as another
// value (DIGIT under MAXLEN: leading zeros).
bool ruleReadsBack(const FieldDescr& field);
