#include "ConvFile.h"

#include "Codec.h"
#include "FieldCodec.h"
#include "IopMsg.h"
#include "RecordFile.h"
#include "ReplaceFile.h"
#include "RunLog.h"

#include <QFileInfo>
#include <QStringBuilder>

#include <cstring>
#include <limits>

namespace {

constexpr qint64 ChunkBytes = 1 << 20;

QByteArray nameBytes(const QString& path)
{
    return fromUi(path);
}

// Lines of a text file read in large chunks. A line ends at "\n" (a "\r" right before it, or a
// run of them as Windows text-mode writers leave, belongs to the line end) or at a lone "\r"; the
// last line needs no line end. Lines longer than a chunk grow the buffer as far as they need.
class LineReader {
public:
    explicit LineReader(QFile& file)
        : m_file(file)
        , m_buf(ChunkBytes, Qt::Uninitialized)
    {
    }

    // The next line (without its end) and the bytes it took with its end; false at the end of
    // the file or on a read error (see failed()).
    bool next(const char*& line, qsizetype& size, qint64& taken)
    {
        for (;;) {
            const char* base = m_buf.constData();
            const qsizetype nl = nextNewline();
            const qsizetype limit = nl >= 0 ? nl : m_end;
            const void* crHit = std::memchr(base + m_scan, '\r', static_cast<size_t>(limit - m_scan));
            qsizetype stop = -1;
            qsizetype endLength = 1;
            if (crHit) {
                const qsizetype cr = static_cast<const char*>(crHit) - base;
                if (cr < m_loneCrBefore) {
                    stop = cr;
                } else {
                    qsizetype after = cr;
                    while (after < m_end && base[after] == '\r')
                        ++after;
                    if (after < m_end || m_eof) {
                        stop = cr;
                        if (after < m_end && base[after] == '\n')
                            endLength = after - cr + 1;
                        else
                            m_loneCrBefore = after; // each of these ends a line of its own
                    } else {
                        // The run of "\r" reaches the end of what is read: a "\n" may follow.
                        m_scan = cr;
                        fill();
                        continue;
                    }
                }
            } else if (nl >= 0) {
                stop = nl;
            }
            if (stop >= 0) {
                line = base + m_begin;
                size = stop - m_begin;
                taken = size + endLength;
                m_begin = m_scan = stop + endLength;
                return true;
            }
            if (m_eof) {
                if (m_begin >= m_end)
                    return false;
                line = base + m_begin;
                size = m_end - m_begin;
                taken = size;
                m_begin = m_scan = m_end;
                return true;
            }
            m_scan = m_end;
            fill();
        }
    }

    bool failed() const { return m_failed; }

private:
    // Position of the first "\n" at or after m_scan, or -1 when the buffer holds none. Each byte
    // is searched once, however many "\r"-ended lines lie before the next "\n".
    qsizetype nextNewline()
    {
        if (m_nl >= m_scan)
            return m_nl;
        const qsizetype from = qMax(m_scan, m_nlSearched);
        const void* hit = std::memchr(m_buf.constData() + from, '\n', static_cast<size_t>(m_end - from));
        if (!hit) {
            m_nl = -1;
            m_nlSearched = m_end;
            return -1;
        }
        m_nl = static_cast<const char*>(hit) - m_buf.constData();
        m_nlSearched = m_nl + 1;
        return m_nl;
    }

    void fill()
    {
        // Keep the unfinished line at the front; grow only for a line longer than the buffer.
        const qsizetype keep = m_end - m_begin;
        if (m_begin > 0) {
            std::memmove(m_buf.data(), m_buf.constData() + m_begin, static_cast<size_t>(keep));
            m_scan -= m_begin;
            m_nl = m_nl >= m_begin ? m_nl - m_begin : -1;
            m_nlSearched = qMax<qsizetype>(0, m_nlSearched - m_begin);
            m_loneCrBefore = qMax<qsizetype>(0, m_loneCrBefore - m_begin);
            m_end = keep;
            m_begin = 0;
        }
        if (m_end == m_buf.size())
            m_buf.resize(m_buf.size() * 2);
        const qint64 n = m_file.read(m_buf.data() + m_end, m_buf.size() - m_end);
        if (n < 0)
            m_failed = true;
        if (n <= 0)
            m_eof = true;
        else
            m_end += n;
    }

