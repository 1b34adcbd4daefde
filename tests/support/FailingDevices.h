#pragma once

#include <QByteArray>
#include <QFile>
#include <QIODevice>

#include <sys/resource.h>

// Devices and limits that make reads and writes fail where a test wants them to.

// Reads content, but every read at or beyond goodBytes fails (a disk error halfway through);
// when goodBytes reaches the content's end, the end reads as an end.
class FailingAfter : public QIODevice {
public:
    FailingAfter(const QByteArray& content, qint64 goodBytes);
    qint64 size() const override { return m_content.size(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_content;
    qint64 m_good;
};

// A file whose writes fail once budget bytes have been written (a disk that fills up).
class FailingFile : public QFile {
public:
    FailingFile(const QString& path, qint64 budget);

protected:
    qint64 writeData(const char* data, qint64 len) override;

private:
    qint64 m_budget;
};

// While it lives, no file of this process grows beyond limit bytes: writes there fail with
// EFBIG instead of killing the process (SIGXFSZ is ignored). The limit holds for root too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};

// Runs f under a FileSizeLimit of limit bytes and returns its result.
template <typename F>
auto withFileSizeLimit(rlim_t limit, F f)
{
    FileSizeLimit lowered(limit);
    return f();
}
