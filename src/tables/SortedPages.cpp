#include "SortedPages.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace sortedpages {

namespace {

    inline uint64_t rotl(uint64_t x, int r)
    {
        return (x << r) | (x >> (64 - r));
    }

    inline uint64_t mixWord(uint64_t h, const char* p)
    {
        constexpr uint64_t K1 = 0x9E3779B97F4A7C15ULL;
        constexpr uint64_t K2 = 0xBF58476D1CE4E5B9ULL;
        return rotl(h ^ (getLe64(p) * K1), 29) * K2;
    }

    inline uint64_t getBe64(const char* p)
    {
        uint64_t v = 0;
        std::memcpy(&v, p, 8);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        v = __builtin_bswap64(v);
#endif
        return v;
    }

    inline uint32_t getBe32(const char* p)
    {
        uint32_t v = 0;
        std::memcpy(&v, p, 4);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        v = __builtin_bswap32(v);
#endif
        return v;
    }

    // Seeded with the page number, so that a page found at another place does not check out, and
    // with the file's seed, so that a page of another file at the same place does not either.
    uint64_t pageSum(const char* page, int64_t pageNo, uint64_t seed)
    {
        return hashBytes(page, PagePayload, (0x4B4559504147ULL ^ uint64_t(pageNo)) + seed * 0x9E3779B97F4A7C15ULL);
    }

} // namespace

FileId idOf(const struct stat& st)
{
    FileId id;
    id.size = st.st_size;
    id.inode = st.st_ino;
    id.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.ctimeNs = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return id;
}

