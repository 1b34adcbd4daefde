#pragma once

#include <QString>

#include <functional>

struct TableDescr;

// Spreadsheet files (CSV) and the terminal's tables, for the office tool: an export from an
// accounting program or a spreadsheet becomes a text directory the terminal converts, and a
// binary table becomes a CSV file a spreadsheet opens.

enum class CsvEncoding { Utf8, Windows1251 };

struct CsvImportOptions {
    // "FIELD=COLUMN,...": a column by its header name or its number from 1. Empty: the header
    // names the fields, or without a header the columns follow the table's fields in order.
    QString map;
    bool header = false; // the first row names the columns
    char delimiter = 0; // 0: the more frequent of ';' and ',' in the first row
    CsvEncoding encoding = CsvEncoding::Utf8;
};

// Where the commands print: report lines (bad rows, the summary) and error messages.
struct CsvOutput {
    std::function<void(const QString&)> out;
    std::function<void(const QString&)> err;
};

// Reads the --delimiter ("," ";" "tab" or any one character) and --encoding (utf-8,
// windows-1251) values into options; empty when they are accepted, else the reason.
QString setCsvOptions(const QString& delimiter, const QString& encoding, CsvImportOptions& options);

// CSV -> the table's text file. Every value is checked with the terminal's own field converters
// after a spreadsheet's ways are undone (decimal comma, group blanks, four-digit years); a bad row
// is reported as "строка N поле M "text": reason" with N the row as a spreadsheet numbers it and
// M the column. The text file is replaced only when every row converted, through a temporary
// beside it. Returns the office tool's exit code: 0 written, 1 bad rows (nothing written),
// 2 a settings, mapping or file error.
int importCsv(const TableDescr& table, const CsvImportOptions& options, const QString& csvFile, const QString& textFile,
    const CsvOutput& output);

// Binary table -> UTF-8 CSV (with a byte-order mark, comma-separated, CR LF): a header row of
// field names, then one row per whole record; amounts and quantities with a decimal point and
// all their decimals, texts without padding, quoted only where needed. Written through a
// temporary beside csvFile. Returns 0 written or 2 an error.
int exportCsv(const TableDescr& table, const QString& binFile, const QString& csvFile, const CsvOutput& output);
