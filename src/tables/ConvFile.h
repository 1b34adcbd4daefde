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
    // is skipped (run-log line "строка N поле M "text"") and makes the result false. The table's
    // record count is set to the records written. The old table is replaced only when the new one
    // is completely written; a missing or unreadable text file leaves it untouched.
    bool ConvertToBin(const QString& textFile, const QString& binFile, TableDescr& table);
    // The same, telling bad lines apart from file errors.
    Status convertToBin(const QString& textFile, const QString& binFile, TableDescr& table);
    // Binary table -> text file, one line per whole record; the previous text file is kept as
    // "<text file>.old". False on any failure; the lines written before a read error stay.
    bool ConvertToTxt(const QString& binFile, const QString& textFile, const TableDescr& table);

    // Converts as ConvertToBin does and writes nothing. good and bad count the lines.
    Status checkText(const QString& textFile, const TableDescr& table, qint64& good, qint64& bad);

    // Receives every bad-line report as it is written to the run log (the office tool prints them).
    void setBadLineHandler(std::function<void(const QByteArray&)> handler);

signals:
    void dataTransferProgress(qint64 done, qint64 total);

private:
    Status openText(const QString& textFile, QFile& file);
    Status convertLines(QFile& file, const TableDescr& table, const std::function<bool(const char* record)>& sink,
        qint64& good, qint64& bad);

    std::function<void(const QByteArray&)> m_badLine;
};
