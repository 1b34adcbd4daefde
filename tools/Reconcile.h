#pragma once

#include "OfficeCsv.h"

#include <QList>
#include <QString>

struct TableDescr;

// The office's close of a stock-take: the counts of several terminals' result tables summed per
// goods item and set against the book (the goods directory's quantities, or a receipt's), written
// as a variance report in Excel (.xlsx) or CSV. Quantities are kept in thousandths and amounts in
// kopecks, as whole numbers, from the tables to the report.

struct ReconcileResult {
    QString file; // binary ("*_res.bin") or text table
    QString label; // the heading "Факт <label>"
};

struct ReconcileRequest {
    const TableDescr* book = nullptr; // the goods (TVR) or receipt (PRH) table
    QString bookFile; // binary ("*_tvr.bin", "*_prh.bin") or text
    const TableDescr* results = nullptr; // the result table (RES)
    QList<ReconcileResult> sources; // in the order their columns appear
    QString report; // ".xlsx" or ".csv"
    CsvDialect dialect;
};

// The label of a result file when none is given: its name without extension (and without the
// "_res" of a binary table's name), or, for names that repeat, its folder's name.
QList<QString> defaultLabels(const QList<QString>& files);

// Reads the book and every result, and only when all of them read writes the report (through a
// temporary beside it). Returns the office tool's exit code: 0 written, 1 bad lines in a text
// table (printed; nothing written), 2 a file that cannot be read or written, or a table that
// lacks the fields a report needs.
int reconcile(const ReconcileRequest& request, const CsvOutput& output);

// value of quantity (thousandths) at price (kopecks), in kopecks, rounded half away from zero.
qint64 amountOf(qint64 quantity, qint64 price);
