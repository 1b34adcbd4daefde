#pragma once

#include "Scanner.h"

#include <QByteArray>
#include <QList>

// A scanner whose codes the test queues: each read takes the next one, or fails when none is
// left. It counts the reads and keeps the time-out of the last one.
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

    QList<QByteArray> codes;
    int reads = 0;
    int lastTimeoutMs = -1;
};
