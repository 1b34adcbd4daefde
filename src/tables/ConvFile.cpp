#include "ConvFile.h"

#include "Codec.h"
#include "FieldCodec.h"
#include "FileIo.h"
#include "IopMsg.h"
#include "RecordFile.h"
#include "ReplaceFile.h"
#include "Report.h"
#include "RunLog.h"
#include "TableFiles.h"

#include <QFileInfo>
#include <QStringBuilder>

#include <cstring>
#include <limits>
#include <sys/stat.h>

namespace {

// A line is held whole up to this length. Items may carry blanks and text beyond their field's
// width, which the converters trim and cut, so this is far more than a record holds; a longer
// line is a bad line, read without being held.
constexpr qsizetype MaxLineBytes = 8 * FileChunkBytes;

QByteArray nameBytes(const QString& path)
{
    return fromUi(path);
}

// Lines of a text read in large chunks. A line ends at "\n" (a run of "\r" right before it, as
// Windows text-mode writers leave, belongs to the line end) or at a lone "\r"; the last line needs
// no line end. Memory stays flat whatever the text holds: a line longer than MaxLineBytes is
// handed over cut (its head only) and the rest of it is skipped, and a run of "\r" is counted,
// not kept.
class LineReader {
public:
    explicit LineReader(QIODevice& device)
        : m_device(device)
        , m_buf(FileChunkBytes, Qt::Uninitialized)
    {
    }

    // The next line without its end (cut: only the head of an over-long line); false at the end
    // of the text or on a read error (see failed()).
    bool next(const char*& line, qsizetype& size, bool& cut)
    {
        cut = false;
        for (;;) {
            if (m_blankLines > 0) {
                --m_blankLines;
                ++m_consumed;
                line = m_buf.constData();
                size = 0;
                return true;
            }
            if (m_skipping)
                skipRest();
            if (m_crRun > 0) {
                while (m_scan < m_end && m_buf.at(m_scan) == '\r') {
                    ++m_crRun;
                    ++m_scan;
                }
                if (m_scan == m_end && !m_eof) {
                    // The byte after the run decides; only the line is kept meanwhile.
                    m_end = m_scan = m_lineEnd;
                    resetSearch();
                    fill();
                    continue;
                }
                line = m_buf.constData() + m_begin;
                size = m_lineEnd - m_begin;
                if (m_scan < m_end && m_buf.at(m_scan) == '\n') {
                    m_consumed += size + m_crRun + 1;
                    m_begin = m_scan + 1;
                } else {
                    // Each "\r" ends a line: this one, then blank ones.
                    m_consumed += size + 1;
                    m_blankLines = m_crRun - 1;
                    m_begin = m_scan;
                }
                m_scan = m_begin;
                m_crRun = 0;
                if (dropTail())
                    continue;
                return true;
            }
            const qsizetype at = nextLineEnd();
            if (at >= 0) {
                if (m_buf.at(at) == '\r') {
                    m_lineEnd = at;
                    m_crRun = 1;
                    m_scan = at + 1;
                    continue;
                }
                line = m_buf.constData() + m_begin;
                size = at - m_begin;
                m_consumed += size + 1;
                m_begin = m_scan = at + 1;
                if (dropTail())
                    continue;
                return true;
            }
            if (m_eof) {
                if (m_begin >= m_end)
                    return false;
                line = m_buf.constData() + m_begin;
                size = m_end - m_begin;
                m_consumed += size;
                m_begin = m_scan = m_end;
                return true;
            }
            if (m_end - m_begin >= MaxLineBytes) {
                line = m_buf.constData() + m_begin;
                size = m_end - m_begin;
                cut = true;
                m_consumed += size;
                m_begin = m_scan = m_end;
                m_skipping = true;
                return true;
            }
            m_scan = m_end;
            fill();
        }
    }

    bool failed() const { return m_failed; }
    // Bytes of the text behind the lines handed over, with their line ends.
    qint64 consumed() const { return m_consumed; }

private:
    // Where a byte was last found, and how far the buffer is known to hold no other.
    struct Found {
        qsizetype at = -1;
        qsizetype searched = 0;
    };

    // Position of the first c at or after m_scan, or -1; each byte is searched once, however many
    // lines end in the other character before it.
    qsizetype find(Found& f, char c)
    {
        if (f.at >= m_scan)
            return f.at;
        const qsizetype from = qMax(m_scan, f.searched);
        const void* hit
            = from < m_end ? std::memchr(m_buf.constData() + from, c, static_cast<size_t>(m_end - from)) : nullptr;
        if (!hit) {
            f.at = -1;
            f.searched = qMax(from, m_end);
            return -1;
        }
        f.at = static_cast<const char*>(hit) - m_buf.constData();
        f.searched = f.at + 1;
        return f.at;
    }

