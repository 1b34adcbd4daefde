#pragma once

#include "NaSection.h"
#include "UserSettings.h"

// Editor of the data-entry settings (VVOD).
class NaVvod : public NaSection {
    Q_OBJECT
public:
    explicit NaVvod(QObject* parent = nullptr);

signals:
    void VvodExit();

protected:
    QByteArray startEdit() override;
    void addRows() override;
    bool putIntoForce() override;
    void emitExit() override { emit VvodExit(); }

private:
    VvodSettings m_work;
};
