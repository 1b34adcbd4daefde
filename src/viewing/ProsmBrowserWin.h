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
// knows. The window does no work of its own; the browser tells it what to show.
class ProsmBrowserWin : public QWidget {
    Q_OBJECT
public:
    // The title label's text, white on blue.
    void setTitle(const QString& title);
    // Case, Delete and Add each show their text, or are hidden when it is empty; Back gets its text.
    void setButtonTexts(
        const QString& caseText, const QString& deleteText, const QString& addText, const QString& backText);
    // Nothing to choose, delete or add: Case, Delete and Add go and the table and the scroll bar
    // take their row.
    void giveButtonRowToTable();
    void setChoiceEnabled(bool caseEnabled, bool deleteEnabled);
    void setAddEnabled(bool enabled);
    // The table is only looked at: no cell editing, whole rows are selected.
    void setBrowseOnly();
    // Scrolls the table sideways so that the view column starts at the left edge.
    void scrollToColumn(int column);
    // The column whose text the line under the table shows whole for the selected row (-1: none).
    void setNameColumn(int column);

    // A short state (a scan is awaited) in the line under the table in place of the row's name;
    // an empty text gives the line back to the name.
    void showStatus(const QString& text);

    // The table and its scroll bar, for the table binding that fills and scrolls them.
    QTableWidget* table() const { return m_tabWid; }
    QScrollBar* scrollBar() const { return m_scrollBar; }

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
    void bindCommon(QLabel* title, QTableWidget* tabWid, QScrollBar* scrollBar, QLabel* rowName,
        QPushButton* caseButton, QPushButton* deleteButton, QPushButton* addButton, QPushButton* backButton);
    // One key press, at the widget that received it first. True when the key was taken.
    virtual bool handleKey(QObject* receiver, QKeyEvent* event);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void showRowName();

    QLabel* m_title = nullptr;
    QLabel* m_rowName = nullptr;
    int m_nameColumn = -1;
    QString m_status;
    QTableWidget* m_tabWid = nullptr;
    QScrollBar* m_scrollBar = nullptr;
    QPushButton* m_case = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_back = nullptr;
    // A key a child did not take travels on to the window; it was logged on its first stop.
    const QEvent* m_passedOn = nullptr;
};
