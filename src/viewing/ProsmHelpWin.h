#pragma once

#include "ProsmBrowserWin.h"
#include "ui_ProsmHelpWin.h"

// The browser window with a read-only help text under the table and no search or paging.
class ProsmHelpWin : public ProsmBrowserWin, public Ui::ProsmHelpWin {
    Q_OBJECT
public:
    explicit ProsmHelpWin(QWidget* parent = nullptr);
};
