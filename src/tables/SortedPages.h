#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

struct stat;

// The page format of the sorted key files (KeyIndex.h) in plain C++ and POSIX, so that a program
// that does not load Qt reads them exactly as the tables library writes and reads them.
namespace sortedpages {

constexpr int64_t PageBytes = 4096;
constexpr int64_t PagePayload = PageBytes - 8; // the last eight bytes hold the page's checksum
constexpr int64_t SampleBlockBytes = 4096;
constexpr int64_t SampleBlocks = 4;
constexpr char Magic[8] = { 'O', 'R', 'T', 'K', 'E', 'Y', 'S', '\x1a' };
constexpr uint32_t FormatVersion = 2;
constexpr uint32_t RacyFlag = 1;
// Keys wider than this are left to the index files (a page must hold several of them).
constexpr int32_t MaxKeyWidth = 1024;

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

inline uint64_t getLe64(const char* p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}
inline uint32_t getLe32(const char* p)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}
inline void putLe64(uint64_t v, char* p)
{
    for (int i = 0; i < 8; ++i, v >>= 8)
        p[i] = static_cast<char>(v & 0xFF);
}
inline void putLe32(uint32_t v, char* p)
{
    for (int i = 0; i < 4; ++i, v >>= 8)
        p[i] = static_cast<char>(v & 0xFF);
}

// What identifies a file's contents without reading them. The change time cannot be set back by
// a program, so a file rewritten in place and given its old modification time still differs.
struct FileId {
    int64_t size = -1; // -1: no such file
    uint64_t inode = 0;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;

    bool operator==(const FileId& o) const
    {
        return size == o.size && inode == o.inode && mtimeNs == o.mtimeNs && ctimeNs == o.ctimeNs;
    }
    bool operator!=(const FileId& o) const { return !(*this == o); }
};

FileId idOf(const struct stat& st);
// A missing file gets the "no such file" identity; false for other failures.
bool idOfPath(const char* path, FileId& id);
// False unless fd is a regular file.
bool idOfRegular(int fd, FileId& id);
void putIdentity(char* page, int at, const FileId& id);
FileId identityAt(const char* page, int at);

// Reads size bytes at offset; fewer only at the end of the file; -1 on an error.
int64_t preadFull(int fd, char* buffer, int64_t size, int64_t offset);

// Checksums: a word-at-a-time mix, quick enough to check every page a lookup reads and to
// checksum a million-entry file as it is written. They find damage, not tampering.
uint64_t hashBytes(const char* p, int64_t n, uint64_t seed);
// What the checksums of a file's pages after the header are seeded with besides the page number:
// the header's key column and the identities it holds, so that a page of the other key's file or
// of an earlier build of this one, at the same place, does not check out. The header page itself
// is sealed with seed 0 (it holds all of that).
uint64_t fileSeed(const char* header);
void sealPage(char* page, int64_t pageNo, uint64_t seed);
// The page, read whole and checked against its checksum.
bool readPage(int fd, int64_t pageNo, char* page, uint64_t seed);

// Offsets of the sampled goods blocks (KeyIndex.h: goodsSampleOffsets) and their checksum.
std::vector<int64_t> sampleOffsets(int64_t goodsSize);
uint64_t goodsSample(int fd, int64_t size);

// Pages of the file: the header, the leaves (pairs in key order), then each level of separator
// keys (the last key under each page of the level below) up to a root of one page.
struct Layout {
    int64_t entries = 0;
    int64_t perLeaf = 0;
    int64_t fanout = 0;
    std::vector<int64_t> firstPage; // by level, leaves first
    std::vector<int64_t> pages;
    int64_t totalPages = 1;
    uint64_t seed = 0; // fileSeed() of the header, set by headerIdentityHolds()
};
Layout layoutFor(int64_t entries, int32_t width);

// Keys compared as memcmp() compares them (bytes unsigned), a word at a time for the usual widths.
int compareKeys(const char* a, const char* b, int64_t width);
// The first of count items (stride apart, key at the start of each) whose key is not below key.
int64_t lowerBound(const char* items, int64_t count, int64_t stride, const char* key, int64_t width);

// The key column a sorted file covers.
struct KeyColumn {
    int32_t recordLength = 0;
    int32_t keyOffset = 0;
    int32_t keyWidth = 0;
};
bool columnSupported(const KeyColumn& c);

// The header check without the sampled blocks: the sorted file is the one built from the goods
// table and the index file (at indexPath) as they are now, for this record layout. page receives
// the header page, goods the goods table's identity.
bool headerIdentityHolds(
    int sortedFd, int goodsFd, const char* indexPath, const KeyColumn& c, Layout& layout, char* page, FileId& goods);
// The rest of it, for a process that has not yet seen the goods table: the file was not built
// while the goods table was new, and the sampled goods blocks are the ones it was built from.
bool headerSampleHolds(const char* page, int goodsFd, int64_t goodsSize);

enum class PageLookup { Found, Absent, Unusable };
// Looks key (keyWidth bytes) up through the pages below a header that holds: one page per level
// and the goods record (recordLength bytes into record), whose key must match.
PageLookup lookupPages(
    int sortedFd, int goodsFd, const Layout& l, const KeyColumn& c, const char* key, uint32_t& recordNo, char* record);

} // namespace sortedpages
