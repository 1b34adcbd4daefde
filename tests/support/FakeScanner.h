#pragma once

#include "Scanner.h"

#include <QByteArray>
#include <QList>

#include <functional>

// A scanner whose codes the test queues: each read takes the next one, or fails when none is
// left. It counts the reads and keeps the time-out of the last one. send() is a code the scanner
// reads by itself, handed on as a watched device hands it on.
class FakeScanner : public Scanner {
public:
    bool init() override { return true; }
    bool read(QByteArray& code, int timeoutMs) override
    {
        ++reads;
        lastTimeoutMs = timeoutMs;
        if (codes.isEmpty())
            return false;
        code = codes.takeFirst();
        return true;
    }
    bool watch(std::function<void(const QByteArray&)> deliver) override
    {
        m_deliver = std::move(deliver);
        return true;
    }
    void send(const QByteArray& code)
    {
        if (m_deliver)
            m_deliver(code);
    }

    QList<QByteArray> codes;
    int reads = 0;
    int lastTimeoutMs = -1;

private:
    std::function<void(const QByteArray&)> m_deliver;
};
