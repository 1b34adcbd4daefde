#pragma once

#include <QByteArray>
#include <QList>

// Splits the control connection's bytes into command lines: a line ends at LF, an optional CR
// before it is dropped. A line longer than MaxLine is discarded to its end and reported once, so
// its tail never passes for a command; a run of more than MaxRun bytes without a line end means a
// client that is not speaking FTP.
class FtpLineReader {
public:
    static constexpr int MaxLine = 1024; // bytes of a command line, without its CR LF
    static constexpr int MaxRun = 16384;

    struct Line {
        QByteArray text;
        bool tooLong = false;
    };

    // Appends every line completed by bytes to out; false when the client is to be disconnected.
    bool feed(const QByteArray& bytes, QList<Line>& out);
    void clear();

private:
    QByteArray m_line;
    qint64 m_run = 0;
    bool m_tooLong = false;
};
