#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// The barcode scanner: initialised once at start-up, then one blocking read per press of the scan
// key (Qt::Key_Print). A read waits at most the time-out and delivers at most 255 bytes.
class Scanner {
public:
    static constexpr int ReadTimeoutMs = 15000;
    static constexpr int MaxCodeBytes = 255;

    virtual ~Scanner() = default;
    // True when the device is ready; a failure is not reported anywhere.
    virtual bool init() = 0;
    // Blocks up to timeoutMs for one code; false on time-out or any failure.
    virtual bool read(QByteArray &code, int timeoutMs) = 0;
};

// The process-wide scanner (a "none" scanner until start-up installs another).
Scanner &scanner();
void installScanner(std::unique_ptr<Scanner> s);

// Creates a back end from a description: "serial:/dev/ttyUSB0[:baud]", "pipe:/path" or
// "file:/path" (one code per line), "none" or empty. Unknown descriptions give "none".
std::unique_ptr<Scanner> makeScanner(const QString &spec);

// The scan-key action of a scanning window: reads from the process-wide scanner with the
// 15000 ms time-out; on success beeps and returns true with the text (at most 255 bytes).
bool scanBarcode(QString &text);
