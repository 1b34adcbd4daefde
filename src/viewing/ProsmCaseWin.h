#pragma once

#include "ProsmBrowserWin.h"
#include "ui_ProsmCaseWin.h"

// The browser window of a table file: besides the common part a search row (column chooser,
// search text, search button), the paging buttons and the scan key.
class ProsmCaseWin : public ProsmBrowserWin, public Ui::ProsmCaseWin {
    Q_OBJECT
public:
    explicit ProsmCaseWin(QWidget* parent = nullptr);

signals:
    void snColChanged(int item);
    void snHome();
    void snEnd();
    void snPgUp();
    void snSearch();
    void snPgDown();
    void snBarRead(const QString& barcode);

protected:
    bool handleKey(QObject* receiver, QKeyEvent* event) override;
};
