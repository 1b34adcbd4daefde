#include "FindPlan.h"

#include "SortedPages.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char PlanMagic[] = "ortova find plan 1";
// A settings file modified less than this before it was read may change again within the same
// tick of the file system's clock unseen: no plan is kept for it.
constexpr int64_t RacyNs = 3000000000LL;
// The longest FIELD length the settings reader accepts.
constexpr int32_t MaxFieldLength = 4096;
constexpr size_t ReportTextMax = 64;

enum Type : int32_t { Text = 0, Digit = 1, Integer = 2, Summa = 3, Quantity = 4, Date = 5, Time = 6 };
enum Rule : int32_t { Standart = 0, Minimal = 1, Maxlen = 2 };

class Fd {
public:
    explicit Fd(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
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

private:
    int m_fd;
};

std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool unhex(const std::string& text, std::string& bytes)
{
    if (text.size() % 2 != 0)
        return false;
    bytes.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        const std::string pair = text.substr(i, 2);
        char* end = nullptr;
        const long v = std::strtol(pair.c_str(), &end, 16);
        if (end != pair.c_str() + 2)
            return false;
        bytes += static_cast<char>(v);
    }
    return true;
}

bool writeAll(int fd, const std::string& s)
{
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

std::string cacheFolder()
{
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/ortova";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.cache/ortova";
    return {};
}

bool planSound(const FindPlan& p)
{
    if (p.recordLength <= 0 || p.goodsFile.empty() || p.goodsFile.find('/') != std::string::npos)
        return false;
    const int32_t n = int32_t(p.fields.size());
    if (p.codeField < 0 || p.codeField >= n || p.barField < 0 || p.barField >= n)
        return false;
    // The layout the settings reader gives: fields one after another, each as wide as its type
    // and length make it, filling the record exactly. A length is what the text of a field is
    // padded to, so one the settings could not hold (a damaged or hand-made plan) would have a
    // lookup print gigabytes.
    int64_t offset = 0;
    for (const PlanField& f : p.fields) {
        if (f.type < Text || f.type > Time || f.rule < Standart || f.rule > Maxlen || f.offset != offset || f.length < 0
            || f.length > MaxFieldLength)
            return false;
        const int64_t width = f.type == Text || f.type == Digit ? (int64_t(f.length) + 1) / 2 * 2
            : f.type == Date                                    ? 6
                                                                : 4;
        if (f.width != width)
            return false;
        offset += width;
    }
    return offset == p.recordLength;
}

// Windows-1251 above 0x7F; 0 where the code page has no character.
const uint16_t HighHalf[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C,
    0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0000, 0x2122, 0x0459, 0x203A,
    0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9,
    0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xC0 on: А .. я
};

bool appendUtf8(const std::string& cp1251, std::string& out)
{
    for (const unsigned char c : cp1251) {
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        const uint32_t u = c >= 0xC0 ? 0x0410 + (c - 0xC0) : HighHalf[c - 0x80];
        if (u == 0)
            return false;
        if (u < 0x800) {
            out += char(0xC0 | (u >> 6));
        } else {
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
        }
        out += char(0x80 | (u & 0x3F));
    }
    return true;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

void trimmed(const char*& p, size_t& n)
{
    while (n > 0 && isBlank(p[0])) {
        ++p;
        --n;
    }
    while (n > 0 && isBlank(p[n - 1]))
        --n;
}

void zeroPadded(std::string text, int32_t length, std::string& out)
{
    const size_t pad = length > int32_t(text.size()) ? size_t(length) - text.size() : 0;
    if (pad > 0 && !text.empty() && text[0] == '-') {
        out += '-';
        text.erase(0, 1);
    }
    out.append(pad, '0');
    out += text;
}

std::string decimal(int32_t value, int decimals)
{
    std::string digits;
    uint32_t u = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        digits += char('0' + u % 10);
        u /= 10;
    } while (u != 0);
    while (int(digits.size()) <= decimals)
        digits += '0';
    std::string out = value < 0 ? "-" : "";
    for (int k = int(digits.size()) - 1; k >= 0; --k) {
        out += digits[size_t(k)];
        if (k == decimals && decimals > 0)
            out += '.';
    }
    return out;
}

void fieldText(const PlanField& f, const char* bytes, std::string& out)
{
    switch (f.type) {
    case Text: {
        const char* p = bytes;
        size_t n = size_t(f.width);
        if (f.rule == Minimal)
            trimmed(p, n);
        out.append(p, n);
        if (f.rule == Maxlen && f.length > int32_t(n))
            out.append(size_t(f.length) - n, ' ');
        return;
    }
    case Digit: {
        // 0xFF padding reads as blanks, then the value is trimmed.
        std::string buf(bytes, size_t(f.width));
        for (char& c : buf)
            if (c == '\xFF')
                c = ' ';
        const char* p = buf.data();
        size_t n = buf.size();
        trimmed(p, n);
        if (f.rule == Maxlen)
            zeroPadded(std::string(p, n), f.length, out);
        else
            out.append(p, n);
        return;
    }
    case Integer:
    case Summa:
    case Quantity: {
        const int decimals = f.type == Summa ? 2 : f.type == Quantity ? 3 : 0;
        std::string text = decimal(int32_t(sortedpages::getLe32(bytes)), decimals);
        if (f.rule == Minimal && decimals > 0) {
            size_t end = text.size();
            while (end > 1 && text[end - 1] == '0')
                --end;
            if (end > 1 && text[end - 1] == '.')
                --end;
            text.resize(end);
        }
        if (f.rule == Maxlen)
            zeroPadded(text, f.length, out);
        else
            out += text;
        return;
    }
    case Date:
        out += { bytes[0], bytes[1], '.', bytes[2], bytes[3], '.', bytes[4], bytes[5] };
        return;
    case Time:
        out += { bytes[0], bytes[1], ':', bytes[2], bytes[3] };
        return;
    }
}

// The command line as the full tool reads it; false for anything but a plain `find`.
struct FindArgs {
    std::string systemFile = "OrtSystem.ini";
    std::string dir;
    std::string order;
    std::string key;
};

bool plainAscii(const std::string& s, char lowest)
{
    for (const char c : s)
        if (c < lowest || c > '~')
            return false;
    return true;
}

bool parseFind(int argc, const char* const* argv, FindArgs& a)
{
    std::string command;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string* target = arg == "--system" ? &a.systemFile
            : arg == "--dir"                    ? &a.dir
            : arg == "--order"                  ? &a.order
                                                : nullptr;
        if (target) {
            if (i + 1 >= argc)
                return false;
            *target = argv[++i];
        } else if (arg.rfind("-", 0) == 0 && arg != "-") {
            return false; // --help, --receipt, anything else: the full tool
        } else if (command.empty()) {
            command = arg;
        } else {
            words.push_back(arg);
        }
    }
    if (command != "find" || words.size() != 1 || a.dir.empty())
        return false;
    a.key = words[0];
    // Texts that are the same bytes in every encoding the tool meets.
    return !a.key.empty() && plainAscii(a.key, '!') && plainAscii(a.dir, ' ') && plainAscii(a.systemFile, ' ')
        && !a.systemFile.empty()
        && (a.order.empty() || a.order == "code" || a.order == "code-bar" || a.order == "bar-code");
}

