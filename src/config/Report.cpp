#include "Report.h"

#include "Codec.h"

#include <QCoreApplication>

QByteArray reportText(const QByteArray& text)
{
    if (text.size() <= ReportTextMax)
        return text;
    return text.left(ReportTextMax) + "...";
}

QByteArray badItemLine(qint64 lineNumber, qint64 fieldNumber, const QByteArray& text)
{
    // The words are the settings reader's translatable texts; conversions report in the same words.
    QByteArray out = fromUi(QCoreApplication::translate("IniReader", "строка "));
    out += QByteArray::number(lineNumber);
    out += fromUi(QCoreApplication::translate("IniReader", " поле "));
    out += QByteArray::number(fieldNumber);
    out += " \"";
    out += reportText(text);
    out += '"';
    return out;
}
