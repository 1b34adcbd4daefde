#include "KeyIndex.h"

#include "FileIo.h"
#include "IndexFreshness.h"
#include "ReplaceFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 PageBytes = 4096;
constexpr qint64 PagePayload = PageBytes - 8; // the last eight bytes hold the page's checksum
constexpr qint64 SampleBlockBytes = 4096;
constexpr qint64 SampleBlocks = 4;
constexpr char Magic[8] = { 'O', 'R', 'T', 'K', 'E', 'Y', 'S', '\x1a' };
constexpr quint32 FormatVersion = 1;
constexpr quint32 RacyFlag = 1;

// Header page fields (little-endian). A file identity is its size, inode, modification and
// change times, eight bytes each.
enum HeaderAt : int {
    AtMagic = 0,
    AtVersion = 8,
    AtRecordLength = 12,
    AtKeyOffset = 16,
    AtKeyWidth = 20,
    AtFlags = 24,
    AtEntries = 32,
    AtGoodsId = 40,
    AtGoodsSample = 72,
    AtIndexId = 80,
    AtBuiltAt = 112,
};

// What identifies a file's contents without reading them. The change time cannot be set back by
// a program, so a file rewritten in place and given its old modification time still differs.
struct FileId {
    qint64 size = -1; // -1: no such file
    quint64 inode = 0;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;

    bool operator==(const FileId& o) const
    {
        return size == o.size && inode == o.inode && mtimeNs == o.mtimeNs && ctimeNs == o.ctimeNs;
    }
    bool operator!=(const FileId& o) const { return !(*this == o); }
};

FileId idOf(const struct stat& st)
{
    FileId id;
    id.size = st.st_size;
    id.inode = st.st_ino;
    id.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return id;
}

// A missing file gets the "no such file" identity; false for other failures.
bool idOfPath(const QString& path, FileId& id)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        id = FileId();
        return errno == ENOENT;
    }
    id = idOf(st);
    return true;
}

bool idOfRegular(int fd, FileId& id)
{
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    id = idOf(st);
    return true;
}

