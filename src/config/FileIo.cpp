#include "FileIo.h"

#include <QFile>
#include <QIODevice>

#include <fcntl.h>
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
