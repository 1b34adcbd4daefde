// The day program of the crash battery: starts as the terminal starts (settings, clean-up, the
// exchange-log number, index files, the result table) and then runs the scripted day through the
// real libraries, step after step, until it is killed. A line on stdout tells the battery when a
// step begins and when it has been acknowledged (the call returned success), one write each, so a
// line is either whole in the pipe or not there at all.
//
// Usage: crash_day ROOT FIRST_STEP [DIE_AT_CALL|ack [power-loss]]
//
// DIE_AT_CALL "ack" dies right after the first step has been acknowledged. With "power-loss" the
// death is a power loss: what was not flushed is thrown away first (see below).

#include "AppState.h"
#include "Codec.h"
#include "ConvFile.h"
#include "CrashDay.h"
#include "DescrRegistry.h"
#include "DocKind.h"
#include "FieldCodec.h"
#include "FileIo.h"
#include "Index.h"
#include "IopLog.h"
#include "Reduction.h"
#include "ResultBook.h"
#include "RunLog.h"
#include "SettingsFiles.h"
#include "TableFiles.h"
#include "Transfer.h"
#include "Units.h"
#include "UserSettingsFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace CrashDay;

// ---- Death at a chosen file-system call.
//
// The battery may name a call (counted from 0 at the first step of the run) after which the
// program kills itself: every call that changes a file or a folder (creating or truncating opens,
// temporaries, writes, truncations, flushes, renames, deletions) is counted as it returns. The
// calls of the libraries and of Qt reach the definitions below first (this program exports them),
// which pass them on to the C library.

