#pragma once

#include "ProsmBrowserWin.h"
#include "ui_ProsmTabWin.h"

// The plain browser window: title, table and the four buttons, no search or paging.
class ProsmTabWin : public ProsmBrowserWin, public Ui::ProsmTabWin {
    Q_OBJECT
public:
    explicit ProsmTabWin(QWidget* parent = nullptr);
};
