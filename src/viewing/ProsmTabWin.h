#pragma once

#include "ProsmBrowserWin.h"

#include <memory>

namespace Ui {
class ProsmTabWin;
}

// The plain browser window: title, table and the four buttons, no search or paging.
class ProsmTabWin : public ProsmBrowserWin {
    Q_OBJECT
public:
    explicit ProsmTabWin(QWidget* parent = nullptr);
    ~ProsmTabWin() override;

private:
    std::unique_ptr<Ui::ProsmTabWin> m_ui;
};
