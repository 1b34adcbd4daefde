#pragma once

// The scripted day of the crash battery, shared by the day program (which is killed) and the
// battery (which checks what the next start finds): the folders, the order of the steps, what each
// step books, converts, loads or saves, and the lines the day program prints once a step is done.

#include <QByteArray>
#include <QDir>
#include <QString>

namespace CrashDay {

enum class Step { Book, Convert, Load, Unload, Save };

// A day is a cycle of ten steps, numbered on from one run of the day program to the next.
inline Step stepAt(qint64 k)
{
    static const Step cycle[] = { Step::Book, Step::Book, Step::Convert, Step::Book, Step::Load, Step::Book,
        Step::Unload, Step::Book, Step::Save, Step::Book };
    return cycle[k % 10];
}

// Each directory comes in three versions, so that two conversions in a row always differ.
constexpr int Versions = 3;
inline int convertVersion(qint64 k)
{
    return int(k / 10 % Versions);
}
inline int loadVersion(qint64 k)
{
    return int((k / 10 + 1) % Versions);
}

// Bookings: forty goods codes in turn, a quarter to a whole unit at a time (thousandths).
constexpr int Codes = 40;
inline QByteArray bookedCode(qint64 k)
{
    return QByteArray::number(100001 + k * 7 % Codes);
}
inline qint32 bookedQuantity(qint64 k)
{
    return qint32(250 * (1 + k % 4));
}
inline QByteArray barOf(const QByteArray& code)
{
    return "4600000" + code;
}

// The settings save changes the FTP client's user name, so the battery can tell which save it sees.
inline QByteArray userNameOf(qint64 k)
{
    return "u" + QByteArray::number(k);
}

struct Folders {
    QString root;
    QString app() const { return QDir(root).filePath(QStringLiteral("app")); }
    QString work() const { return QDir(root).filePath(QStringLiteral("work")); }
    QString officeIn() const { return QDir(root).filePath(QStringLiteral("office/in")); }
    QString officeOut() const { return QDir(root).filePath(QStringLiteral("office/out")); }
    QString texts() const { return QDir(root).filePath(QStringLiteral("texts")); }
    QString goodsText(int version) const { return QDir(texts()).filePath(QStringLiteral("goods-%1.tvr").arg(version)); }
    QString receiptText(int version) const
    {
        return QDir(texts()).filePath(QStringLiteral("receipt-%1.prh").arg(version));
    }
};

// A goods or receipt directory as the office writes it (CODE;BAR;NAME;PRICE;REST, Windows-1251,
// CR LF); versions differ in length and content. The booked codes are in every version.
inline QByteArray directoryText(int version, int lines, const char* word)
{
    QByteArray out;
    for (int i = 0; i < lines + 700 * version; ++i) {
        const QByteArray code = QByteArray::number(100001 + i);
        out += code + ';' + barOf(code) + ';' + word + ' ' + QByteArray::number(i) + " v" + QByteArray::number(version)
            + ';' + QByteArray::number(10 + (i * 37 + version) % 900) + ".50;" + QByteArray::number(i % 7) + ".000\r\n";
    }
    return out;
}

} // namespace CrashDay