namespace {

long eventCount = -1; // -1: not counting yet
long dieAt = -1; // -1: never
bool dieAtAck = false;
int quietFd = -1; // the run log: its lines are no steps of the day

template <typename F>
F libc(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

// ---- Power loss.
//
// What a disk keeps when the power goes: a file's contents as they were at its last fsync or
// fdatasync, and a folder's names as they were at the last fsync of the folder (names created,
// renamed or removed since are lost, whatever was written under them). Everything the previous
// start left counts as kept. Each version of a file (a new one begins whenever a file is
// created, so that a reused inode number cannot lend a new file old contents) has the contents
// kept of it; each watched folder has the names kept, with the version each names. At the power
// loss, every watched folder is made what was kept: its files removed and the kept ones written
// again, then the program dies.
class PowerLoss {
public:
    void watch(const std::vector<std::string>& folders)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_on = true;
        for (const std::string& folder : folders) {
            char real[PATH_MAX];
            if (::realpath(folder.c_str(), real) == nullptr)
                continue;
            m_kept[real] = listFolder(real, true);
        }
    }
    bool on() const { return m_on; }

    // After a call that may have created path (now open as fd).
    void created(int fd, bool existed)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        struct stat st { };
        if (m_on && !existed && fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            m_version[st.st_ino] = ++m_versions;
    }
    // After a successful fsync or fdatasync of fd.
    void flushed(int fd)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        struct stat st { };
        if (!m_on || ::fstat(fd, &st) != 0)
            return;
        if (S_ISREG(st.st_mode)) {
            m_contents[versionOf(st.st_ino)] = readAll(fd);
        } else if (S_ISDIR(st.st_mode)) {
            const std::string folder = pathOf(fd);
            if (m_kept.count(folder))
                m_kept[folder] = listFolder(folder, false);
        }
    }
    // The day stops at once, every thread of it: a child of the moment (fork copies the books and
    // this thread only) stops the day, makes the watched folders what was kept, and kills it.
    [[noreturn]] void strike()
    {
        m_mutex.lock(); // held to the end: no other thread changes the books meanwhile
        m_on = false;
        const pid_t day = ::getpid();
        const pid_t child = ::fork();
        if (child == 0) {
            ::kill(day, SIGSTOP);
            rewind();
            ::kill(day, SIGKILL);
            std::_Exit(0);
        }
        if (child > 0)
            for (;;)
                ::pause(); // until the child has stopped and killed the day
        rewind(); // no child (fork failed): the other threads may go on meanwhile
        ::kill(day, SIGKILL);
        std::_Exit(9);
    }

private:
    void rewind()
    {
        const auto unlinkReal = libc<int (*)(const char*)>("unlink");
        const auto openReal = libc<int (*)(const char*, int, ...)>("open");
        const auto writeReal = libc<ssize_t (*)(int, const void*, size_t)>("write");
        for (const auto& [folder, names] : m_kept) {
            for (const auto& [name, version] : listFolder(folder, false))
                unlinkReal((folder + '/' + name).c_str());
            for (const auto& [name, version] : names) {
                const int fd = openReal((folder + '/' + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                const std::string& data = m_contents[version];
                for (size_t at = 0; fd >= 0 && at < data.size();) {
                    const ssize_t n = writeReal(fd, data.data() + at, data.size() - at);
                    if (n <= 0)
                        break;
                    at += size_t(n);
                }
                if (fd >= 0)
                    ::close(fd);
            }
        }
    }
    long versionOf(ino_t inode)
    {
        const auto it = m_version.find(inode);
        return it != m_version.end() ? it->second : (m_version[inode] = ++m_versions);
    }
    static std::string pathOf(int fd)
    {
        char path[PATH_MAX];
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
        return n > 0 ? std::string(path, size_t(n)) : std::string();
    }
    static std::string readAll(int fd)
    {
        // The descriptor may be open for writing only: read through a descriptor of its own.
        const int in = libc<int (*)(const char*, int, ...)>("open")(
            ("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
        std::string data;
        char buffer[65536];
        ssize_t n = 0;
        while (in >= 0 && (n = ::read(in, buffer, sizeof buffer)) > 0)
            data.append(buffer, size_t(n));
        if (in >= 0)
            ::close(in);
        return data;
    }
    // The folder's regular files and their versions; at the start their contents are kept too.
    std::map<std::string, long> listFolder(const std::string& folder, bool keepContents)
    {
        std::map<std::string, long> names;
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr)
            return names;
        while (const dirent* e = ::readdir(dir)) {
            struct stat st { };
            const std::string path = folder + '/' + e->d_name;
            if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            const long version = versionOf(st.st_ino);
            names[e->d_name] = version;
            if (keepContents) {
                const int fd = libc<int (*)(const char*, int, ...)>("open")(path.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd >= 0) {
                    m_contents[version] = readAll(fd);
                    ::close(fd);
                }
            }
        }
        ::closedir(dir);
        return names;
    }

    std::mutex m_mutex; // the index builds flush from threads of their own
    std::atomic<bool> m_on { false };
    long m_versions = 0;
    std::map<ino_t, long> m_version; // the version each inode holds now
    std::map<long, std::string> m_contents; // kept contents by version; none kept: empty
    std::map<std::string, std::map<std::string, long>> m_kept; // folder -> name -> version
};

PowerLoss powerLoss;

[[noreturn]] void die()
{
    if (powerLoss.on())
        powerLoss.strike();
    ::kill(::getpid(), SIGKILL);
    std::_Exit(9);
}

void counted()
{
    if (eventCount < 0)
        return;
    if (eventCount++ == dieAt)
        die();
}

bool countedFd(int fd)
{
    return fd > STDERR_FILENO && fd != quietFd;
}

// An open that creates or truncates a file changes it; one that only reads does not.
int countedOpen(const char* name, const char* path, int flags, va_list args)
{
    const auto real = libc<int (*)(const char*, int, ...)>(name);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    struct stat st { };
    const bool existed = !(flags & O_CREAT) || ::lstat(path, &st) == 0;
    const int fd = real(path, flags, mode);
    powerLoss.created(fd, existed);
    if (flags & (O_CREAT | O_TRUNC))
        counted();
    return fd;
}

template <typename R>
R countedCall(R result)
{
    counted();
    return result;
}

} // namespace

// The calls this program, the libraries and Qt make (Qt opens with open64 and renames with
// renameat2).
extern "C" {

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = countedOpen("open", path, flags, args);
    va_end(args);
    return fd;
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = countedOpen("open64", path, flags, args);
    va_end(args);
    return fd;
}

int mkostemp(char* name, int flags)
{
    const int fd = libc<int (*)(char*, int)>("mkostemp")(name, flags);
    powerLoss.created(fd, false);
    return countedCall(fd);
}

ssize_t write(int fd, const void* data, size_t size)
{
    const ssize_t n = libc<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, size);
    return countedFd(fd) ? countedCall(n) : n;
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t at)
{
    const ssize_t n = libc<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(fd, data, size, at);
    return countedFd(fd) ? countedCall(n) : n;
}

int ftruncate(int fd, off_t size)
{
    return countedCall(libc<int (*)(int, off_t)>("ftruncate")(fd, size));
}

int ftruncate64(int fd, off64_t size)
{
    return countedCall(libc<int (*)(int, off64_t)>("ftruncate64")(fd, size));
}

int fsync(int fd)
{
    const int result = libc<int (*)(int)>("fsync")(fd);
    if (result == 0)
        powerLoss.flushed(fd);
    return countedCall(result);
}

int fdatasync(int fd)
{
    const int result = libc<int (*)(int)>("fdatasync")(fd);
    if (result == 0)
        powerLoss.flushed(fd);
    return countedCall(result);
}

int rename(const char* from, const char* to)
{
    return countedCall(libc<int (*)(const char*, const char*)>("rename")(from, to));
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags)
{
    return countedCall(
        libc<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(fromDir, from, toDir, to, flags));
}

int unlink(const char* path)
{
    return countedCall(libc<int (*)(const char*)>("unlink")(path));
}

} // extern "C"

