#pragma once

#include <QByteArray>
#include <QFile>
#include <QMutex>
#include <QString>

// The run log "logortc.txt" in the application folder. One stream for the whole run, shared by
// the user-interface thread and the FTP server thread: every write takes the mutex, so lines
// never interleave. Texts are written as Windows-1251 bytes. Before open() (and after close())
// writes go nowhere: a log that cannot be opened must not stop the program.
class RunLog {
public:
    static RunLog& instance();

    static constexpr qint64 RotateAbove = 50000;

    // Rotates "logortc.txt" to "logortp.txt" when it is larger than 50000 bytes, then opens
    // (creating) "logortc.txt" in dir for appending. Returns whether the file is open.
    bool open(const QString& dir);
    void close();
    bool isOpen() const;
    QString filePath() const;

    // Raw bytes, exactly as given.
    void write(const QByteArray& bytes);
    void write(const QString& text);
    // "yyyy/MM/dd hh:mm:ss.zzz. " followed by the text.
    void stamped(const QString& text);
    // The text followed by "\r\n".
    void line(const QByteArray& bytes);
    void line(const QString& text);

    static QByteArray stamp();

private:
    RunLog() = default;
    mutable QMutex m_mutex;
    QFile m_file;
};

// Shorthand for RunLog::instance().line(...): debug lines named by the operation first.
void logLine(const QString& text);
void logLine(const QByteArray& bytes);