qint64 nowNs()
{
    timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

class Fd {
public:
    explicit Fd(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC))
    {
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Reads size bytes at offset; fewer only at the end of the file; -1 on an error.
qint64 preadFull(int fd, char* buffer, qint64 size, qint64 offset)
{
    qint64 got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, buffer + got, static_cast<size_t>(size - got), offset + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

// Checksums: a word-at-a-time mix, quick enough to check every page a lookup reads and to
// checksum a million-entry file as it is written. They find damage, not tampering.
inline quint64 rotl(quint64 x, int r)
{
    return (x << r) | (x >> (64 - r));
}

inline quint64 mixWord(quint64 h, const char* p)
{
    constexpr quint64 K1 = 0x9E3779B97F4A7C15ULL;
    constexpr quint64 K2 = 0xBF58476D1CE4E5B9ULL;
    return rotl(h ^ (qFromLittleEndian<quint64>(p) * K1), 29) * K2;
}

// Four lanes, so that the multiplications of neighbouring words overlap.
quint64 hashBytes(const char* p, qint64 n, quint64 seed)
{
    quint64 lane[4] = { seed ^ quint64(n), ~seed, seed + 0x632BE59BD9B4E019ULL, seed - 0x8CB92BA72F3D8DD7ULL };
    qint64 i = 0;
    for (; i + 32 <= n; i += 32)
        for (int k = 0; k < 4; ++k)
            lane[k] = mixWord(lane[k], p + i + 8 * k);
    for (; i + 8 <= n; i += 8)
        lane[0] = mixWord(lane[0], p + i);
    if (i < n) {
        char tail[8] = {};
        std::memcpy(tail, p + i, static_cast<size_t>(n - i));
        lane[1] = mixWord(lane[1], tail);
    }
    quint64 h = lane[0] ^ rotl(lane[1], 17) ^ rotl(lane[2], 31) ^ rotl(lane[3], 47);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 33;
    return h;
}

// Seeded with the page number, so that a page found at another place does not check out.
quint64 pageSum(const char* page, qint64 pageNo)
{
    return hashBytes(page, PagePayload, 0x4B4559504147ULL ^ quint64(pageNo));
}

void sealPage(char* page, qint64 pageNo)
{
    qToLittleEndian<quint64>(pageSum(page, pageNo), page + PagePayload);
}

bool readPage(int fd, qint64 pageNo, char* page)
{
    return preadFull(fd, page, PageBytes, pageNo * PageBytes) == PageBytes
        && qFromLittleEndian<quint64>(page + PagePayload) == pageSum(page, pageNo);
}

quint64 goodsSample(int fd, qint64 size)
{
    quint64 h = hashBytes(reinterpret_cast<const char*>(&size), sizeof size, 0x53414D504C45ULL);
    char block[SampleBlockBytes];
    for (const qint64 at : goodsSampleOffsets(size)) {
        const qint64 got = preadFull(fd, block, qMin(SampleBlockBytes, size - at), at);
        if (got < 0)
            return 0;
        h = hashBytes(block, got, h);
    }
    return h;
}

// Pages of the file: the header, the leaves (pairs in key order), then each level of separator
// keys (the last key under each page of the level below) up to a root of one page.
struct Layout {
    qint64 entries = 0;
    qint64 perLeaf = 0;
    qint64 fanout = 0;
    QList<qint64> firstPage; // by level, leaves first
    QList<qint64> pages;
    qint64 totalPages = 1;
};

Layout layoutFor(qint64 entries, qint32 width)
{
    Layout l;
    l.entries = entries;
    l.perLeaf = PagePayload / (width + 4);
    l.fanout = PagePayload / width;
    qint64 count = (entries + l.perLeaf - 1) / l.perLeaf;
    while (count > 0) {
        l.firstPage.append(l.totalPages);
        l.pages.append(count);
        l.totalPages += count;
        if (count == 1)
            break;
        count = (count + l.fanout - 1) / l.fanout;
    }
    return l;
}

bool supported(const KeyIndexFiles& f)
{
    return f.recordLength > 0 && f.keyOffset >= 0 && f.keyWidth > 0 && f.keyWidth <= SortedKeyMaxWidth
        && qint64(f.keyOffset) + f.keyWidth <= f.recordLength;
}

// Keys compared as memcmp() compares them (bytes unsigned), a word at a time for the usual widths.
inline int compareKeys(const char* a, const char* b, qint64 width)
{
    if (width >= 8) {
        for (qint64 at = 0;; at += 8) {
            const qint64 w = qMin(at, width - 8); // the last word overlaps the one before
            const quint64 x = qFromBigEndian<quint64>(a + w);
            const quint64 y = qFromBigEndian<quint64>(b + w);
            if (x != y)
                return x < y ? -1 : 1;
            if (w == width - 8)
                return 0;
        }
    }
    if (width >= 4) {
        for (const qint64 w : { qint64(0), width - 4 }) {
            const quint32 x = qFromBigEndian<quint32>(a + w);
            const quint32 y = qFromBigEndian<quint32>(b + w);
            if (x != y)
                return x < y ? -1 : 1;
        }
        return 0;
    }
    return std::memcmp(a, b, static_cast<size_t>(width));
}

// The first of count items (stride apart, key at the start of each) whose key is not below key.
qint64 lowerBound(const char* items, qint64 count, qint64 stride, const char* key, qint64 width)
{
    qint64 lo = 0;
    qint64 hi = count;
    while (lo < hi) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (compareKeys(items + mid * stride, key, width) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void putIdentity(char* page, int at, const FileId& id)
{
    qToLittleEndian<qint64>(id.size, page + at);
    qToLittleEndian<quint64>(id.inode, page + at + 8);
    qToLittleEndian<qint64>(id.mtimeNs, page + at + 16);
    qToLittleEndian<qint64>(id.ctimeNs, page + at + 24);
}

FileId identityAt(const char* page, int at)
{
    FileId id;
    id.size = qFromLittleEndian<qint64>(page + at);
    id.inode = qFromLittleEndian<quint64>(page + at + 8);
    id.mtimeNs = qFromLittleEndian<qint64>(page + at + 16);
    id.ctimeNs = qFromLittleEndian<qint64>(page + at + 24);
    return id;
}

// The header check: the sorted file is the one built from the goods table and index file as they
// are now, for this record layout. A file built while the goods table was still new is trusted only
// by the process that built it (which hears of its own writes); others rebuild it.
bool headerHolds(int sortedFd, int goodsFd, const KeyIndexFiles& f, Layout& layout)
{
    char page[PageBytes];
    if (!readPage(sortedFd, 0, page) || std::memcmp(page + AtMagic, Magic, sizeof Magic) != 0
        || qFromLittleEndian<quint32>(page + AtVersion) != FormatVersion
        || qFromLittleEndian<qint32>(page + AtRecordLength) != f.recordLength
        || qFromLittleEndian<qint32>(page + AtKeyOffset) != f.keyOffset
        || qFromLittleEndian<qint32>(page + AtKeyWidth) != f.keyWidth)
        return false;
    FileId goods;
    FileId index;
    struct stat sorted { };
    if (!idOfRegular(goodsFd, goods) || goods != identityAt(page, AtGoodsId) || !idOfPath(f.indexFile, index)
        || index != identityAt(page, AtIndexId) || ::fstat(sortedFd, &sorted) != 0)
        return false;
    const qint64 entries = qFromLittleEndian<qint64>(page + AtEntries);
    if (entries != goods.size / f.recordLength)
        return false;
    layout = layoutFor(entries, f.keyWidth);
    if (sorted.st_size != layout.totalPages * PageBytes)
        return false;
    if (indexKnownFresh(f.sortedFile, f.goodsFile, f.keyOffset, f.keyWidth))
        return true;
    if ((qFromLittleEndian<quint32>(page + AtFlags) & RacyFlag) != 0
        || goodsSample(goodsFd, goods.size) != qFromLittleEndian<quint64>(page + AtGoodsSample))
        return false;
    markIndexFresh(f.sortedFile, f.goodsFile, f.keyOffset, f.keyWidth);
    return true;
}

// The first key byte at which some key differs from the first key (the width when none does):
// bytes before it are the same in every key and do not affect the order. Keys are compared a
// word at a time, and only up to the earliest difference found so far.
class FirstDifference {
public:
    explicit FirstDifference(qint64 width)
        : m_width(width)
        , m_at(width)
        , m_first(width, Qt::Uninitialized)
    {
    }
    void add(const char* key)
    {
        if (!m_seen) {
            std::memcpy(m_first.data(), key, static_cast<size_t>(m_width));
            m_seen = true;
            return;
        }
        if (m_width < 8) {
            for (qint64 b = 0; b < m_at; ++b)
                if (key[b] != m_first[b])
                    m_at = b;
            return;
        }
        for (qint64 at = 0; at < m_at; at += 8) {
            const qint64 w = qMin(at, m_width - 8); // the last word overlaps the one before
            const quint64 x = qFromLittleEndian<quint64>(key + w) ^ qFromLittleEndian<quint64>(m_first.constData() + w);
            if (x != 0) {
                m_at = qMin(m_at, w + qCountTrailingZeroBits(x) / 8);
                return;
            }
        }
    }
    qint64 at() const { return m_at; }

private:
    qint64 m_width;
    qint64 m_at;
    QByteArray m_first;
    bool m_seen = false;
};

// Memory for the pairs of a build: anonymous pages, in huge pages where the system offers them, so
// that a million pairs fault in a few dozen pages instead of thousands.
class Scratch {
public:
    explicit Scratch(qint64 size)
    {
        constexpr qint64 Huge = 2 << 20;
        m_mapped = size + Huge;
        void* p = ::mmap(
            nullptr, static_cast<size_t>(m_mapped), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return;
        m_map = static_cast<char*>(p);
        m_data = m_map + (Huge - qint64(reinterpret_cast<quintptr>(m_map) % Huge)) % Huge;
        ::madvise(m_data, static_cast<size_t>(size), MADV_HUGEPAGE);
    }
    ~Scratch()
    {
        if (m_map)
            ::munmap(m_map, static_cast<size_t>(m_mapped));
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    char* data() const { return m_data; }

private:
    char* m_map = nullptr;
    char* m_data = nullptr;
    qint64 m_mapped = 0;
};

// Keys and pairs are short: fixed-size copies that overlap beat a call per copy.
inline void copyShort(char* to, const char* from, qint64 n)
{
    if (n >= 4 && n < 8) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n >= 8 && n <= 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n > 16 && n <= 32) {
        std::memcpy(to, from, 16);
        std::memcpy(to + n - 16, from + n - 16, 16);
    } else {
        std::memcpy(to, from, static_cast<size_t>(n));
    }
}

// Stable counting sort of n pairs from `from` into `to` by the key byte at pos; false, and nothing
// moved, when every pair holds the same byte there.
bool spreadByByte(const char* from, char* to, qint64 n, qint64 stride, qint64 pos)
{
    qint64 at[256] = {};
    for (qint64 i = 0; i < n; ++i)
        ++at[static_cast<uchar>(from[i * stride + pos])];
    if (at[static_cast<uchar>(from[pos])] == n)
        return false;
    qint64 sum = 0;
    for (qint64& slot : at) {
        const qint64 c = slot;
        slot = sum;
        sum += c;
    }
    for (qint64 i = 0; i < n; ++i) {
        const char* e = from + i * stride;
        copyShort(to + at[static_cast<uchar>(e[pos])]++ * stride, e, stride);
    }
    return true;
}

// Sorts the pairs (key, then record number) by key bytes, keeping equal keys in record order (the
// order they arrive in). Bytes before `varying` are the same in every key and are passed over. One
// pass spreads the pairs by their first two varying bytes into buckets small enough to stay in the
// processor's cache; each bucket is then sorted by its remaining bytes, last to first. Returns the
// buffer holding the result: pairs or spare.
char* sortPairs(char* pairs, char* spare, qint64 count, qint32 width, qint64 varying)
{
    if (varying >= width)
        return pairs;
    const qint64 stride = width + 4;
    const qint64 hi = varying;
    const qint64 lo = varying + 1 < width ? varying + 1 : -1;
    const auto topDigit = [&](const char* e) {
        const quint32 h = static_cast<uchar>(e[hi]);
        return lo < 0 ? h : (h << 8) | static_cast<uchar>(e[lo]);
    };
    std::vector<qint64> start(1 << 16, 0);
    for (qint64 i = 0; i < count; ++i)
        ++start[topDigit(pairs + i * stride)];
    qint64 sum = 0;
    for (qint64& slot : start) {
        const qint64 c = slot;
        slot = sum;
        sum += c;
    }
    std::vector<qint64> next = start;
    for (qint64 i = 0; i < count; ++i) {
        const char* e = pairs + i * stride;
        copyShort(spare + next[topDigit(e)]++ * stride, e, stride);
    }

    const qint64 rest = lo < 0 ? width : lo + 1; // the first byte not yet sorted by
    for (size_t b = 0; b < start.size(); ++b) {
        const qint64 n = next[b] - start[b];
        if (n <= 1 || rest == width)
            continue;
        char* a = spare + start[b] * stride;
        if (n <= 16) {
            // Insertion sort; the shifts keep equal keys in order.
            char held[SortedKeyMaxWidth + 4];
            for (qint64 i = 1; i < n; ++i) {
                qint64 j = i;
                std::memcpy(held, a + i * stride, static_cast<size_t>(stride));
                while (j > 0 && compareKeys(a + (j - 1) * stride, held, width) > 0) {
                    std::memcpy(a + j * stride, a + (j - 1) * stride, static_cast<size_t>(stride));
                    --j;
                }
                std::memcpy(a + j * stride, held, static_cast<size_t>(stride));
            }
            continue;
        }
        char* c = pairs + start[b] * stride;
        for (qint64 pos = width - 1; pos >= rest; --pos)
            if (spreadByByte(a, c, n, stride, pos))
                std::swap(a, c);
        if (a != spare + start[b] * stride)
            std::memcpy(spare + start[b] * stride, a, static_cast<size_t>(n * stride));
    }
    return spare;
}

// Collects whole pages and hands them to the file a megabyte at a time.
class PageWriter {
public:
    explicit PageWriter(ReplaceFile& out)
        : m_out(out)
        , m_buffer(FileChunkBytes, Qt::Uninitialized)
    {
    }
    char* next()
    {
        if (m_used == m_buffer.size() && !flush())
            return nullptr;
        char* page = m_buffer.data() + m_used;
        std::memset(page, 0, PageBytes);
        return page;
    }
    void seal()
    {
        sealPage(m_buffer.data() + m_used, m_pageNo++);
        m_used += PageBytes;
    }
    bool flush()
    {
        const bool ok = m_out.write(m_buffer.constData(), m_used);
        m_used = 0;
        return ok;
    }

private:
    ReplaceFile& m_out;
    QByteArray m_buffer;
    qint64 m_used = 0;
    qint64 m_pageNo = 0;
};

bool writeSorted(
    ReplaceFile& out, const char* entries, const Layout& l, qint32 width, const std::function<void(char*)>& fillHeader)
{
    PageWriter pages(out);
    char* page = pages.next();
    fillHeader(page);
    pages.seal();
    const qint64 stride = width + 4;
    // Leaves.
    const qint64 leaves = l.pages.isEmpty() ? 0 : l.pages[0];
    QByteArray keys(leaves * width, Qt::Uninitialized);
    for (qint64 p = 0; p < leaves; ++p) {
        const qint64 first = p * l.perLeaf;
        const qint64 n = qMin(l.perLeaf, l.entries - first);
        if (!(page = pages.next()))
            return false;
        std::memcpy(page, entries + first * stride, static_cast<size_t>(n * stride));
        pages.seal();
        std::memcpy(keys.data() + p * width, entries + (first + n - 1) * stride, static_cast<size_t>(width));
    }
    // Separator levels: keys holds the last key under each page of the level below.
    for (int level = 1; level < l.pages.size(); ++level) {
        const qint64 below = keys.size() / width;
        QByteArray up(l.pages[level] * width, Qt::Uninitialized);
        for (qint64 p = 0; p < l.pages[level]; ++p) {
            const qint64 first = p * l.fanout;
            const qint64 n = qMin(l.fanout, below - first);
            if (!(page = pages.next()))
                return false;
            std::memcpy(page, keys.constData() + first * width, static_cast<size_t>(n * width));
            pages.seal();
            std::memcpy(up.data() + p * width, keys.constData() + (first + n - 1) * width, static_cast<size_t>(width));
        }
        keys.swap(up);
    }
    return pages.flush();
}

// Whether the index file holds the key column of the n goods records in chunk, which start at
// record first; column is scratch space for the index entries.
bool columnMatches(
    int indexFd, qint64 first, qint64 n, const QByteArray& chunk, const KeyIndexFiles& f, QByteArray& column)
{
    const qint64 width = f.keyWidth;
    if (preadFull(indexFd, column.data(), n * width, first * width) != n * width)
        return false;
    for (qint64 i = 0; i < n; ++i)
        if (std::memcmp(column.constData() + i * width, chunk.constData() + i * f.recordLength + f.keyOffset,
                static_cast<size_t>(width))
            != 0)
            return false;
    return true;
}

} // namespace

QString sortedIndexFileName(const QString& indexFile)
{
    const QFileInfo info(indexFile);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".sorted.") + info.suffix());
}

QList<qint64> goodsSampleOffsets(qint64 goodsSize)
{
    QList<qint64> at;
    if (goodsSize <= SampleBlocks * SampleBlockBytes) {
        for (qint64 o = 0; o < goodsSize; o += SampleBlockBytes)
            at.append(o);
        return at;
    }
    for (qint64 k = 0; k < SampleBlocks; ++k)
        at.append((goodsSize - SampleBlockBytes) * k / (SampleBlocks - 1));
    return at;
}

KeyLookup lookupSortedIndex(const KeyIndexFiles& f, const QByteArray& key, qint32& recordNo, QByteArray& record)
{
    if (!supported(f) || key.size() < f.keyWidth)
        return KeyLookup::Unusable;
    const Fd sorted(f.sortedFile);
    const Fd goods(f.goodsFile);
    Layout l;
    if (!sorted.ok() || !goods.ok() || !headerHolds(sorted.get(), goods.get(), f, l))
        return KeyLookup::Unusable;
    if (l.entries == 0)
        return KeyLookup::Absent;
    const size_t width = static_cast<size_t>(f.keyWidth);
    const int top = int(l.pages.size()) - 1;
    char page[PageBytes];
    qint64 at = 0; // page within its level
    for (int level = top; level >= 1; --level) {
        if (!readPage(sorted.get(), l.firstPage[level] + at, page))
            return KeyLookup::Unusable;
        const qint64 first = at * l.fanout;
        const qint64 n = qMin(l.fanout, l.pages[level - 1] - first);
        const qint64 j = lowerBound(page, n, f.keyWidth, key.constData(), f.keyWidth);
        // Past every separator: above all keys at the root, a damaged file below it.
        if (j == n)
            return level == top ? KeyLookup::Absent : KeyLookup::Unusable;
        at = first + j;
    }
    if (!readPage(sorted.get(), l.firstPage[0] + at, page))
        return KeyLookup::Unusable;
    const qint64 stride = f.keyWidth + 4;
    const qint64 n = qMin(l.perLeaf, l.entries - at * l.perLeaf);
    const qint64 e = lowerBound(page, n, stride, key.constData(), f.keyWidth);
    if (e == n)
        return top == 0 ? KeyLookup::Absent : KeyLookup::Unusable;
    const char* entry = page + e * stride;
    if (std::memcmp(entry, key.constData(), width) != 0)
        return KeyLookup::Absent;
    const quint32 n32 = qFromLittleEndian<quint32>(entry + width);
    if (qint64(n32) >= l.entries)
        return KeyLookup::Unusable;
    // The goods record itself has the last word.
    QByteArray found(f.recordLength, Qt::Uninitialized);
    if (preadFull(goods.get(), found.data(), f.recordLength, qint64(n32) * f.recordLength) != f.recordLength
        || std::memcmp(found.constData() + f.keyOffset, key.constData(), width) != 0)
        return KeyLookup::Unusable;
    recordNo = static_cast<qint32>(n32);
    record = found;
    return KeyLookup::Found;
}

bool sortedIndexUsable(const KeyIndexFiles& f)
{
    if (!supported(f))
        return false;
    const Fd sorted(f.sortedFile);
    const Fd goods(f.goodsFile);
    Layout l;
    return sorted.ok() && goods.ok() && headerHolds(sorted.get(), goods.get(), f, l);
}

namespace {

// One key column being built: its new file, the index file it is compared with, its pairs.
struct Build {
    explicit Build(const SortedJob& j)
        : job(j)
        , out(j.files.sortedFile)
        , firstDifference(j.files.keyWidth)
    {
    }
    const SortedJob job;
    SortedBuild result = SortedBuild::Built;
    ReplaceFile out;
    std::unique_ptr<Fd> index; // only when compared
    FileId indexBefore;
    std::unique_ptr<Scratch> pairs;
    FirstDifference firstDifference;
    bool inOrder = true; // goods often come in code order: such a column needs no sorting
    QByteArray column;

    bool running() const { return result == SortedBuild::Built; }
    void stop(SortedBuild why)
    {
        result = why;
        pairs.reset();
    }
};

// Takes the key column of n records (chunk) starting at record first.
void extract(Build& b, const QByteArray& chunk, qint64 first, qint64 n)
{
    const KeyIndexFiles& f = b.job.files;
    const qint64 width = f.keyWidth;
    const qint64 stride = width + 4;
    if (b.index && !columnMatches(b.index->get(), first, n, chunk, f, b.column)) {
        b.stop(SortedBuild::IndexFileStale);
        return;
    }
    for (qint64 i = 0; i < n; ++i) {
        char* e = b.pairs->data() + (first + i) * stride;
        const char* key = chunk.constData() + i * f.recordLength + f.keyOffset;
        copyShort(e, key, width);
        qToLittleEndian<quint32>(quint32(first + i), e + width);
        b.firstDifference.add(key);
        if (b.inOrder && first + i > 0)
            b.inOrder = compareKeys(e - stride, e, width) <= 0;
    }
}

// Sorts the pairs and writes the file.
void finish(Build& b, qint64 count, const FileId& goodsId, quint64 sample, qint64 startedNs)
{
    const KeyIndexFiles& f = b.job.files;
    FileId indexId;
    if (b.index) {
        FileId indexAfter;
        if (!idOfRegular(b.index->get(), indexAfter) || indexAfter != b.indexBefore)
            return b.stop(SortedBuild::IndexFileStale);
    }
    if (!idOfPath(f.indexFile, indexId) || (b.index && indexId != b.indexBefore))
        return b.stop(SortedBuild::IndexFileStale);
    const char* sorted = b.pairs->data();
    std::unique_ptr<Scratch> spare;
    if (!b.inOrder) {
        spare = std::make_unique<Scratch>(count * (f.keyWidth + 4));
        if (!spare->data())
            return b.stop(SortedBuild::Failed);
        sorted = sortPairs(b.pairs->data(), spare->data(), count, f.keyWidth, b.firstDifference.at());
    }
    const Layout l = layoutFor(count, f.keyWidth);
    const bool racy = goodsId.mtimeNs > startedNs - SortedRacyNs;
    const auto header = [&](char* page) {
        std::memcpy(page + AtMagic, Magic, sizeof Magic);
        qToLittleEndian<quint32>(FormatVersion, page + AtVersion);
        qToLittleEndian<qint32>(f.recordLength, page + AtRecordLength);
        qToLittleEndian<qint32>(f.keyOffset, page + AtKeyOffset);
        qToLittleEndian<qint32>(f.keyWidth, page + AtKeyWidth);
        qToLittleEndian<quint32>(racy ? RacyFlag : 0, page + AtFlags);
        qToLittleEndian<qint64>(count, page + AtEntries);
        putIdentity(page, AtGoodsId, goodsId);
        qToLittleEndian<quint64>(sample, page + AtGoodsSample);
        putIdentity(page, AtIndexId, indexId);
        qToLittleEndian<qint64>(startedNs, page + AtBuiltAt);
    };
    if (!writeSorted(b.out, sorted, l, f.keyWidth, header) || !b.out.commit())
        return b.stop(SortedBuild::Failed);
    b.pairs.reset();
    markIndexFresh(f.sortedFile, f.goodsFile, f.keyOffset, f.keyWidth);
}

} // namespace

void buildSortedIndexes(QList<SortedJob>& jobs)
{
    if (jobs.isEmpty())
        return;
    std::vector<std::unique_ptr<Build>> builds;
    for (SortedJob& j : jobs) {
        builds.push_back(std::make_unique<Build>(j));
        const KeyIndexFiles& f = j.files;
        // Every key must be of the same goods table, which is read once for all of them.
        if (!supported(f) || f.goodsFile != jobs.first().files.goodsFile
            || f.recordLength != jobs.first().files.recordLength)
            builds.back()->stop(SortedBuild::Failed);
        // The new file is created first, so a folder that cannot take it costs no read of the table.
        else if (!builds.back()->out.open())
            builds.back()->stop(SortedBuild::Failed);
    }
    const auto anyRunning
        = [&] { return std::any_of(builds.begin(), builds.end(), [](const auto& b) { return b->running(); }); };
    const auto stopAll = [&](SortedBuild why) {
        for (auto& b : builds)
            if (b->running())
                b->stop(why);
    };
    const auto report = [&] {
        for (size_t i = 0; i < builds.size(); ++i)
            jobs[int(i)].result = builds[i]->result;
    };
    if (!anyRunning())
        return report();

    const qint64 startedNs = nowNs();
    const KeyIndexFiles& first = jobs.first().files;
    const Fd goods(first.goodsFile);
    FileId before;
    if (!goods.ok() || !idOfRegular(goods.get(), before)
        || before.size / first.recordLength > std::numeric_limits<qint32>::max()) {
        stopAll(SortedBuild::Failed);
        return report();
    }
    const qint64 count = before.size / first.recordLength;
    const qint64 perChunk = qMax<qint64>(1, FileChunkBytes / first.recordLength);
    for (auto& b : builds) {
        if (!b->running())
            continue;
        const KeyIndexFiles& f = b->job.files;
        if (b->job.trust == IndexFileTrust::Compare) {
            b->index = std::make_unique<Fd>(f.indexFile);
            if (!b->index->ok() || !idOfRegular(b->index->get(), b->indexBefore)
                || b->indexBefore.size != count * f.keyWidth) {
                b->stop(SortedBuild::IndexFileStale);
                continue;
            }
            b->column = QByteArray(perChunk * f.keyWidth, Qt::Uninitialized);
        }
        b->pairs = std::make_unique<Scratch>(count * (f.keyWidth + 4));
        if (!b->pairs->data())
            b->stop(SortedBuild::Failed);
    }

    QByteArray chunk(perChunk * first.recordLength, Qt::Uninitialized);
    for (qint64 done = 0; done < count && anyRunning();) {
        const qint64 n = qMin(perChunk, count - done);
        if (preadFull(goods.get(), chunk.data(), n * first.recordLength, done * first.recordLength)
            != n * first.recordLength) {
            stopAll(SortedBuild::Failed);
            break;
        }
        for (auto& b : builds)
            if (b->running())
                extract(*b, chunk, done, n);
        done += n;
    }
    const quint64 sample = goodsSample(goods.get(), before.size);
    FileId after;
    if (!idOfRegular(goods.get(), after) || after != before)
        stopAll(SortedBuild::Failed);
    for (auto& b : builds)
        if (b->running())
            finish(*b, count, before, sample, startedNs);
    report();
}

SortedBuild buildSortedIndex(const KeyIndexFiles& files, IndexFileTrust trust)
{
    QList<SortedJob> jobs { SortedJob { files, trust, SortedBuild::Failed } };
    buildSortedIndexes(jobs);
    return jobs.first().result;
}
