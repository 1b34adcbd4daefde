#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>

#include <functional>

// Text directory <-> binary table. Both directions read and write in large chunks, so memory
// use does not grow with the file, and report progress through dataTransferProgress().
class ConvFile : public QObject {
    Q_OBJECT

public:
    enum class Status { Ok, BadLines, FileError };

    explicit ConvFile(QObject* parent = nullptr);

    // Text file -> binary table. Every line that converts becomes a record; a line with a bad value
    // is skipped (run-log line "строка N поле M "text"", the text cut to a report's length) and
    // makes the result false, and so does a line longer than a reader holds (8 MB) unless all its
    // fields lie before that. The table's record count is set to the records written. The old
    // table is replaced only when the new one is completely written; a missing or unreadable text
    // file, or a text file that is the table itself, leaves it untouched.
    bool ConvertToBin(const QString& textFile, const QString& binFile, TableDescr& table);
    // The same, telling bad lines apart from file errors.
    Status convertToBin(const QString& textFile, const QString& binFile, TableDescr& table);
    // Binary table -> text file, one line per whole record; the previous text file is kept as
    // "<text file>.old". The new text is written beside the old one and renamed into place, so
    // the text file is always a whole one. False on any failure (and when both are the same
    // file); after a read error the lines read before it replace the text.
    bool ConvertToTxt(const QString& binFile, const QString& textFile, const TableDescr& table);

    // Converts as ConvertToBin does and writes nothing. good and bad count the lines.
    Status checkText(const QString& textFile, const TableDescr& table, qint64& good, qint64& bad);

    // A record that converted, with its line (without the line end; the head of a line too long to
    // hold) and the line's number from 1. Returning false stops the reading.
    using RecordSink = std::function<bool(const char* record, const char* line, qsizetype size, qint64 lineNumber)>;
    // Converts as checkText does and hands every record that converted to sink; bad lines are
    // reported as there. A sink that stops the reading makes the result FileError.
    Status readText(
        const QString& textFile, const TableDescr& table, const RecordSink& sink, qint64& good, qint64& bad);

    // Receives every bad-line report as it is written to the run log (the office tool prints them).
    void setBadLineHandler(std::function<void(const QByteArray&)> handler);

signals:
    void dataTransferProgress(qint64 done, qint64 total);

private:
    Status openText(const QString& textFile, QFile& file);
    Status convertLines(QFile& file, const TableDescr& table, const RecordSink& sink, qint64& good, qint64& bad);

    std::function<void(const QByteArray&)> m_badLine;
};

// True when both names exist and are one file (the same path by another spelling, a symbolic
// link or a hard link).
bool sameFile(const QString& first, const QString& second);
