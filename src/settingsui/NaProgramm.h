#pragma once

#include "NaSection.h"
#include "UserSettings.h"

// Editor of the program settings (PROGRAMM): mode, terminal number, work folder and the entry
// switches. The work folder must exist (or be created) before the copy goes into force; it then
// becomes the current folder.
class NaProgramm : public NaSection {
    Q_OBJECT
public:
    explicit NaProgramm(QObject* parent = nullptr);

signals:
    void ProgrammExit();

protected:
    QByteArray startEdit() override;
    void addRows() override;
    bool putIntoForce() override;
    void emitExit() override { emit ProgrammExit(); }

private:
    ProgrammSettings m_work;
};
