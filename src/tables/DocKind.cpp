#include "DocKind.h"

#include "Codec.h"

#include <QString>

std::optional<DocKind> docKindOf(qint32 code)
{
    if (code < docKindCode(DocKind::Goods) || code > docKindCode(DocKind::WeightCodes))
        return std::nullopt;
    return static_cast<DocKind>(code);
}

QByteArray docKindExtension(DocKind kind)
{
    switch (kind) {
    case DocKind::Goods:
        return QByteArrayLiteral("TVR");
    case DocKind::Receipt:
        return QByteArrayLiteral("PRH");
    case DocKind::Results:
        return QByteArrayLiteral("RES");
    case DocKind::WeightCodes:
        return QByteArrayLiteral("WGT");
    }
    return QByteArray();
}

std::optional<DocKind> docKindOfExtension(const QByteArray& extension)
{
    const QByteArray wanted = extension.toUpper();
    for (qint32 code = docKindCode(DocKind::Goods); code <= docKindCode(DocKind::WeightCodes); ++code) {
        const DocKind kind = static_cast<DocKind>(code);
        if (docKindExtension(kind) == wanted)
            return kind;
    }
    return std::nullopt;
}

QByteArray docKindBinEnding(DocKind kind)
{
    const QByteArray extension = docKindExtension(kind);
    return extension.isEmpty() ? QByteArray() : '_' + extension + ".BIN";
}

QByteArray docKindWord(DocKind kind)
{
    switch (kind) {
    case DocKind::Goods:
        return fromUi(QStringLiteral("Товары"));
    case DocKind::Receipt:
        return fromUi(QStringLiteral("Приход"));
    case DocKind::Results:
        return fromUi(QStringLiteral("Остатки"));
    case DocKind::WeightCodes:
        return fromUi(QStringLiteral("Весовые ШК"));
    }
    return QByteArray();
}
