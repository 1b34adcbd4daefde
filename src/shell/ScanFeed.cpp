#include "ScanFeed.h"

#include "Cue.h"
#include "RunLog.h"

#include <QApplication>

ScanFeed::ScanFeed()
{
    m_wait.setSingleShot(true);
    // The feed outlives the application object; its timer must not run past it.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, &m_wait, &QTimer::stop);
    connect(&m_wait, &QTimer::timeout, this, [this] {
        logLine(QByteArrayLiteral("scan: no code came"));
        emit waitChanged(false);
    });
}

ScanFeed& ScanFeed::instance()
{
    static ScanFeed feed;
    return feed;
}

void ScanFeed::claim(QObject* owner, Ready ready, Taker take)
{
    release(owner);
    // A wait belongs to the window that asked for it; a new window does not inherit it.
    endWait();
    m_claims.append({ owner, std::move(ready), std::move(take) });
}

void ScanFeed::release(QObject* owner)
{
    m_claims.removeIf([owner](const Claim& c) { return !c.owner || c.owner == owner; });
}

bool ScanFeed::startWait(int timeoutMs)
{
    if (!scannerReady())
        return false;
    m_wait.start(timeoutMs);
    emit waitChanged(true);
    return true;
}

void ScanFeed::endWait()
{
    if (!m_wait.isActive())
        return;
    m_wait.stop();
    emit waitChanged(false);
}

void ScanFeed::deliver(const QByteArray& code)
{
    const QString text = scanText(code);
    endWait();
    // A box waits for an answer (its own event loop runs): a scan must not act behind it, nor
    // another scan inside the handling of this one.
    // The operator watches the goods, not the screen: a code that goes nowhere sounds refused.
    if (m_delivering || QApplication::activeModalWidget()) {
        logLine(QByteArrayLiteral("scan: not taken while a box is open ") + code.left(64));
        playCue(Cue::Refused);
        return;
    }
    m_delivering = true;
    bool taken = false;
    for (qsizetype i = m_claims.size() - 1; i >= 0 && !taken; --i) {
        const Claim claim = m_claims[i];
        if (claim.owner && claim.ready()) {
            taken = true;
            QApplication::beep();
            claim.take(text);
        }
    }
    m_delivering = false;
    if (!taken) {
        logLine(QByteArrayLiteral("scan: no window takes a code ") + code.left(64));
        playCue(Cue::Refused);
    }
}
