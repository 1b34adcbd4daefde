#pragma once

#include "TableDescr.h"

#include <QString>

class ConvFile;

// The two steps of the exchange that change a file's form, on a ConvFile whose progress the
// exchange window shows.

enum class ReduceResult {
    Ok, // the table was replaced by the converted text (bad lines, if any, were skipped and logged)
    BadLines, // replaced, but some lines did not convert
    Failed, // the old table and its index files are as they were (file error, or not one line converted)
    Empty // the text file is empty: nothing to reduce
};
// Text -> binary table of the kind stored as typeCode (DocKind.h); a code that is no kind keeps the
// old table. The new table is written beside the old one and replaces it only when it
// is complete and holds at least one record; weight codes must also load as weight codes. Else
// Failed, and the old table and its index files stay. After goods the index files are rebuilt;
// the replaced table's change marker is removed (the office's table holds no unsent changes).
// Sets table.recordCount (the old table's count when nothing was replaced).
ReduceResult reduceText(
    ConvFile& conv, int typeCode, const QString& textFile, const QString& binFile, TableDescr& table);

// Binary table -> text file for delivery; false on any failure.
bool convertForUnload(ConvFile& conv, const QString& binFile, const QString& textFile, const TableDescr& table);