    qsizetype nextLineEnd()
    {
        const qsizetype nl = find(m_nl, '\n');
        const qsizetype cr = find(m_cr, '\r');
        if (nl < 0)
            return cr;
        return cr < 0 ? nl : qMin(nl, cr);
    }

    void resetSearch()
    {
        m_nl = Found { -1, m_scan };
        m_cr = Found { -1, m_scan };
    }

    // After a cut line: passes over the rest of it up to its line end.
    void skipRest()
    {
        for (;;) {
            const qsizetype at = nextLineEnd();
            if (at >= 0) {
                m_consumed += at - m_begin;
                m_begin = m_scan = at;
                m_skipping = false;
                m_tailPending = true;
                return;
            }
            m_consumed += m_end - m_begin;
            m_begin = m_scan = m_end;
            if (m_eof) {
                m_skipping = false;
                return;
            }
            fill();
        }
    }

    // The empty line that ends a skipped rest belongs to the cut line already handed over.
    bool dropTail()
    {
        const bool drop = m_tailPending;
        m_tailPending = false;
        return drop;
    }

    void fill()
    {
        // Keep the unfinished line at the front; grow only for a line longer than the buffer.
        if (m_begin > 0) {
            const qsizetype keep = m_end - m_begin;
            std::memmove(m_buf.data(), m_buf.constData() + m_begin, static_cast<size_t>(keep));
            m_scan -= m_begin;
            m_lineEnd -= m_begin;
            for (Found* f : { &m_nl, &m_cr }) {
                f->at = f->at >= m_begin ? f->at - m_begin : -1;
                f->searched = qMax<qsizetype>(0, f->searched - m_begin);
            }
            m_end = keep;
            m_begin = 0;
        }
        if (m_end == m_buf.size())
            m_buf.resize(qMin<qsizetype>(m_buf.size() * 2, MaxLineBytes));
        const qint64 want = m_buf.size() - m_end;
        const qint64 n = readFull(m_device, m_buf.data() + m_end, want);
        if (n < 0) {
            m_failed = true;
            m_eof = true;
            return;
        }
        m_end += n;
        if (n < want || want == 0)
            m_eof = true;
    }

