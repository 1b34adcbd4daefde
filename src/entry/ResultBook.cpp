#include "ResultBook.h"

#include "FileIo.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "TableFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

qint32 int32Field(const TableDescr& table, int field, const QByteArray& record)
{
    if (field < 0)
        return 0;
    const FieldDescr& f = table.fields[field];
    if (f.width != 4 || record.size() < f.offset + 4)
        return 0;
    return qFromLittleEndian<qint32>(record.constData() + f.offset);
}

// The numeric field of that name when it has the type given, else -1.
int numericField(const TableDescr& table, const char* name, FieldType type)
{
    const int i = table.fieldIndex(QByteArray(name));
    return i >= 0 && table.fields[i].type == type && table.fields[i].width == 4 ? i : -1;
}

} // namespace

ResultBook::~ResultBook()
{
    close();
}

bool ResultBook::fail(const QString& what)
{
    m_error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool ResultBook::open(const QString& binFile, const TableDescr& table)
{
    close();
    m_file = binFile;
    m_table = table;
    m_error.clear();
    m_rest = numericField(table, "REST", FieldType::Quantity);
    m_price = numericField(table, "PRICE", FieldType::Summa);
    m_bar = table.fieldIndex(QByteArrayLiteral("BAR"));
    m_code = table.fieldIndex(QByteArrayLiteral("CODE"));
    if (table.recordLength <= 0) {
        m_error = QStringLiteral("record length 0");
        return false;
    }
    m_fd = ::open(QFile::encodeName(binFile).constData(), O_RDWR | O_CLOEXEC);
    if (m_fd < 0)
        return fail(QStringLiteral("open"));
    struct stat st { };
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            errno = EISDIR;
        fail(QStringLiteral("stat"));
        close();
        return false;
    }
    m_count = static_cast<qint32>(qMin<qint64>(st.st_size / table.recordLength, 0x7fffffff));
    m_markerMade = QFile::exists(changeMarkerName(binFile));
    // The table may have been created just before: its name has to outlive a power loss as surely
    // as the bookings flushed into it.
    if (!syncFolder(QFileInfo(binFile).absolutePath()))
        logLine(QStringLiteral("ResultBook: folder not flushed ") + binFile);

    // One pass for the totals, a block of records at a time.
    const qint64 len = table.recordLength;
    const qint64 perBlock = qMax<qint64>(1, (256 * 1024) / len);
    QByteArray block(perBlock * len, Qt::Uninitialized);
    for (qint64 first = 0; first < m_count; first += perBlock) {
        const qint64 n = qMin<qint64>(perBlock, m_count - first);
        qint64 got = 0;
        while (got < n * len) {
            const ssize_t r = ::pread(m_fd, block.data() + got, size_t(n * len - got), off_t(first * len + got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0) {
                if (r == 0)
                    errno = EIO;
                fail(QStringLiteral("read"));
                close();
                return false;
            }
            got += r;
        }
        for (qint64 i = 0; i < n; ++i)
            tally(QByteArray::fromRawData(block.constData() + i * len, len), +1);
    }
    return true;
}

void ResultBook::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_count = 0;
    m_documentSum = 0;
    m_itemRest.clear();
}

bool ResultBook::reload()
{
    const QString file = m_file;
    const TableDescr table = m_table;
    return open(file, table);
}

bool ResultBook::read(qint32 n, QByteArray& record) const
{
    if (m_fd < 0 || n < 0 || n >= m_count)
        return false;
    const qint64 len = m_table.recordLength;
    QByteArray buffer(len, Qt::Uninitialized);
    qint64 got = 0;
    while (got < len) {
        const ssize_t r = ::pread(m_fd, buffer.data() + got, size_t(len - got), off_t(n * len + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        got += r;
    }
    record = buffer;
    return true;
}

bool ResultBook::put(qint32 n, const QByteArray& record)
{
    m_error.clear();
    const qint64 len = m_table.recordLength;
    if (m_fd < 0 || n < 0 || n > m_count || record.size() < len || (n == m_count && m_count == 0x7fffffff)) {
        m_error = QStringLiteral("record %1 of %2").arg(n).arg(m_count);
        return false;
    }
    QByteArray old;
    if (n < m_count && !read(n, old))
        return fail(QStringLiteral("read"));
    // The change marker tells the exchange that the table holds bookings not yet sent; it is on
    // the disk before the first of them, so no booking is ever there without it.
    if (!m_markerMade) {
        touchChangeMarker(m_file);
        m_markerMade = QFileInfo(changeMarkerName(m_file)).isFile();
        if (!m_markerMade) {
            m_error = QStringLiteral("marker ") + changeMarkerName(m_file);
            return false;
        }
    }
    struct stat st { };
    if (::fstat(m_fd, &st) != 0)
        return fail(QStringLiteral("stat"));

    if (!writeAt(n * len, record.constData(), len)) {
        const int writeErrno = errno;
        // Part of the record may be there: the file goes back to what it was, so the operator's
        // "Ошибка записи" leaves neither a torn line nor half a new value behind.
        const bool undone = n < m_count ? writeAt(n * len, old.constData(), len) : ::ftruncate(m_fd, st.st_size) == 0;
        if (!undone || !syncFileData(m_fd))
            logLine(QStringLiteral("putRec:undo ") + m_file);
        errno = writeErrno;
        return fail(QStringLiteral("write"));
    }
    if (!syncFileData(m_fd))
        return fail(QStringLiteral("fdatasync"));

    if (n < m_count)
        tally(old, -1);
    else
        ++m_count;
    tally(record.left(len), +1);
    return true;
}

bool ResultBook::writeAt(qint64 offset, const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t w = ::pwrite(m_fd, data + done, size_t(size - done), off_t(offset + done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = EIO;
            return false;
        }
        done += w;
    }
    return true;
}

QByteArray ResultBook::itemKey(const QByteArray& record) const
{
    QByteArray key;
    for (const int f : { m_bar, m_code }) {
        if (f < 0)
            continue;
        const FieldDescr& d = m_table.fields[f];
        key += record.mid(d.offset, d.width);
        key += '\0';
    }
    return key;
}

void ResultBook::tally(const QByteArray& record, int sign)
{
    const qint64 rest = int32Field(m_table, m_rest, record);
    const qint64 price = int32Field(m_table, m_price, record);
    m_documentSum += sign * (price * rest / 1000);
    const QByteArray key = itemKey(record);
    qint64& item = m_itemRest[key];
    item += sign * rest;
    if (item == 0 && sign < 0)
        m_itemRest.remove(key);
}

qint64 ResultBook::itemRest(const QByteArray& record) const
{
    return m_itemRest.value(itemKey(record), 0);
}

qint32 ResultBook::rest(const QByteArray& record) const
{
    return int32Field(m_table, m_rest, record);
}

qint32 ResultBook::price(const QByteArray& record) const
{
    return int32Field(m_table, m_price, record);
}
