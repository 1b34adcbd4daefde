#pragma once

#include "FtpClient.h"
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

// A name from outside (a list row, a listed file, a configured table name) that stays inside the
// folder it is used in: not empty, no "/", "\" or "..", no control characters.
bool exchangeNameSafe(const QByteArray& name);

// The list table must describe NAME, SPTYPE, TYPE, NUMBER and FLAG; the list text and the binary
// list table are the TAB descriptor's files in the current (work) folder. Lines are those of the
// numbered-copy lists: name, word, type, number ("Б/Н" when none), records, date, time, flag.

// The load list from the files of an exchange folder: results, receipt (receipt mode) or goods,
// and weight codes (".RES", ".PRH" or ".TVR", ".WGT", any letter case). Names that are not safe,
// that Windows-1251 cannot spell, that hold the list separator or outer blanks, or that are longer
// than the list's NAME field are left out (never cut), each with a run-log line. False (logged)
// when the folder is missing or the list cannot be written.
bool buildLoadList(const QString& folder, TableDescr& tab, bool receiptMode, bool enCaseChanged);
// The two halves of buildLoadList: the lines of the folder's files, and the list written from
// lines (text in the work folder, converted to the binary list table).
bool loadListLines(
    const QString& folder, const TableDescr& tab, bool receiptMode, bool enCaseChanged, QByteArray& lines);
bool writeLoadList(const QByteArray& lines, TableDescr& tab);
// The load-list line of one entry of an office server's listing: goods, receipt and weight-code
// files (".TVR", ".PRH", ".WGT"), the number being what follows the name's first five characters.
// Empty for other entries and for names that cannot go into the list whole (logged).
QByteArray remoteListLine(const UrlInfo& info, const TableDescr& tab);
// The unload list from the work folder's own tables: with numbered copies every matching binary
// table, else one line for each current table (results; receipt or goods; weight codes) that is
// described and exists. FLAG is pre-set to "+" when enCaseChanged and the table's change marker
// exists (text files never have one, so the load list's flags start blank). Names are checked as
// for the load list.
bool buildUnloadList(TableDescr& tab, bool receiptMode, bool enOnDocument, bool enCaseChanged);
// The selection of a load without the document list: receipt document (receipt mode) or goods,
// then weight codes, by their descriptors' text names; tables without a description or with an
// unsafe name are left out (logged).
QList<SelectionEntry> fixedLoadSelection(bool receiptMode);
// Toggles the mark of a row of the binary list table; false when it cannot be read or written.
bool toggleMark(TableDescr& tab, qint32 row);
// The marked rows, in list order, at most MaxSelection; more marked rows set overflow. A TYPE
// outside 0..4 or a name that would leave the folder is skipped and logged. False when the list
// cannot be read.
bool readSelection(const TableDescr& tab, QList<SelectionEntry>& entries, bool& overflow);
// The exchange's own files in the work folder once the exchange menu is left: the list (text,
// binary table and change marker) and, when textsAreOurs, the text files of the four directories.
void removeExchangeLeftovers(const QString& work, bool textsAreOurs);

// The table of a directory type code (1 goods, 2 receipt, 3 results, 4 weight codes); null for
// other codes.
TableDescr* directoryTable(qint32 type);
// A described table: a record layout and a name to build file names from.
bool tableDescribed(const TableDescr* table);

// The files of one selected entry: its name in the office folder, the text file in the work
// folder and the binary table (for any other document, the file itself).
struct EntryFiles {
    QByteArray name;
    QString transfer;
    QString bin;
};
// Load: the office's name as listed, its text copy in the work folder and the table it makes (a
// table's own directory makes the table under the name the rest of the program builds). Unload:
// the table as listed and the text made from it, delivered under the text's name. False when the
// entry cannot be exchanged: no name, or a directory whose table is not described.
bool entryFiles(
    const SelectionEntry& entry, const TableDescr* table, bool load, const QString& work, EntryFiles& files);

// The document list's table (TAB) and the view it is chosen in ("ЗАГРУЗКА", else "ПРОСМОТР").
TableDescr* exchangeListTable();
ViewDescr* exchangeListView();
// Whether the list's table and view are described with the fields the exchange reads.
bool exchangeListReady();
