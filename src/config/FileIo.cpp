#include "FileIo.h"

#include "AppState.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

qint64 readFull(QIODevice& device, char* buffer, qint64 size)
{
    qint64 got = 0;
    while (got < size) {
        const qint64 n = device.read(buffer + got, size - got);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

bool readToEnd(QIODevice& device, QByteArray& data)
{
    data.clear();
    for (;;) {
        const qsizetype at = data.size();
        data.resize(at + FileChunkBytes);
        const qint64 n = readFull(device, data.data() + at, FileChunkBytes);
        if (n < 0) {
            data.clear();
            return false;
        }
        data.resize(at + n);
        if (n < FileChunkBytes)
            return true;
    }
}

bool syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool syncFileData(int fd)
{
    return ::fdatasync(fd) == 0;
}

bool syncFileData(QFileDevice& file)
{
    return file.flush() && syncFileData(file.handle());
}

bool removeFilesDurably(const QStringList& files)
{
    bool ok = true;
    QStringList folders;
    for (const QString& file : files) {
        const QFileInfo info(file);
        if (!QFile::remove(file) && (info.exists() || info.isSymLink()))
            ok = false;
        if (!folders.contains(info.absolutePath()))
            folders << info.absolutePath();
    }
    for (const QString& folder : std::as_const(folders))
        ok = syncFolder(folder) && ok;
    return ok;
}

namespace {

// The process's umask, read without changing it (umask(2) can only be read by setting it, which
// would race with files another thread creates meanwhile).
mode_t currentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    QByteArray text;
    if (status.open(QIODevice::ReadOnly) && readToEnd(status, text)) {
        const qsizetype at = text.indexOf("\nUmask:");
        if (at >= 0) {
            bool ok = false;
            const qsizetype end = text.indexOf('\n', at + 1);
            const unsigned mask = text.mid(at + 7, end < 0 ? -1 : end - at - 7).trimmed().toUInt(&ok, 8);
            if (ok)
                return mode_t(mask & 0777);
        }
    }
    return 022;
}

} // namespace

unsigned replacementMode(const QString& path)
{
    struct stat old { };
    if (::stat(QFile::encodeName(path).constData(), &old) == 0)
        return old.st_mode & 07777;
    return 0644 & ~currentUmask();
}

bool giveReplacementMode(const QString& file, const QString& target)
{
    return ::chmod(QFile::encodeName(file).constData(), mode_t(replacementMode(target))) == 0;
}

const char TemporaryInfix[] = ".ortova-";

namespace {

// The terminal's tag in its temporaries' names: "<number>-", or nothing without a number.
QByteArray temporaryOwner()
{
    QByteArray tag;
    for (const char c : appState().user.programm.terminalNumber)
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            tag += c;
    return tag.isEmpty() ? tag : tag + '-';
}

// mkostemp on "<start>XXXXXX".
int createTemporaryNamed(const QByteArray& start, QString& tempName)
{
    QByteArray name = start + "XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    tempName = fd < 0 ? QString() : QFile::decodeName(name);
    return fd;
}

} // namespace

QByteArray temporaryPrefix(const QByteArray& name)
{
    return name + TemporaryInfix + temporaryOwner();
}

bool isOwnTemporaryName(const QString& fileName)
{
    const QByteArray owner = QRegularExpression::escape(QString::fromLatin1(temporaryOwner())).toLatin1();
    const QRegularExpression own(
        QStringLiteral("^.+\\.ortova-") + QString::fromLatin1(owner) + QStringLiteral("[A-Za-z0-9]{6}$"));
    return own.match(fileName).hasMatch();
}

int createTemporaryFile(const QString& path, QString& tempName)
{
    return createTemporaryNamed(temporaryPrefix(QFile::encodeName(path)), tempName);
}

DurableFile::DurableFile(const QString& target)
    : m_target(target)
{
}

DurableFile::DurableFile(const QString& target, const QByteArray& tempPrefix)
    : m_target(target)
    , m_tempPrefix(tempPrefix)
{
}

DurableFile::~DurableFile()
{
    discard();
}

void DurableFile::fail(int error)
{
    m_failed = true;
    if (error != 0 && m_error.isEmpty())
        m_error = QString::fromLocal8Bit(std::strerror(error));
}

void DurableFile::discard()
{
    m_temp.close();
    if (!m_tempName.isEmpty())
        ::unlink(QFile::encodeName(m_tempName).constData());
    m_tempName.clear();
}

bool DurableFile::open()
{
    discard();
    m_written = 0;
    m_failed = false;
    m_folderSynced = false;
    m_error.clear();
    const int fd = m_tempPrefix.isEmpty()
        ? createTemporaryFile(m_target, m_tempName)
        : createTemporaryNamed(QFile::encodeName(QFileInfo(m_target).absolutePath()) + '/' + m_tempPrefix, m_tempName);
    if (fd < 0) {
        fail(errno);
        return false;
    }
    // Unbuffered: a buffered device may report a short write as complete.
    if (!m_temp.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        m_error = m_temp.errorString();
        discard();
        fail(0);
        return false;
    }
    return true;
}

bool DurableFile::write(const char* data, qint64 size)
{
    if (m_failed || !m_temp.isOpen())
        return false;
    qint64 done = 0;
    while (done < size) {
        const qint64 n = m_temp.write(data + done, size - done);
        if (n <= 0) {
            m_error = m_temp.errorString();
            fail(0);
            return false;
        }
        done += n;
    }
    m_written += size;
    return true;
}

bool DurableFile::commit(qint64 expectedSize)
{
    if (m_failed || !m_temp.isOpen())
        return false;
    const int fd = m_temp.handle();
    // The new file gets the old one's permissions, or the usual ones for a new file.
    const QByteArray target = QFile::encodeName(m_target);
    ::fchmod(fd, mode_t(m_mode >= 0 ? unsigned(m_mode) : replacementMode(m_target)));
    struct stat written { };
    if (!syncFileData(fd) || ::fstat(fd, &written) != 0) {
        fail(errno);
        discard();
        return false;
    }
    m_temp.close();
    const qint64 wanted = expectedSize >= 0 ? expectedSize : m_written;
    if (written.st_size != wanted) {
        m_error = QStringLiteral("%1 of %2 bytes written").arg(qint64(written.st_size)).arg(wanted);
        fail(0);
        discard();
        return false;
    }
    // rename(2) replaces the target in one step (QFile::rename refuses an existing target).
    if (std::rename(QFile::encodeName(m_tempName).constData(), target.constData()) != 0) {
        fail(errno);
        discard();
        return false;
    }
    m_tempName.clear();
    m_folderSynced = syncFolder(QFileInfo(m_target).absolutePath());
    return true;
}

QString DurableFile::errorString() const
{
    return m_error.isEmpty() ? m_temp.errorString() : m_error;
}

bool copyFileDurably(const QString& source, const QString& target, QString* error)
{
    QFile in(source);
    DurableFile out(target);
    QString why;
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        why = in.errorString();
    } else if (!out.open()) {
        why = out.errorString();
    } else {
        QByteArray buffer(qMin<qint64>(FileChunkBytes, qMax<qint64>(in.size(), 1)), Qt::Uninitialized);
        for (;;) {
            const qint64 got = readFull(in, buffer.data(), buffer.size());
            if (got < 0) {
                why = in.errorString();
                break;
            }
            if (!out.write(buffer.constData(), got)) {
                why = out.errorString();
                break;
            }
            if (got < buffer.size())
                break;
        }
        if (why.isEmpty() && !out.commit())
            why = out.errorString();
    }
    if (error)
        *error = why;
    return why.isEmpty();
}