bool idOfPath(const char* path, FileId& id)
{
    struct stat st { };
    if (::stat(path, &st) != 0) {
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

void putIdentity(char* page, int at, const FileId& id)
{
    putLe64(uint64_t(id.size), page + at);
    putLe64(id.inode, page + at + 8);
    putLe64(uint64_t(id.mtimeNs), page + at + 16);
    putLe64(uint64_t(id.ctimeNs), page + at + 24);
}

FileId identityAt(const char* page, int at)
{
    FileId id;
    id.size = int64_t(getLe64(page + at));
    id.inode = getLe64(page + at + 8);
    id.mtimeNs = int64_t(getLe64(page + at + 16));
    id.ctimeNs = int64_t(getLe64(page + at + 24));
    return id;
}

int64_t preadFull(int fd, char* buffer, int64_t size, int64_t offset)
{
    int64_t got = 0;
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

// Four lanes, so that the multiplications of neighbouring words overlap.
uint64_t hashBytes(const char* p, int64_t n, uint64_t seed)
{
    uint64_t lane[4] = { seed ^ uint64_t(n), ~seed, seed + 0x632BE59BD9B4E019ULL, seed - 0x8CB92BA72F3D8DD7ULL };
    int64_t i = 0;
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
    uint64_t h = lane[0] ^ rotl(lane[1], 17) ^ rotl(lane[2], 31) ^ rotl(lane[3], 47);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 33;
    return h;
}

uint64_t fileSeed(const char* header)
{
    // Record length, key column, flags, entries, goods identity and sample, index identity, build
    // time: everything from the record length to the end of the build time.
    return hashBytes(header + AtRecordLength, AtBuiltAt + 8 - AtRecordLength, 0x46494C45ULL);
}

void sealPage(char* page, int64_t pageNo, uint64_t seed)
{
    putLe64(pageSum(page, pageNo, seed), page + PagePayload);
}

bool readPage(int fd, int64_t pageNo, char* page, uint64_t seed)
{
    return preadFull(fd, page, PageBytes, pageNo * PageBytes) == PageBytes
        && getLe64(page + PagePayload) == pageSum(page, pageNo, seed);
}

std::vector<int64_t> sampleOffsets(int64_t goodsSize)
{
    std::vector<int64_t> at;
    if (goodsSize <= SampleBlocks * SampleBlockBytes) {
        for (int64_t o = 0; o < goodsSize; o += SampleBlockBytes)
            at.push_back(o);
        return at;
    }
    for (int64_t k = 0; k < SampleBlocks; ++k)
        at.push_back((goodsSize - SampleBlockBytes) * k / (SampleBlocks - 1));
    return at;
}

uint64_t goodsSample(int fd, int64_t size)
{
    uint64_t h = hashBytes(reinterpret_cast<const char*>(&size), sizeof size, 0x53414D504C45ULL);
    char block[SampleBlockBytes];
    for (const int64_t at : sampleOffsets(size)) {
        const int64_t got = preadFull(fd, block, std::min(SampleBlockBytes, size - at), at);
        if (got < 0)
            return 0;
        h = hashBytes(block, got, h);
    }
    return h;
}

Layout layoutFor(int64_t entries, int32_t width)
{
    Layout l;
    l.entries = entries;
    l.perLeaf = PagePayload / (width + 4);
    l.fanout = PagePayload / width;
    int64_t count = (entries + l.perLeaf - 1) / l.perLeaf;
    while (count > 0) {
        l.firstPage.push_back(l.totalPages);
        l.pages.push_back(count);
        l.totalPages += count;
        if (count == 1)
            break;
        count = (count + l.fanout - 1) / l.fanout;
    }
    return l;
}

int compareKeys(const char* a, const char* b, int64_t width)
{
    if (width >= 8) {
        for (int64_t at = 0;; at += 8) {
            const int64_t w = std::min(at, width - 8); // the last word overlaps the one before
            const uint64_t x = getBe64(a + w);
            const uint64_t y = getBe64(b + w);
            if (x != y)
                return x < y ? -1 : 1;
            if (w == width - 8)
                return 0;
        }
    }
    if (width >= 4) {
        for (const int64_t w : { int64_t(0), width - 4 }) {
            const uint32_t x = getBe32(a + w);
            const uint32_t y = getBe32(b + w);
            if (x != y)
                return x < y ? -1 : 1;
        }
        return 0;
    }
    return std::memcmp(a, b, static_cast<size_t>(width));
}

int64_t lowerBound(const char* items, int64_t count, int64_t stride, const char* key, int64_t width)
{
    int64_t lo = 0;
    int64_t hi = count;
    while (lo < hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (compareKeys(items + mid * stride, key, width) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

bool columnSupported(const KeyColumn& c)
{
    return c.recordLength > 0 && c.keyOffset >= 0 && c.keyWidth > 0 && c.keyWidth <= MaxKeyWidth
        && int64_t(c.keyOffset) + c.keyWidth <= c.recordLength;
}

bool headerIdentityHolds(
    int sortedFd, int goodsFd, const char* indexPath, const KeyColumn& c, Layout& layout, char* page, FileId& goods)
{
    if (!readPage(sortedFd, 0, page, 0) || std::memcmp(page + AtMagic, Magic, sizeof Magic) != 0
        || getLe32(page + AtVersion) != FormatVersion || int32_t(getLe32(page + AtRecordLength)) != c.recordLength
        || int32_t(getLe32(page + AtKeyOffset)) != c.keyOffset || int32_t(getLe32(page + AtKeyWidth)) != c.keyWidth)
        return false;
    FileId index;
    struct stat sorted { };
    if (!idOfRegular(goodsFd, goods) || goods != identityAt(page, AtGoodsId) || !idOfPath(indexPath, index)
        || index != identityAt(page, AtIndexId) || ::fstat(sortedFd, &sorted) != 0)
        return false;
    const int64_t entries = int64_t(getLe64(page + AtEntries));
    if (entries != goods.size / c.recordLength)
        return false;
    layout = layoutFor(entries, c.keyWidth);
    layout.seed = fileSeed(page);
    return sorted.st_size == layout.totalPages * PageBytes;
}

bool headerSampleHolds(const char* page, int goodsFd, int64_t goodsSize)
{
    return (getLe32(page + AtFlags) & RacyFlag) == 0
        && goodsSample(goodsFd, goodsSize) == getLe64(page + AtGoodsSample);
}

PageLookup lookupPages(
    int sortedFd, int goodsFd, const Layout& l, const KeyColumn& c, const char* key, uint32_t& recordNo, char* record)
{
    if (l.entries == 0)
        return PageLookup::Absent;
    const size_t width = static_cast<size_t>(c.keyWidth);
    const int top = int(l.pages.size()) - 1;
    char page[PageBytes];
    int64_t at = 0; // page within its level
    for (int level = top; level >= 1; --level) {
        if (!readPage(sortedFd, l.firstPage[size_t(level)] + at, page, l.seed))
            return PageLookup::Unusable;
        const int64_t first = at * l.fanout;
        const int64_t n = std::min(l.fanout, l.pages[size_t(level) - 1] - first);
        const int64_t j = lowerBound(page, n, c.keyWidth, key, c.keyWidth);
        // Past every separator: above all keys at the root, a damaged file below it.
        if (j == n)
            return level == top ? PageLookup::Absent : PageLookup::Unusable;
        at = first + j;
    }
    if (!readPage(sortedFd, l.firstPage[0] + at, page, l.seed))
        return PageLookup::Unusable;
    const int64_t stride = c.keyWidth + 4;
    const int64_t n = std::min(l.perLeaf, l.entries - at * l.perLeaf);
    const int64_t e = lowerBound(page, n, stride, key, c.keyWidth);
    if (e == n)
        return top == 0 ? PageLookup::Absent : PageLookup::Unusable;
    const char* entry = page + e * stride;
    if (std::memcmp(entry, key, width) != 0)
        return PageLookup::Absent;
    const uint32_t n32 = getLe32(entry + width);
    if (int64_t(n32) >= l.entries)
        return PageLookup::Unusable;
    // The goods record itself has the last word.
    if (preadFull(goodsFd, record, c.recordLength, int64_t(n32) * c.recordLength) != c.recordLength
        || std::memcmp(record + c.keyOffset, key, width) != 0)
        return PageLookup::Unusable;
    recordNo = n32;
    return PageLookup::Found;
}

} // namespace sortedpages
