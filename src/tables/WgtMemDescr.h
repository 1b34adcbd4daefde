#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// One weight-code record: the 56-byte WGT record, prefix and layout trimmed.
struct WgtRecord {
    qint32 length = 0;
    QByteArray prefix;
    QByteArray layout;
    qint32 scale = 0;
};

// The weight-code directory in memory: the rules by which a scale's label barcode is cut into a
// goods key (code or barcode) and a weight in grams.
//
// Layout language: elements of an optional count x (absent means 1) and a letter, either case:
// xS skips x characters, xA copies x characters to the goods key, xW appends x characters to the
// weight digits, Z appends as many '0' as the element before it counted (its own count is ignored,
// so a Z after a Z appends as many again).
class WgtMemDescr {
public:
    static constexpr int MaxRecords = 32;
    static constexpr qint32 RecordBytes = 56;
    // The entry line, the goods key and the weight digits hold at most this many characters.
    static constexpr int MaxText = 31;
    static constexpr int MaxScale = 9;

    // Loads the directory from the WGT table's binary file, with every run-log line; false on failure
    // (the directory then holds what the load left, empty unless all records were read).
    // A missing file loads an empty directory.
    bool load(const TableDescr& wgt, const QString& binFile);
    void clear();
    int count() const;
    const QList<WgtRecord>& records() const;
    // The run-log lines of the last load, without their line ends (the office tool shows them).
    const QList<QByteArray>& loadReport() const;

    // Tries the records in file order on text (at most 31 characters); the weight in grams of the first
    // record that applies, text replaced by the resulting goods code; -1 when none applies (text unchanged).
    // A longer text matches nothing.
    qint32 match(QByteArray& text) const;
    // One record on text: weight or -1 (text unchanged on -1). Writes the "convWgtItem" run-log line.
    // A record applies only when its counts are at most 31 and its scale 0 to 9, it reads no
    // character beyond the text, yields a non-empty goods key of at most 31 characters and a weight
    // that fits a 32-bit quantity.
    static qint32 apply(QByteArray& text, const WgtRecord& record);
    // Whether any barcode at all can match the record: its layout parses (counts and the letters
    // S, A, W, Z, no count without a letter), gives a goods key and fits the length and prefix.
    static bool canMatch(const WgtRecord& record);

    // Whether the table's fields lie exactly where the 56-byte record has them: an INTEGER at 0
    // (length), TEXT of width 16 at 4 (prefix), TEXT of width 32 at 20 (layout), an INTEGER at 52
    // (scale). Field names do not matter.
    static bool descriptorFits(const TableDescr& wgt);
    // The record held by the first 56 bytes of bytes (prefix and layout cut at a NUL, trimmed).
    static WgtRecord fromBytes(const QByteArray& bytes);

private:
    void report(const QByteArray& line);

    QList<WgtRecord> m_records;
    QList<QByteArray> m_report;
};
