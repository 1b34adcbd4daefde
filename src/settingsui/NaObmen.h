#pragma once

#include "NaSection.h"
#include "UserSettings.h"

// Editor of the exchange settings (OBMEN): the channel and what happens around loads and unloads.
class NaObmen : public NaSection {
    Q_OBJECT
public:
    explicit NaObmen(QObject* parent = nullptr);

signals:
    void snObmenExit();

protected:
    QByteArray startEdit() override;
    void addRows() override;
    bool putIntoForce() override;
    void emitExit() override { emit snObmenExit(); }

private:
    ObmenSettings m_work;
};
