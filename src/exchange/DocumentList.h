#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The document list of the exchange: the auxiliary (TAB) table listing the directories that can be
// loaded or unloaded, shown in a selector where the operator marks entries (FLAG "+").

struct SelectionEntry {
    qint32 type = 0; // 0 any file, 1 goods, 2 receipt, 3 results, 4 weight codes
    QByteArray name; // file name as listed
    QByteArray number; // document number, at most 16 characters
};
constexpr int MaxSelection = 32;

// The load list from the files of an exchange folder: results, receipt (receipt mode) or goods,
// and weight codes. Names holding "/", "\" or ".." are skipped, names longer than the list's NAME
// field left out; both logged. Writes the list text and converts it to the binary list table.
bool buildLoadList(const QString& folder, TableDescr& tab, bool receiptMode, bool enCaseChanged);
// The unload list from the work folder's own tables: with numbered copies every matching binary
// table, else one line for each of the four current tables that exists, FLAG pre-set to "+" when
// enCaseChanged and the table holds unsent changes.
bool buildUnloadList(TableDescr& tab, bool receiptMode, bool enOnDocument, bool enCaseChanged);
// Toggles the mark of a row of the binary list table; false when it cannot be read or written.
bool toggleMark(TableDescr& tab, qint32 row);
// The marked rows, in list order, at most MaxSelection; more marked rows set overflow. A TYPE
// outside 0..4 or a name that would leave the folder is skipped and logged. False when the list
// cannot be read.
bool readSelection(const TableDescr& tab, QList<SelectionEntry>& entries, bool& overflow);
