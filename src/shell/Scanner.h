#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <Qt>

#include <memory>

// The barcode scanner: initialised once at start-up, then one blocking read per press of the scan
// key (Qt::Key_Print). A read waits at most the time-out and delivers at most 255 bytes.
class Scanner {
public:
    static constexpr int ReadTimeoutMs = 15000;
    static constexpr int MaxCodeBytes = 255;
    // The key that starts a read in a scanning window.
    static constexpr Qt::Key ScanKey = Qt::Key_Print;

    virtual ~Scanner() = default;
    // True when the device is ready; a failure is not reported anywhere.
    virtual bool init() = 0;
    // Blocks up to timeoutMs for one code; false on time-out or any failure.
    virtual bool read(QByteArray& code, int timeoutMs) = 0;
};

// Splits a byte stream into codes, one per line. CR, LF and CRLF all end a line, empty lines are
// skipped, and a line keeps only its first 255 bytes however long it grows, so a device that never
// sends a line end cannot make the buffer grow without bound.
class ScanLineSplitter {
public:
    void feed(const QByteArray& chunk);
    // Takes the next complete code; false when no complete line has arrived yet.
    bool take(QByteArray& code);

private:
    QList<QByteArray> m_ready;
    QByteArray m_partial;
    bool m_cut = false; // the current line passed 255 bytes; the rest of it is dropped
};

// The process-wide scanner (a "none" scanner until start-up installs another).
Scanner& scanner();
void installScanner(std::unique_ptr<Scanner> s);
// Start-up's one initialisation of the installed scanner; the result is kept, and reads of a
// scanner whose initialisation failed fail silently.
bool initScanner();
bool scannerReady();

// Creates a back end from a description: "serial:/dev/ttyUSB0[:baud]", "pipe:/path" or
// "file:/path" (one code per line), "none" or empty. Unknown descriptions give "none".
std::unique_ptr<Scanner> makeScanner(const QString& device);

// The scan-key action of a scanning window: reads from the process-wide scanner with the
// 15000 ms time-out; on success beeps and returns true with the text (at most 255 bytes, ending at
// the first zero byte). A failed read is silent: no beep, false.
bool scanBarcode(QString& text, int timeoutMs = Scanner::ReadTimeoutMs);
