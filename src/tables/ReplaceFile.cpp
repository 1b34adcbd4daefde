#include "ReplaceFile.h"

#include "TableFiles.h"

#include "Codec.h"
#include "IndexFreshness.h"
#include "RunLog.h"

ReplaceFile::ReplaceFile(const QString& target)
    : m_file(resolveFileCase(target))
{
}

bool ReplaceFile::open()
{
    return m_file.open();
}

bool ReplaceFile::write(const char* data, qint64 size)
{
    return m_file.write(data, size);
}

bool ReplaceFile::commit()
{
    if (!m_file.commit())
        return false;
    noteFileWritten(m_file.target());
    // The new file is in place either way; a folder that cannot be synced only leaves the rename
    // less durable, which the run log records.
    if (!m_file.folderSynced())
        logLine(QByteArrayLiteral("ReplaceFile: folder not flushed ") + fromUi(m_file.target()));
    return true;
}

QString ReplaceFile::errorString() const
{
    return m_file.errorString();
}
