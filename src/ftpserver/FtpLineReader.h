#pragma once

#include <QByteArray>
#include <QList>

// Splits the control connection's bytes into command lines: a line ends at LF, an optional CR
// before it is dropped. A line longer than MaxLine is discarded to its end and reported once, so
// its tail never passes for a command; a run of more than MaxRun bytes without a line end means a
// client that is not speaking FTP.
//
// The control connection is a Telnet stream: IAC IAC is one data byte 0xFF (a letter in
// Windows-1251), other Telnet commands (IP, DM, NOP, ...) and option talk (IAC WILL/WONT/DO/DONT
// and its option byte) are dropped wherever they fall. An IAC before a byte that is no Telnet
// command is taken as data, as from clients that do not double it.
class FtpLineReader {
public:
    static constexpr int MaxLine = 1024; // bytes of a command line, without its CR LF
    static constexpr int MaxRun = 16384;

    struct Line {
        QByteArray text;
        bool tooLong = false;
    };

    // Appends every line completed by bytes to out; false when the client is to be disconnected.
    bool feed(const QByteArray& raw, QList<Line>& out);
    void clear();

private:
    enum Telnet { Plain, AfterIac, OptionByte };
    QByteArray unTelnet(const QByteArray& bytes);

    Telnet m_telnet = Plain;
    QByteArray m_line;
    qint64 m_run = 0;
    bool m_tooLong = false;
};
