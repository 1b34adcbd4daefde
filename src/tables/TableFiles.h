#pragma once

#include "DocKind.h"
#include "TableDescr.h"

#include <QByteArray>
#include <QString>

// How the files of a table are named: the text file the office exchanges, the binary table the
// terminal works on and the change marker beside it. Names only; nothing here reads or writes.

// File names of a table: "<workName>.tvr", "<workName>_tvr.bin" (lower-case extension).
QString textFileName(const TableDescr& table);
QString binFileName(const TableDescr& table);
// textFileName() as the exchange builds it: the display name loses any suffix after its first
// blank at the same time.
QString textFileNameResettingPname(TableDescr& table);
// Listing-name conversions: GOODS.tvr -> GOODS_tvr.BIN, GOODS_tvr.BIN -> GOODS.tvr,
// GOODS_tvr.bin -> GOODS_tvr.chg. Names too short for the rule give an empty name.
QString textToBinName(const QString& textName);
QString binToTextName(const QString& binName);
QString changeMarkerName(const QString& binName);
// The binary table of a numbered copy of a kind's table, as listed: "<workName><number>_TVR.BIN".
QByteArray numberedCopyName(const QByteArray& workName, const QByteArray& number, DocKind kind);

// The office names files as it likes ("TOVAR.TVR", "tovar.tvr"): the existing file that path names
// when letter case is ignored in its last part (Windows-1251 letters included). path itself when
// it exists or when nothing matches, so a new file gets the name as built.
QString resolveFileCase(const QString& path);
