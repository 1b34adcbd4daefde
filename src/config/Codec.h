#pragma once

#include <QByteArray>
#include <QString>

class QTextCodec;

// The Windows-1251 codec: settings values, table records and office file names stay bytes
// and are converted only where a person sees them.
QTextCodec* cp1251();
// Windows-1251 bytes to text for the screen.
QString toUi(const QByteArray& bytes);
// Screen text to Windows-1251 bytes; characters the codepage lacks become '?'.
QByteArray fromUi(const QString& text);
// Installs Windows-1251 as the codec for locale; returns false when the codec is missing.
bool installCp1251AsLocale();
