#pragma once

#include "Scanner.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

// Where scanned codes go. Codes arrive by themselves from the scanner; the windows that wait for
// scans claim the feed, and the latest claim that takes a code gets it, so a chooser opened over
// data entry takes the scans while it is open and data entry takes them again afterwards. The scan
// key only starts a visible wait for the next code, ended by that code, by the operator (Escape)
// or by the scanner's time-out; nothing ever blocks the event loop.
class ScanFeed : public QObject {
    Q_OBJECT
public:
    // Whether the claim's window can take a code now; if not, the code goes to the claim below.
    using Ready = std::function<bool()>;
    // Takes a code's text.
    using Taker = std::function<void(const QString& text)>;

    static ScanFeed& instance();

    // The owner's window waits for scans from now on, above every earlier claim. A claim ends with
    // release() or with its owner.
    void claim(QObject* owner, Ready ready, Taker take);
    void release(QObject* owner);

    // The scan key: the next code is awaited for at most timeoutMs. False, and no wait, when no
    // scanner is ready: nothing could arrive, and a failed read stays silent.
    bool startWait(int timeoutMs = Scanner::ReadTimeoutMs);
    // The operator gave up waiting.
    void endWait();
    bool waiting() const { return m_wait.isActive(); }
    // How long the wait lasts in all.
    int waitInterval() const { return m_wait.interval(); }

    // A code read by the scanner (bytes as read): the wait ends, and the latest claim that takes it
    // gets its text with the application beep. A code nobody takes, or one that comes while a box
    // asks the operator something, is refused: the run log and the refusal sound.
    void deliver(const QByteArray& code);

signals:
    // A wait started (true) or ended, however it ended (false).
    void waitChanged(bool waiting);

private:
    ScanFeed();

    struct Claim {
        QPointer<QObject> owner;
        Ready ready;
        Taker take;
    };
    QList<Claim> m_claims;
    QTimer m_wait;
    bool m_delivering = false;
};
