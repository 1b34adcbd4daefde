#include "Codec.h"

#include <QTextCodec>

QTextCodec* cp1251()
{
    static QTextCodec* codec = QTextCodec::codecForName("Windows-1251");
    return codec;
}

QString toUi(const QByteArray& bytes)
{
    return cp1251()->toUnicode(bytes);
}

QByteArray fromUi(const QString& text)
{
    return cp1251()->fromUnicode(text);
}

bool installCp1251AsLocale()
{
    QTextCodec* codec = cp1251();
    if (!codec)
        return false;
    QTextCodec::setCodecForLocale(codec);
    return true;
}
