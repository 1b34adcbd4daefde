#pragma once

#include <QByteArray>
#include <QtGlobal>

// Amounts are signed 32-bit hundredths, quantities and weights signed 32-bit thousandths.
// These are the single text rules for both; the field converters and the settings use them.

// "[0-9]+\.[0-9]{2}" exactly, to hundredths. Returns false (and leaves out alone) otherwise,
// also when the value does not fit 32 bits.
bool parseSumma(const QByteArray& text, qint32& out);
// "\d+\.?\d*" exactly with at most three digits after the point, to thousandths; false otherwise.
bool parseQuantity(const QByteArray& text, qint32& out);
// The quantity text parser of data entry: thousandths, or -1 when the text is not a quantity.
qint32 quantityOrMinusOne(const QByteArray& text);
// An amount or a quantity as the operator typed it, with a decimal comma read as the point (the
// terminal's Russian keypad has only the comma): "2,5" -> "2.5". Files keep their own rule.
QByteArray typedDecimal(const QByteArray& text);

// 1250 -> "12.50", 5 -> "0.05"; a negative value keeps its sign before the integer part.
QByteArray formatSumma(qint32 hundredths);
// 1500 -> "1.500", 125 -> "0.125".
QByteArray formatQuantity(qint32 thousandths);
// Trailing '0's (never the first character) and then a trailing '.' removed: "12.50" -> "12.5".
QByteArray minimalDecimal(const QByteArray& text);