enum class Role { Code, Bar };
enum class Outcome { Found, Absent, HandOver };

Outcome lookUp(const FindPlan& plan, const std::string& dir, Role role, const std::string& text, uint32_t& recordNo,
    std::string& record)
{
    const PlanField& f = plan.fields[size_t(role == Role::Bar ? plan.barField : plan.codeField)];
    if (f.type != Text && f.type != Digit)
        return Outcome::HandOver;
    // A key longer than the field never matches by its first characters.
    if (f.width <= 0 || int64_t(text.size()) > f.width)
        return Outcome::Absent;
    std::string key = text;
    if (f.type == Digit) {
        for (const char c : text)
            if (c < '0' || c > '9')
                return Outcome::Absent;
        key.append(size_t(f.width) - text.size(), '\xFF');
    } else {
        key.append(size_t(f.width) - text.size(), ' ');
    }
    const std::string index = dir + (role == Role::Bar ? "/Bar.ndx" : "/Code.ndx");
    const std::string sortedFile = dir + (role == Role::Bar ? "/Bar.sorted.ndx" : "/Code.sorted.ndx");
    const sortedpages::KeyColumn column { plan.recordLength, f.offset, f.width };
    if (!sortedpages::columnSupported(column))
        return Outcome::HandOver;
    const Fd sorted(sortedFile);
    const Fd goods(dir + "/" + plan.goodsFile);
    if (sorted.get() < 0 || goods.get() < 0)
        return Outcome::HandOver;
    sortedpages::Layout layout;
    sortedpages::FileId goodsId;
    char page[sortedpages::PageBytes];
    if (!sortedpages::headerIdentityHolds(sorted.get(), goods.get(), index.c_str(), column, layout, page, goodsId)
        || !sortedpages::headerSampleHolds(page, goods.get(), goodsId.size))
        return Outcome::HandOver;
    record.assign(size_t(plan.recordLength), '\0');
    switch (sortedpages::lookupPages(sorted.get(), goods.get(), layout, column, key.data(), recordNo, &record[0])) {
    case sortedpages::PageLookup::Found:
        return Outcome::Found;
    case sortedpages::PageLookup::Absent:
        return Outcome::Absent;
    case sortedpages::PageLookup::Unusable:
        break;
    }
    return Outcome::HandOver;
}

} // namespace

bool settingsIdOf(const char* path, SettingsId& id)
{
    struct stat st { };
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const sortedpages::FileId f = sortedpages::idOf(st);
    id.device = st.st_dev;
    id.inode = f.inode;
    id.size = f.size;
    id.mtimeNs = f.mtimeNs;
    id.ctimeNs = f.ctimeNs;
    return true;
}