    QIODevice& m_device;
    QByteArray m_buf;
    qsizetype m_begin = 0; // start of the line being read
    qsizetype m_scan = 0; // line ends are looked for from here
    qsizetype m_end = 0; // end of the bytes read
    qsizetype m_lineEnd = 0; // while m_crRun > 0: where the line's text ends
    qint64 m_crRun = 0; // "\r" bytes seen after the line's text, not kept in the buffer
    qint64 m_blankLines = 0; // lines ended by a lone "\r" still to hand over
    qint64 m_consumed = 0;
    Found m_nl;
    Found m_cr;
    bool m_skipping = false;
    bool m_tailPending = false;
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
    QFile& file, const TableDescr& table, const RecordSink& sink, qint64& good, qint64& bad)
{
    good = bad = 0;
    const qint64 total = file.size();
    qint64 lineNumber = 0;
    qint64 reported = 0;
    QByteArray record(table.recordLength, '\0');
    LineReader reader(file);
    const char* line = nullptr;
    qsizetype size = 0;
    bool cut = false;
    while (reader.next(line, size, cut)) {
        qsizetype badBegin = 0;
        qsizetype badSize = 0;
        const int badField = cut ? cutLineToRecordRaw(table, line, size, record.data(), &badBegin, &badSize)
                                 : lineToRecordRaw(table, line, size, record.data(), &badBegin, &badSize);
        if (badField < 0) {
            if (!sink(record.constData(), line, size, lineNumber + 1))
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
        reported = reader.consumed();
        emit dataTransferProgress(reported, total);
    }
    // The rest of a cut last line is passed over after its report.
    if (reader.consumed() > reported)
        emit dataTransferProgress(reader.consumed(), total);
    if (reader.failed()) {
        logLine(QByteArrayLiteral("txtfRead ") + nameBytes(file.fileName()) + " read error");
        return Status::FileError;
    }
    return bad > 0 ? Status::BadLines : Status::Ok;
}

ConvFile::Status ConvFile::convertToBin(
    const QString& textFileAsNamed, const QString& binFileAsNamed, TableDescr& table)
{
    const QString textFile = resolveFileCase(textFileAsNamed);
    const QString binFile = resolveFileCase(binFileAsNamed);
    logLine(QByteArrayLiteral("ConvertToBin"));
    table.recordCount = 0;
    if (!tableLayoutOk(table)) {
        logLine(QByteArrayLiteral("ConvertToBin: table has no fields"));
        return Status::FileError;
    }
    if (sameFile(textFile, binFile)) {
        logLine(QByteArrayLiteral("ConvertToBin: ") + nameBytes(textFile) + " is both source and target");
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
    const qint64 perChunk = qMax<qint64>(1, FileChunkBytes / len);
    QByteArray out(perChunk * len, Qt::Uninitialized);
    qint64 filled = 0;
    auto sink = [&](const char* record, const char*, qsizetype, qint64) {
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

ConvFile::Status ConvFile::checkText(const QString& textFileAsNamed, const TableDescr& table, qint64& good, qint64& bad)
{
    return readText(
        textFileAsNamed, table, [](const char*, const char*, qsizetype, qint64) { return true; }, good, bad);
}

ConvFile::Status ConvFile::readText(
    const QString& textFileAsNamed, const TableDescr& table, const RecordSink& sink, qint64& good, qint64& bad)
{
    const QString textFile = resolveFileCase(textFileAsNamed);
    good = bad = 0;
    if (!tableLayoutOk(table))
        return Status::FileError;
    QFile text;
    const Status opened = openText(textFile, text);
    if (opened != Status::Ok)
        return opened;
    return convertLines(text, table, sink, good, bad);
}

bool ConvFile::ConvertToTxt(const QString& binFileAsNamed, const QString& textFileAsNamed, const TableDescr& table)
{
    const QString binFile = resolveFileCase(binFileAsNamed);
    const QString textFile = resolveFileCase(textFileAsNamed);
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
    if (sameFile(binFile, textFile)) {
        logLine(QByteArrayLiteral("ConvertToTxt: ") + nameBytes(textFile) + " is both source and target");
        iopMsg(QStringLiteral("Результирующий файл не открыт"));
        return false;
    }
    if (QFile::exists(textFile)) {
        const QString backup = textFile + QStringLiteral(".old");
        // The previous text stays in place until the new one replaces it whole; the backup, a copy
        // put in place as durably as the text, keeps it after that. Without a backup the text is
        // not replaced.
        QString why;
        if (!copyFileDurably(textFile, backup, &why)) {
            logLine(QByteArrayLiteral("ConvertToTxt: no backup ") + nameBytes(backup) + ' ' + fromUi(why));
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
    ReplaceFile text(textFile);
    if (!text.open()) {
        bin.close();
        logLine(QByteArrayLiteral("txtfOpen: error"));
        iopMsg(QStringLiteral("Результирующий файл не открыт"));
        return false;
    }

    const qint64 len = table.recordLength;
    const qint64 total = bin.size();
    const qint64 perChunk = qMax<qint64>(1, FileChunkBytes / len);
    QByteArray in(perChunk * len, Qt::Uninitialized);
    QByteArray out;
    out.reserve(2 * FileChunkBytes);
    qint64 done = 0;
    bool readOk = true;
    bool written = true;
    for (;;) {
        const qint64 got = readFull(bin, in.data(), in.size());
        if (got < 0) {
            readOk = false;
            break;
        }
        const qint64 whole = got / len;
        for (qint64 i = 0; i < whole && written; ++i) {
            appendRecordLine(table, in.constData() + i * len, out);
            done += len;
            emit dataTransferProgress(done, total);
            if (out.size() >= FileChunkBytes) {
                written = text.write(out);
                out.resize(0);
            }
        }
        if (!written)
            break;
        if (got < in.size()) {
            // A partial record at the end is not a record (the table counts whole ones only).
            if (got % len != 0)
                logLine(QByteArrayLiteral("ConvertToTxt: partial record ignored"));
            break;
        }
    }
    bin.close();
    // After a read error the lines read so far still replace the text; a text that could not be
    // written completely never does.
    const bool result = written && text.write(out) && text.commit() && readOk;
    logLine(QByteArrayLiteral("/ConvertToTxt ") + (result ? "true" : "false"));
    return result;
}

bool sameFile(const QString& first, const QString& second)
{
    const QFileInfo a(first);
    const QFileInfo b(second);
    if (!a.exists() || !b.exists())
        return false;
    if (a.canonicalFilePath() == b.canonicalFilePath())
        return true;
    // Hard links: two names, one file.
    struct stat sa { };
    struct stat sb { };
    return ::stat(QFile::encodeName(first).constData(), &sa) == 0
        && ::stat(QFile::encodeName(second).constData(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
