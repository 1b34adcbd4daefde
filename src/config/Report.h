#pragma once

#include <QByteArray>
#include <QtGlobal>

// Texts from files are echoed into reports (run log, exchange log, the office tool) at most this
// long: one bad field of hundreds of megabytes must not become a report of the same size.
constexpr qsizetype ReportTextMax = 64;

// The text as a report shows it: at most ReportTextMax bytes, followed by "..." when it was cut.
QByteArray reportText(const QByteArray& text);
// The report line of a bad item, "строка <line> поле <field> "<text>"" in Windows-1251, numbers
// as shown (counted from 1), the text as reportText() gives it.
QByteArray badItemLine(qint64 lineNumber, qint64 fieldNumber, const QByteArray& text);
