#pragma once

#include <QWidget>

class QKeyEvent;
class QLabel;
class QPushButton;
class QScrollBar;
class QTableWidget;

// Shows a screen window the way the main menu is shown: full screen and frameless on the
// terminal, an ordinary 240 x 320 window when the main menu runs windowed or there is none.
void showScreen(QWidget* window);

// What the three browser windows have in common: the title label, the table, the scroll bar and
// the buttons Case, Delete, Add and Back, turned into sn... signals, and the keys every kind
// knows. The window does no work of its own; the browser drives its widgets directly.
class ProsmBrowserWin : public QWidget {
    Q_OBJECT
public:
    QLabel* userTitle() const { return m_title; }
    QTableWidget* tabWid() const { return m_tabWid; }
    QScrollBar* scrollBar() const { return m_scrollBar; }
    QPushButton* caseButton() const { return m_case; }
    QPushButton* deleteButton() const { return m_delete; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* backButton() const { return m_back; }

signals:
    void snUp();
    void snDown();
    void snValueChanged(int value);
    void snCellClicked(int row, int column);
    void snCaseRec();
    void snDeleteRec();
    void snAddRec();
    void snBack();

protected:
    explicit ProsmBrowserWin(QWidget* parent = nullptr);

    // Called by each kind after its form is set up.
    void bindCommon(QLabel* title, QTableWidget* tabWid, QScrollBar* scrollBar, QPushButton* caseButton,
        QPushButton* deleteButton, QPushButton* addButton, QPushButton* backButton);
    // One key press, at the widget that received it first. True when the key was taken.
    virtual bool handleKey(QObject* receiver, QKeyEvent* event);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    QLabel* m_title = nullptr;
    QTableWidget* m_tabWid = nullptr;
    QScrollBar* m_scrollBar = nullptr;
    QPushButton* m_case = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_back = nullptr;
    // A key a child did not take travels on to the window; it was logged on its first stop.
    const QEvent* m_passedOn = nullptr;
};
