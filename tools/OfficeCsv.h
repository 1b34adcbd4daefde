#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

struct TableDescr;

// Spreadsheet files (CSV) and the terminal's tables, for the office tool: an export from an
// accounting program or a spreadsheet becomes a text directory the terminal converts, and a
// binary table becomes a CSV file a spreadsheet opens.

enum class CsvEncoding { Utf8, Windows1251 };

struct CsvImportOptions {
    bool strict = false; // a warning (a value cut, a repeated key) fails the row like an error
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

// The codes and barcodes of a goods table's rows, to tell which rows repeat a key of an earlier
// row: data entry finds only the first of them by that key.
class KeyRepeats {
public:
    // Keeps keys only for the goods table (TVR) with a CODE or BAR field.
    explicit KeyRepeats(const TableDescr& table);
    // The keys of a converted record (the table's record length), of the row numbered so.
    void add(const char* record, qint64 row);
    struct Repeat {
        qint64 row;
        int field;
        qint64 firstRow;
    };
    // Every later row holding a key of an earlier one, in row order.
    std::vector<Repeat> repeats() const;
    // "строка N поле M: код уже в строке K (...)", M the field's column as the caller numbers it.
    static QString reportLine(const TableDescr& table, const Repeat& repeat, int column);

private:
    struct Key {
        quint64 high;
        quint64 low;
        qint64 row;
    };
    const TableDescr& m_table;
    int m_fields[2] = { -1, -1 }; // code, bar
    std::vector<Key> m_keys[2];
};

// "строка N поле M: длиннее W знаков, обрезается": a text longer than its field, which the
// terminal's conversion cuts to the field's W bytes.
QString overlongLine(qint64 row, int column, int width);

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

// How the office's CSV files are written: UTF-8 with a byte-order mark, CR LF, the separator and
// the decimal sign a spreadsheet's language expects (a Russian one: ";" and a decimal comma).
struct CsvDialect {
    char delimiter = ',';
    bool decimalComma = false;
};

// Reads --delimiter (as for import), --decimal-comma and --excel-ru (";" with decimal commas;
// it cannot be given with another separator); empty when accepted, else the reason.
QString setCsvDialect(const QString& delimiter, bool decimalComma, bool excelRu, CsvDialect& dialect);
// Appends one cell (UTF-8), quoted only where a reader needs it, without the separator.
void appendCsvCell(const QByteArray& cell, const CsvDialect& dialect, QByteArray& out);
// Appends the cell of value / 10^decimals with all its decimals in the dialect's decimal sign
// ("-1234,500"; quoted when that sign is the separator too).
void appendCsvDecimal(qint64 value, int decimals, const CsvDialect& dialect, QByteArray& out);
// The first bytes of every CSV file written: the UTF-8 byte-order mark.
QByteArray csvFileStart();

// Binary table -> CSV in the dialect: a header row of the field names (or the headings given,
// Windows-1251, one per field), then one row per whole record; amounts and quantities with all
// their decimals, texts without padding. Written through a temporary beside csvFile. Returns 0
// written or 2 an error.
int exportCsv(const TableDescr& table, const QString& binFile, const QString& csvFile, const CsvDialect& dialect,
    const QList<QByteArray>& headings, const CsvOutput& output);
