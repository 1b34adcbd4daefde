#include "IndexFreshness.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <sys/stat.h>

namespace {

struct FileSig {
    quint64 dev = 0;
    quint64 ino = 0;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;

    bool operator==(const FileSig& o) const
    {
        return dev == o.dev && ino == o.ino && size == o.size && mtimeNs == o.mtimeNs && ctimeNs == o.ctimeNs;
    }
};

bool sigOf(const QString& path, FileSig& sig)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    sig.dev = st.st_dev;
    sig.ino = st.st_ino;
    sig.size = st.st_size;
    sig.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    sig.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return true;
}

struct Fresh {
    QString goods;
    FileSig goodsSig;
    FileSig indexSig;
    qint32 offset = 0;
    qint32 width = 0;
};

QMutex mutex;
QHash<QString, Fresh> known; // by absolute index path

QString key(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

bool indexKnownFresh(const QString& indexFile, const QString& goodsFile, qint32 keyOffset, qint32 keyWidth)
{
    QMutexLocker lock(&mutex);
    const auto it = known.constFind(key(indexFile));
    if (it == known.constEnd() || it->goods != key(goodsFile) || it->offset != keyOffset || it->width != keyWidth)
        return false;
    FileSig goodsSig;
    FileSig indexSig;
    return sigOf(goodsFile, goodsSig) && sigOf(indexFile, indexSig) && goodsSig == it->goodsSig
        && indexSig == it->indexSig;
}

void markIndexFresh(const QString& indexFile, const QString& goodsFile, qint32 keyOffset, qint32 keyWidth)
{
    Fresh f;
    f.goods = key(goodsFile);
    f.offset = keyOffset;
    f.width = keyWidth;
    QMutexLocker lock(&mutex);
    if (sigOf(goodsFile, f.goodsSig) && sigOf(indexFile, f.indexSig))
        known.insert(key(indexFile), f);
    else
        known.remove(key(indexFile));
}

void noteFileWritten(const QString& path)
{
    const QString written = key(path);
    QMutexLocker lock(&mutex);
    for (auto it = known.begin(); it != known.end();) {
        if (it.key() == written || it->goods == written)
            it = known.erase(it);
        else
            ++it;
    }
}

void forgetIndexFreshness()
{
    QMutexLocker lock(&mutex);
    known.clear();
}
