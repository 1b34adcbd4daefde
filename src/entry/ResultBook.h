#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// The result table while data entry books into it. The file stays open for the whole session and
// every booking goes straight to it and is flushed to stable storage before the call returns, so
// a quantity the operator has seen accepted survives a dead battery. The document totals are
// counted once when the book opens and then kept up to date on every write, so a refresh never
// rereads the whole table.
class ResultBook {
public:
    ResultBook() = default;
    ~ResultBook();
    ResultBook(const ResultBook&) = delete;
    ResultBook& operator=(const ResultBook&) = delete;

    // Opens binFile (which must exist) and counts its whole records and totals. False when it cannot
    // be opened or read; the book is closed then.
    bool open(const QString& binFile, const TableDescr& table);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    // Opens the same file again after something else replaced it (a deleted record).
    bool reload();

    qint32 count() const { return m_count; }
    // Whole record n (0 .. count - 1).
    bool read(qint32 n, QByteArray& record) const;
    // Overwrites record n, or appends when n == count, durably, after the table's change marker is
    // made (no booking without its marker). On failure nothing in memory moves on, and the file is
    // put back as it was: a failed append cuts it back to its former length.
    bool put(qint32 n, const QByteArray& record);
    // Writes the record right after the last whole one (a torn tail from a crash is overwritten).
    bool append(const QByteArray& record) { return put(m_count, record); }

    // Sum over all records of PRICE x REST / 1000, each product cut toward zero (hundredths).
    qint64 documentSum() const { return m_documentSum; }
    // Sum of REST over the records with the same BAR and CODE as record (thousandths).
    qint64 itemRest(const QByteArray& record) const;

    // REST, PRICE of a record (0 where the table lacks the field).
    qint32 rest(const QByteArray& record) const;
    qint32 price(const QByteArray& record) const;

    QString errorString() const { return m_error; }

private:
    QByteArray itemKey(const QByteArray& record) const;
    void tally(const QByteArray& record, int sign);
    bool fail(const QString& what);
    bool writeAt(qint64 offset, const char* data, qint64 size);

    QString m_file;
    TableDescr m_table;
    int m_fd = -1;
    qint32 m_count = 0;
    int m_rest = -1, m_price = -1, m_bar = -1, m_code = -1;
    qint64 m_documentSum = 0;
    QHash<QByteArray, qint64> m_itemRest;
    bool m_markerMade = false;
    QString m_error;
};
