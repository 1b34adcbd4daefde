#pragma once

#include "ProsmBrowserWin.h"

#include <memory>

namespace Ui {
class ProsmHelpWin;
}

// The browser window with a read-only help text under the table and no search or paging.
class ProsmHelpWin : public ProsmBrowserWin {
    Q_OBJECT
public:
    explicit ProsmHelpWin(QWidget* parent = nullptr);
    ~ProsmHelpWin() override;

    // Shows the text under the table; an empty text hides the area.
    void showHelp(const QString& text);

private:
    std::unique_ptr<Ui::ProsmHelpWin> m_ui;
};