namespace {

void say(const QByteArray& line)
{
    const QByteArray out = line + '\n';
    if (::write(STDOUT_FILENO, out.constData(), size_t(out.size())) != out.size())
        std::_Exit(5);
    // The acknowledgements: a step's word in the past tense.
    static const QList<QByteArray> acks { "booked", "converted", "loaded", "unloaded", "saved" };
    if (dieAtAck && acks.contains(line.left(line.indexOf(' '))))
        die();
}

[[noreturn]] void failed(qint64 k, const QByteArray& what)
{
    say("failed " + QByteArray::number(k) + ' ' + what);
    std::_Exit(4);
}

class Day {
public:
    explicit Day(const QString& root)
        : m_f { root }
    {
    }

    void start();
    void run(qint64 first);

private:
    TableDescr& table(const char* extension)
    {
        TableDescr* t = descrRegistry().table(QByteArray(extension));
        if (!t)
            failed(-1, QByteArray("no table ") + extension);
        return *t;
    }
    QString inWork(const QString& name) const { return QDir(m_f.work()).filePath(name); }
    void openBook(qint64 k);
    void deliverLog(qint64 k, const QString& folder);

    void book(qint64 k);
    void convert(qint64 k);
    void load(qint64 k);
    void unload(qint64 k);
    void save(qint64 k);

    Folders m_f;
    ResultBook m_book;
    QHash<QByteArray, qint32> m_records; // result record of each booked code
    ConvFile m_conv;
};

// The descriptor of the open file whose path ends in name, or -1.
int openFileNamed(const QString& name)
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        if (QFileInfo(fds.filePath(fd)).symLinkTarget().endsWith(QLatin1Char('/') + name))
            return fd.toInt();
    return -1;
}

void Day::start()
{
    RunLog::instance().open(m_f.app());
    quietFd = openFileNamed(QStringLiteral("logortc.txt"));
    if (!getIniFile(QDir(m_f.app()).filePath(QStringLiteral("OrtSystem.ini")))
        || !getIniFile(QDir(m_f.app()).filePath(QStringLiteral("OrtUser.ini")))) {
        say("start failed settings");
        std::_Exit(3);
    }
    appState().settingsChanged = false;
    for (const QString& folder : { m_f.work(), m_f.app(), m_f.officeIn(), m_f.officeOut() })
        removeStaleTemporaries(folder);
    iopGetNum(m_f.app());
    if (!QDir::setCurrent(m_f.work()))
        failed(-1, "no work folder");
    prepareIndexFiles(inWork(binFileName(table("TVR"))), table("TVR"));
    openBook(-1);
}

void Day::openBook(qint64 k)
{
    // As data entry does: the result table is made when missing and stays open while it books.
    const QString file = inWork(binFileName(table("RES")));
    if (!QFile::exists(file)) {
        QFile created(file);
        if (!created.open(QIODevice::WriteOnly))
            failed(k, "result table not made");
    }
    if (!m_book.open(file, table("RES")))
        failed(k, "result table not open " + fromUi(m_book.errorString()));
    m_records.clear();
    const TableDescr& res = table("RES");
    const FieldDescr& code = res.fields[res.fieldIndex(QByteArrayLiteral("CODE"))];
    for (qint32 n = 0; n < m_book.count(); ++n) {
        QByteArray record;
        if (!m_book.read(n, record))
            failed(k, "result record not read");
        m_records.insert(fieldToText(code, record).trimmed(), n);
    }
}

void Day::run(qint64 first)
{
    say("started " + QByteArray::number(first));
    eventCount = 0;
    for (qint64 k = first;; ++k) {
        switch (stepAt(k)) {
        case Step::Book:
            book(k);
            break;
        case Step::Convert:
            convert(k);
            break;
        case Step::Load:
            load(k);
            break;
        case Step::Unload:
            unload(k);
            break;
        case Step::Save:
            save(k);
            break;
        }
    }
}

void Day::book(qint64 k)
{
    const TableDescr& res = table("RES");
    const QByteArray code = bookedCode(k);
    const qint32 n = m_records.value(code, m_book.count());
    QByteArray record;
    if (n < m_book.count()) {
        if (!m_book.read(n, record))
            failed(k, "result record not read");
    } else {
        record = defaultRecord(res);
        for (const auto& [name, value] : { std::pair<const char*, QByteArray> { "CODE", code }, { "BAR", barOf(code) },
                 { "NAME", "Goods " + code } })
            textToField(res.fields[res.fieldIndex(QByteArray(name))], value, record);
    }
    const qint32 total = m_book.rest(record) + bookedQuantity(k);
    textToField(res.fields[res.fieldIndex(QByteArrayLiteral("REST"))], formatQuantity(total), record);
    const QByteArray what = QByteArray::number(k) + ' ' + code + ' ' + QByteArray::number(total);
    say("book " + what);
    if (!m_book.put(n, record))
        failed(k, "not booked " + fromUi(m_book.errorString()));
    m_records.insert(code, n);
    say("booked " + what);
}

