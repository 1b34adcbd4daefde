#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <Qt>

#include <functional>
#include <memory>

// The barcode scanner: initialised once at start-up. Once initialised, the codes it reads arrive
// by themselves (watch()) and go to the window that waits for scans (ScanFeed); the scan key
// (Qt::Key_Print) only shows that a code is awaited. read() is the blocking read of one code, for
// scripts and checks; no window calls it. A code is at most 255 bytes.
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
    // From now on every complete code is handed to deliver, from the event loop of the calling
    // thread, without anybody asking. False when the back end has no device to watch.
    virtual bool watch(std::function<void(const QByteArray&)> deliver)
    {
        (void)deliver;
        return false;
    }
};

// Splits a byte stream into codes, one per line. CR, LF and CRLF all end a line, empty lines are
// skipped, and a line keeps only its first 255 bytes however long it grows, so a device that never
// sends a line end cannot make the buffer grow without bound.
class ScanLineSplitter {
public:
    void feed(const QByteArray& chunk);
    // Takes the next complete code; false when no complete line has arrived yet.
    bool take(QByteArray& code);
    // Takes every complete code at once, in order.
    QList<QByteArray> takeAll();

private:
    QList<QByteArray> m_ready;
    QByteArray m_partial;
    bool m_cut = false; // the current line passed 255 bytes; the rest of it is dropped
};

// A scanner in keyboard mode seen through the kernel's input events: the key presses become the
// bytes the scanner types. Digits, Latin letters (upper case while a shift key is held) and the
// usual punctuation of codes; Enter becomes a line end, which ends a code. Other keys type nothing.
class EvdevKeys {
public:
    // One input event (type, code and value as the kernel gives them); the bytes it types.
    QByteArray feed(quint16 type, quint16 code, qint32 value);
    // What a key types with or without shift: a character, '\n' for Enter, 0 for nothing.
    static char keyChar(quint16 code, bool shift);

private:
    bool m_leftShift = false;
    bool m_rightShift = false;
};

// The process-wide scanner (a "none" scanner until start-up installs another).
Scanner& scanner();
void installScanner(std::unique_ptr<Scanner> s);
// Start-up's one initialisation of the installed scanner; the result is kept, and reads of a
// scanner whose initialisation failed fail silently.
bool initScanner();
bool scannerReady();

// Creates a back end from a description: "serial:/dev/ttyUSB0[:baud]", "pipe:/path" or
// "file:/path" (one code per line), "evdev:/dev/input/eventN" (a USB scanner in keyboard mode,
// grabbed so that its keys reach no window), "none" or empty. Unknown descriptions give "none".
std::unique_ptr<Scanner> makeScanner(const QString& device);

// A code's text as a window takes it: at most 255 bytes, ending at the first zero byte.
QString scanText(QByteArray code);

// One blocking read from the process-wide scanner (scripts and checks; windows never block on the
// scanner, they take codes through ScanFeed): on success beeps and returns true with the text.
// A failed read is silent: no beep, false.
bool scanBarcode(QString& text, int timeoutMs = Scanner::ReadTimeoutMs);
