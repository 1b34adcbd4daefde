#pragma once

#include "ProsmBrowserWin.h"

#include <QStringList>

#include <memory>

namespace Ui {
class ProsmCaseWin;
}

// The browser window of a table file: besides the common part a search row (column chooser,
// search text, search button), the paging buttons and the scan key, which only asks for a read.
class ProsmCaseWin : public ProsmBrowserWin {
    Q_OBJECT
public:
    explicit ProsmCaseWin(QWidget* parent = nullptr);
    ~ProsmCaseWin() override;

    // Fills the column chooser and makes one item current.
    void setSearchItems(const QStringList& items, int current);
    QString searchText() const;
    // Puts the text into the search field, all of it selected.
    void setSearchText(const QString& text);
    // Gives the search field the focus, its text as it is.
    void focusSearch();
    // Selects all of the search text and gives it the focus, so the next typing replaces it.
    void selectSearchText();
    // The line under the table says that a scan is awaited, and Escape ends the wait instead of
    // going back; false ends it.
    void setScanWaiting(bool waiting);

signals:
    void snColChanged(int item);
    void snHome();
    void snEnd();
    void snPgUp();
    void snSearch();
    void snPgDown();
    // The scan key was pressed; waiting for the scanner is the browser's business.
    void snScan();
    // Escape while a scan is awaited.
    void snScanCancel();

protected:
    bool handleKey(QObject* receiver, QKeyEvent* event) override;

private:
    std::unique_ptr<Ui::ProsmCaseWin> m_ui;
    bool m_scanWaiting = false;
};