    QFile& m_file;
    QByteArray m_buf;
    qsizetype m_begin = 0;
    qsizetype m_scan = 0;
    qsizetype m_end = 0;
    qsizetype m_nl = -1; // first "\n" at or after m_scan when >= m_scan
    qsizetype m_nlSearched = 0; // no "\n" lies between m_scan and here
    qsizetype m_loneCrBefore = 0; // every "\r" before here ends a line by itself
    bool m_eof = false;
    bool m_failed = false;
};

} // namespace

ConvFile::ConvFile(QObject* parent)
    : QObject(parent)
{
}

void ConvFile::setBadLineHandler(std::function<void(const QByteArray&)> handler)
{
    m_badLine = std::move(handler);
}

ConvFile::Status ConvFile::openText(const QString& textFile, QFile& file)
{
    if (!QFile::exists(textFile)) {
        logLine(QByteArrayLiteral("txtf not exist ") + nameBytes(textFile) + " not exist");
        return Status::FileError;
    }
    file.setFileName(textFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        logLine(QByteArrayLiteral("txtfOpen ") + nameBytes(textFile) + " not open");
        return Status::FileError;
    }
    return Status::Ok;
}

ConvFile::Status ConvFile::convertLines(
    QFile& file, const TableDescr& table, const std::function<bool(const char*)>& sink, qint64& good, qint64& bad)
{
    good = bad = 0;
    const qint64 total = file.size();
    qint64 done = 0;
    qint64 lineNumber = 0;
    QByteArray record(table.recordLength, '\0');
    LineReader reader(file);
    const char* line = nullptr;
    qsizetype size = 0;
    qint64 taken = 0;
    while (reader.next(line, size, taken)) {
        qsizetype badBegin = 0;
        qsizetype badSize = 0;
        const int badField = lineToRecordRaw(table, line, size, record.data(), &badBegin, &badSize);
        if (badField < 0) {
            if (!sink(record.constData()))
                return Status::FileError;
            ++good;
        } else {
            ++bad;
            const QByteArray report
                = badItemLine(lineNumber + 1, badField + 1, QByteArray::fromRawData(line + badBegin, badSize));
            logLine(report);
            if (m_badLine)
                m_badLine(report);
        }
        ++lineNumber;
        done += taken;
        emit dataTransferProgress(done, total);
    }
    if (reader.failed()) {
        logLine(QByteArrayLiteral("txtfRead ") + nameBytes(file.fileName()) + " read error");
        return Status::FileError;
    }
    return bad > 0 ? Status::BadLines : Status::Ok;
}

ConvFile::Status ConvFile::convertToBin(const QString& textFile, const QString& binFile, TableDescr& table)
{
    logLine(QByteArrayLiteral("ConvertToBin"));
    table.recordCount = 0;
    if (!tableLayoutOk(table)) {
        logLine(QByteArrayLiteral("ConvertToBin: table has no fields"));
        return Status::FileError;
    }
    // The text file is opened before anything happens to the old table: a text file that cannot
    // be read leaves the table as it was.
    QFile text;
    const Status opened = openText(textFile, text);
    if (opened != Status::Ok) {
        table.recordCount = recordCountOf(binFile, table);
        return opened;
    }
    ReplaceFile bin(binFile);
    if (!bin.open()) {
        logLine(QByteArrayLiteral("binfOpen ") + nameBytes(binFile) + " not open");
        table.recordCount = recordCountOf(binFile, table);
        return Status::FileError;
    }

    const qint64 len = table.recordLength;
    const qint64 perChunk = qMax<qint64>(1, ChunkBytes / len);
    QByteArray out(perChunk * len, Qt::Uninitialized);
    qint64 filled = 0;
    auto sink = [&](const char* record) {
        std::memcpy(out.data() + filled * len, record, static_cast<size_t>(len));
        if (++filled < perChunk)
            return true;
        filled = 0;
        return bin.write(out.constData(), perChunk * len);
    };
    qint64 good = 0;
    qint64 bad = 0;
    Status status = convertLines(text, table, sink, good, bad);
    text.close();
    if (status != Status::FileError && !(bin.write(out.constData(), filled * len) && bin.commit())) {
        logLine(QByteArrayLiteral("binfWrite ") + nameBytes(binFile) + " not written");
        status = Status::FileError;
    }
    if (status == Status::FileError) {
        // The old table (if any) is still in place.
        table.recordCount = recordCountOf(binFile, table);
        return status;
    }
    table.recordCount = static_cast<qint32>(qMin<qint64>(good, std::numeric_limits<qint32>::max()));
    return status;
}