void Day::convert(qint64 k)
{
    const int version = convertVersion(k);
    const QByteArray what = QByteArray::number(k) + ' ' + QByteArray::number(version);
    say("convert " + what);
    TableDescr& receipt = table("PRH");
    if (!m_conv.ConvertToBin(m_f.receiptText(version), inWork(binFileName(receipt)), receipt))
        failed(k, "not converted");
    say("converted " + what);
}

void Day::deliverLog(qint64 k, const QString& folder)
{
    const QString log = iopFileName();
    if (copyFileSafely(log, QDir(folder).filePath(QFileInfo(log).fileName())) != CopyOutcome::Copied)
        failed(k, "log not delivered");
    iopRelease();
}

void Day::load(qint64 k)
{
    // The office puts its file into the input folder, and the terminal loads it from there as the
    // exchange does through the local folder.
    const int version = loadVersion(k);
    const QByteArray what = QByteArray::number(k) + ' ' + QByteArray::number(version);
    say("load " + what);
    TableDescr& goods = table("TVR");
    const QString office = QDir(m_f.officeIn()).filePath(textFileName(goods));
    if (copyFileSafely(m_f.goodsText(version), office) != CopyOutcome::Copied)
        failed(k, "office file not put");
    iopStart(goods.pname, true);
    say("iop " + QByteArray::number(k) + ' ' + QByteArray::number(iopNumber()));
    const QString transfer = inWork(textFileName(goods));
    if (copyFileSafely(office, transfer) != CopyOutcome::Copied)
        failed(k, "not copied");
    if (reduceText(m_conv, docKindCode(DocKind::Goods), transfer, inWork(binFileName(goods)), goods)
        != ReduceResult::Ok)
        failed(k, "not reduced");
    QFile::remove(transfer);
    iopFinish(QStringLiteral("Справочник загружен успешно."));
    deliverLog(k, m_f.officeIn());
    say("loaded " + what);
}

void Day::unload(qint64 k)
{
    // Data entry is left for the exchange, which sends the results and takes their change marker.
    const TableDescr& res = table("RES");
    const QString bin = inWork(binFileName(res));
    const QByteArray what = QByteArray::number(k) + ' ' + QByteArray::number(m_book.count());
    m_book.close();
    say("unload " + what);
    iopStart(res.pname, false);
    say("iop " + QByteArray::number(k) + ' ' + QByteArray::number(iopNumber()));
    const QString transfer = inWork(textFileName(res));
    if (!convertForUnload(m_conv, bin, transfer, res))
        failed(k, "not converted for unload");
    if (copyFileSafely(transfer, QDir(m_f.officeOut()).filePath(textFileName(res))) != CopyOutcome::Copied)
        failed(k, "not copied");
    // As the exchange does once the results are delivered.
    removeFilesDurably({ changeMarkerName(bin) });
    iopFinish(QStringLiteral("Справочник выгружен успешно."));
    deliverLog(k, m_f.officeOut());
    QFile::remove(transfer);
    say("unloaded " + what);
    openBook(k);
}

void Day::save(qint64 k)
{
    UserSettings user = appState().user;
    user.ftpClient.userName = userNameOf(k);
    say("save " + QByteArray::number(k) + ' ' + user.ftpClient.userName);
    SaveDialogs dialogs;
    dialogs.choice = [](const QString&, const QString&, const QString&, const QString&) { return 0; };
    if (!saveUserSettingsAtExit(user, true, m_f.app(), dialogs))
        failed(k, "settings not saved");
    appState().user = user;
    say("saved " + QByteArray::number(k));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3 || args.size() > 5 || (args.size() == 5 && args.at(4) != QLatin1String("power-loss"))) {
        say("start failed usage");
        return 2;
    }
    if (args.size() >= 4) {
        dieAtAck = args.at(3) == QLatin1String("ack");
        dieAt = dieAtAck ? -1 : args.at(3).toLong();
    }
    installCp1251AsLocale();
    if (args.size() == 5) {
        const Folders f { args.at(1) };
        std::vector<std::string> watched;
        for (const QString& folder : { f.app(), f.work(), f.officeIn(), f.officeOut() })
            watched.push_back(QFile::encodeName(folder).toStdString());
        powerLoss.watch(watched);
    }
    Day day(args.at(1));
    day.start();
    day.run(args.at(2).toLongLong());
    return 0;
}