std::string findPlanPath(const SettingsId& id)
{
    const std::string folder = cacheFolder();
    if (folder.empty())
        return {};
    return folder + "/find-" + std::to_string(id.device) + "-" + std::to_string(id.inode);
}

bool writeFindPlan(const FindPlan& plan)
{
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const int64_t nowNs = int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    const std::string path = findPlanPath(plan.settings);
    if (path.empty() || !planSound(plan) || plan.settings.mtimeNs > nowNs - RacyNs)
        return false;
    const std::string folder = cacheFolder();
    const size_t slash = folder.rfind('/');
    ::mkdir(folder.substr(0, slash).c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);

    std::ostringstream s;
    const SettingsId& id = plan.settings;
    s << PlanMagic << "\nsettings " << id.device << ' ' << id.inode << ' ' << id.size << ' ' << id.mtimeNs << ' '
      << id.ctimeNs << "\ngoods " << hex(plan.goodsFile) << ' ' << plan.recordLength << ' ' << int(plan.tabChar) << ' '
      << plan.codeField << ' ' << plan.barField << ' ' << plan.fields.size() << '\n';
    for (const PlanField& f : plan.fields)
        s << f.type << ' ' << f.rule << ' ' << f.length << ' ' << f.width << ' ' << f.offset << '\n';
    s << "end\n";

    // Written beside the old plan under a unique name, flushed, renamed over it, folder flushed.
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, s.str()) && ::fdatasync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool readFindPlan(const SettingsId& id, FindPlan& plan)
{
    const std::string path = findPlanPath(id);
    if (path.empty())
        return false;
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (!file)
        return false;
    std::string text;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() < 65536)
        text.append(buffer, n);
    std::fclose(file);

    std::istringstream s(text);
    std::string magic;
    std::string word;
    std::string name;
    int tab = 0;
    size_t count = 0;
    FindPlan p;
    std::getline(s, magic);
    if (magic != PlanMagic || !(s >> word) || word != "settings")
        return false;
    s >> p.settings.device >> p.settings.inode >> p.settings.size >> p.settings.mtimeNs >> p.settings.ctimeNs;
    s >> word >> name >> p.recordLength >> tab >> p.codeField >> p.barField >> count;
    if (!s || word != "goods" || !(p.settings == id) || !unhex(name, p.goodsFile) || tab < -128 || tab > 127
        || count > 32)
        return false;
    p.tabChar = char(tab);
    p.fields.resize(count);
    for (PlanField& f : p.fields)
        s >> f.type >> f.rule >> f.length >> f.width >> f.offset;
    if (!(s >> word) || word != "end" || !planSound(p))
        return false;
    plan = p;
    return true;
}

bool recordText(const FindPlan& plan, const char* record, std::string& utf8)
{
    std::string line;
    for (size_t i = 0; i < plan.fields.size(); ++i) {
        if (i > 0)
            line += plan.tabChar;
        fieldText(plan.fields[i], record + plan.fields[i].offset, line);
    }
    utf8.clear();
    return appendUtf8(line, utf8);
}

bool quickFind(int argc, const char* const* argv, QuickAnswer& answer)
{
    FindArgs a;
    SettingsId id;
    FindPlan plan;
    if (!parseFind(argc, argv, a) || !settingsIdOf(a.systemFile.c_str(), id) || !readFindPlan(id, plan))
        return false;
    struct stat goods { };
    if (::stat((a.dir + "/" + plan.goodsFile).c_str(), &goods) != 0 || !S_ISREG(goods.st_mode))
        return false;

    // Data entry's order: a text longer than the code field is a barcode.
    const std::string& t = a.key;
    const bool barcode = int64_t(t.size()) > plan.fields[size_t(plan.codeField)].length;
    Role roles[2] = { Role::Code, Role::Bar };
    int count = 1;
    if (barcode)
        roles[0] = Role::Bar;
    else if (a.order == "code-bar")
        count = 2;
    else if (a.order == "bar-code")
        roles[0] = Role::Bar, roles[1] = Role::Code, count = 2;
    for (int r = 0; r < count; ++r) {
        const Role role = roles[r];
        uint32_t recordNo = 0;
        std::string record;
        const Outcome outcome = lookUp(plan, a.dir, role, t, recordNo, record);
        if (outcome == Outcome::HandOver)
            return false;
        if (outcome == Outcome::Absent)
            continue;
        std::string line;
        if (!recordText(plan, record.data(), line))
            return false;
        answer.exitCode = 0;
        answer.out = std::to_string(recordNo) + "\n" + line + "\n";
        answer.err.clear();
        return true;
    }
    answer.exitCode = 1;
    answer.out.clear();
    answer.err = "Не найдено: " + (t.size() <= ReportTextMax ? t : t.substr(0, ReportTextMax) + "...") + "\n";
    return true;
}
