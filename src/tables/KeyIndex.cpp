#include "KeyIndex.h"

#include "FileIo.h"
#include "IndexFreshness.h"
#include "ReplaceFile.h"
#include "SortedPages.h"

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
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace sortedpages;

KeyColumn columnOf(const KeyIndexFiles& f)
{
    KeyColumn c;
    c.recordLength = f.recordLength;
    c.keyOffset = f.keyOffset;
    c.keyWidth = f.keyWidth;
    return c;
}

bool idOfPath(const QString& path, FileId& id)
{
    return sortedpages::idOfPath(QFile::encodeName(path).constData(), id);
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

bool supported(const KeyIndexFiles& f)
{
    return columnSupported(columnOf(f));
}

// The header check: the sorted file is the one built from the goods table and index file as they
// are now, for this record layout. A file built while the goods table was still new is trusted only
// by the process that built it (which hears of its own writes); others rebuild it.
bool headerHolds(int sortedFd, int goodsFd, const KeyIndexFiles& f, Layout& layout)
{
    char page[PageBytes];
    FileId goods;
    if (!headerIdentityHolds(
            sortedFd, goodsFd, QFile::encodeName(f.indexFile).constData(), columnOf(f), layout, page, goods))
        return false;
    if (indexKnownFresh(f.sortedFile, f.goodsFile, f.keyOffset, f.keyWidth))
        return true;
    if (!headerSampleHolds(page, goodsFd, goods.size))
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
    // The header is sealed first; every later page with the seed it gives.
    void seal()
    {
        char* page = m_buffer.data() + m_used;
        if (m_pageNo == 0)
            m_seed = fileSeed(page);
        sealPage(page, m_pageNo, m_pageNo == 0 ? 0 : m_seed);
        ++m_pageNo;
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
    uint64_t m_seed = 0;
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
    const qint64 leaves = l.pages.empty() ? 0 : l.pages[0];
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
    for (size_t level = 1; level < l.pages.size(); ++level) {
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
    for (const int64_t o : sampleOffsets(goodsSize))
        at.append(o);
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
    QByteArray found(f.recordLength, Qt::Uninitialized);
    uint32_t n = 0;
    switch (lookupPages(sorted.get(), goods.get(), l, columnOf(f), key.constData(), n, found.data())) {
    case PageLookup::Found:
        recordNo = static_cast<qint32>(n);
        record = found;
        return KeyLookup::Found;
    case PageLookup::Absent:
        return KeyLookup::Absent;
    case PageLookup::Unusable:
        break;
    }
    return KeyLookup::Unusable;
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
    // Each key's sort and write is its own: on a terminal with two cores the barcodes are sorted
    // while the codes (mostly in order already) are written and flushed.
    std::vector<std::thread> helpers;
    Build* last = nullptr;
    for (auto& b : builds) {
        if (!b->running())
            continue;
        if (last)
            helpers.emplace_back(
                [last, count, &before, sample, startedNs] { finish(*last, count, before, sample, startedNs); });
        last = b.get();
    }
    if (last)
        finish(*last, count, before, sample, startedNs);
    for (std::thread& t : helpers)
        t.join();
    report();
}

SortedBuild buildSortedIndex(const KeyIndexFiles& files, IndexFileTrust trust)
{
    QList<SortedJob> jobs { SortedJob { files, trust, SortedBuild::Failed } };
    buildSortedIndexes(jobs);
    return jobs.first().result;
}