bool ConvFile::ConvertToBin(const QString& textFile, const QString& binFile, TableDescr& table)
{
    return convertToBin(textFile, binFile, table) == Status::Ok;
}

ConvFile::Status ConvFile::checkText(const QString& textFile, const TableDescr& table, qint64& good, qint64& bad)
{
    good = bad = 0;
    if (!tableLayoutOk(table))
        return Status::FileError;
    QFile text;
    const Status opened = openText(textFile, text);
    if (opened != Status::Ok)
        return opened;
    return convertLines(
        text, table, [](const char*) { return true; }, good, bad);
}

bool ConvFile::ConvertToTxt(const QString& binFile, const QString& textFile, const TableDescr& table)
{
    logLine(QByteArrayLiteral("ConvertToTxt ") + nameBytes(binFile) + ' ' + nameBytes(textFile));
    if (!QFile::exists(binFile)) {
        logLine(QByteArrayLiteral("binf not exist"));
        iopMsg(QStringLiteral("Нет исходного файла"));
        return false;
    }
    if (!tableLayoutOk(table)) {
        logLine(QByteArrayLiteral("ConvertToTxt: table has no fields"));
        iopMsg(QStringLiteral("Исходный файл не открыт"));
        return false;
    }
    if (QFile::exists(textFile)) {
        const QString backup = textFile + QStringLiteral(".old");
        QFile::remove(backup);
        // Without its backup the previous text would be lost when the new one is written.
        if (!QFile::rename(textFile, backup)) {
            logLine(QByteArrayLiteral("txtfOpen: error"));
            iopMsg(QStringLiteral("Результирующий файл не открыт"));
            return false;
        }
    }
    QFile bin(binFile);
    if (!bin.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        logLine(QByteArrayLiteral("binfOpen: error"));
        iopMsg(QStringLiteral("Исходный файл не открыт"));
        return false;
    }
    QFile text(textFile);
    if (!text.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        bin.close();
        logLine(QByteArrayLiteral("txtfOpen: error"));
        iopMsg(QStringLiteral("Результирующий файл не открыт"));
        return false;
    }

    const qint64 len = table.recordLength;
    const qint64 total = bin.size();
    const qint64 perChunk = qMax<qint64>(1, ChunkBytes / len);
    QByteArray in(perChunk * len, Qt::Uninitialized);
    QByteArray out;
    out.reserve(2 * ChunkBytes);
    qint64 done = 0;
    bool result = true;
    auto flushOut = [&]() {
        qint64 written = 0;
        while (written < out.size()) {
            const qint64 n = text.write(out.constData() + written, out.size() - written);
            if (n <= 0)
                return false;
            written += n;
        }
        out.resize(0);
        return true;
    };
    for (;;) {
        qint64 got = 0;
        while (got < in.size()) {
            const qint64 n = bin.read(in.data() + got, in.size() - got);
            if (n < 0)
                result = false;
            if (n <= 0)
                break;
            got += n;
        }
        const qint64 whole = got / len;
        for (qint64 i = 0; i < whole; ++i) {
            appendRecordLine(table, in.constData() + i * len, out);
            done += len;
            emit dataTransferProgress(done, total);
            if (out.size() >= ChunkBytes && !flushOut()) {
                result = false;
                break;
            }
        }
        if (!result)
            break;
        if (got < in.size()) {
            // A partial record at the end is not a record (the table counts whole ones only).
            if (got % len != 0)
                logLine(QByteArrayLiteral("ConvertToTxt: partial record ignored"));
            break;
        }
    }
    if (!flushOut())
        result = false;
    bin.close();
    text.close();
    logLine(QByteArrayLiteral("/ConvertToTxt ") + (result ? "true" : "false"));
    return result;
}
