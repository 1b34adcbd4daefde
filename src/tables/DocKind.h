#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

// The kinds of document the terminal keeps as tables, by the code each is stored under: the TYPE
// field of the document list and the file lists, and the lines of those lists. Code 0 stands for
// any other file, which has no kind.
enum class DocKind { Goods = 1, Receipt, Results, WeightCodes };

// The kind stored as code; nothing for 0 (any other file) or a code outside 1-4.
std::optional<DocKind> docKindOf(qint32 code);
// The code the kind is stored under (1-4).
constexpr qint32 docKindCode(DocKind kind)
{
    return static_cast<qint32>(kind);
}

// The extension of the kind's table description: "TVR", "PRH", "RES", "WGT".
QByteArray docKindExtension(DocKind kind);
// The kind whose table description has that extension, letter case ignored; nothing for another.
std::optional<DocKind> docKindOfExtension(const QByteArray& extension);
// How the names of the kind's binary tables end as they are listed: "_TVR.BIN", "_PRH.BIN",
// "_RES.BIN", "_WGT.BIN".
QByteArray docKindBinEnding(DocKind kind);
// The kind's word in the lists (Windows-1251): "Товары", "Приход", "Остатки", "Весовые ШК".
QByteArray docKindWord(DocKind kind);
// The functions above give an empty name for a value that is none of the four kinds.
