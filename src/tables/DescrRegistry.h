#pragma once

#include "TableDescr.h"

#include <QByteArray>

// The fixed descriptor slots that live for the whole run: five tables by extension, fourteen
// views by (extension, mode), six parameter views by name. An unfilled slot is empty.
class DescrRegistry {
public:
    static constexpr int TableSlots = 5;
    static constexpr int ViewSlots = 14;
    static constexpr int ParmViewSlots = 6;

    // Slot index of an extension (TVR, PRH, RES, WGT, TAB), or -1.
    static int tableSlot(const QByteArray& extension);
    // Slot index of a pair of table extension and mode, or -1 (only the fourteen known pairs).
    static int viewSlot(const QByteArray& extension, const QByteArray& mode);
    static int parmViewSlot(const QByteArray& name);

    // nullptr when there is no such slot.
    TableDescr* table(const QByteArray& extension);
    ViewDescr* view(const QByteArray& extension, const QByteArray& mode);
    ParmViewDescr* parmView(const QByteArray& name);

    TableDescr& tableAt(int slot) { return m_tables[slot]; }
    ViewDescr& viewAt(int slot) { return m_views[slot]; }
    ParmViewDescr& parmViewAt(int slot) { return m_parmViews[slot]; }

    void clear();

private:
    TableDescr m_tables[TableSlots];
    ViewDescr m_views[ViewSlots];
    ParmViewDescr m_parmViews[ParmViewSlots];
};

// The process-wide registry.
DescrRegistry& descrRegistry();
