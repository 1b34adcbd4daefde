#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QIODevice;

// How much the bulk readers and writers of files move at a time: large enough that a slow flash
// file system sees few calls, small enough to keep memory flat however big the file is.
constexpr qint64 FileChunkBytes = 1 << 20;

// Reads until size bytes are in buffer or the device is at its end. Returns the bytes read (fewer
// than size only at the end), or -1 on a read error; after an error the buffer is not to be used.
qint64 readFull(QIODevice& device, char* buffer, qint64 size);
// Reads the rest of the device into data by the same rule; false on a read error.
bool readToEnd(QIODevice& device, QByteArray& data);
// Makes the folder's entries durable (a file created or renamed into it); false when the folder
// cannot be opened or synced.
bool syncFolder(const QString& folder);
