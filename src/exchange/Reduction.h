#pragma once

#include "TableDescr.h"

#include <QString>

class ConvFile;

// The two steps of the exchange that change a file's form, on a ConvFile whose progress the
// exchange window shows. Type codes: 1 goods, 2 receipt document, 3 results, 4 weight codes.

enum class ReduceResult {
    Ok, // the table was replaced by the converted text (bad lines, if any, were skipped and logged)
    BadLines, // replaced, but some lines did not convert
    Failed, // the old table and its index files are as they were (file error, or not one line converted)
    Empty // the text file is empty: nothing to reduce
};
// Text -> binary table. The table is replaced only when the new one is complete. After goods the
// index files are rebuilt; after weight codes the directory must also load as weight codes
// (a failure there is Failed and the old table stays). Sets table.recordCount.
ReduceResult reduceText(
    ConvFile& conv, int typeCode, const QString& textFile, const QString& binFile, TableDescr& table);

// Binary table -> text file for delivery; false on any failure.
bool convertForUnload(ConvFile& conv, const QString& binFile, const QString& textFile, const TableDescr& table);
