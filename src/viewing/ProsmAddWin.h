#pragma once

#include <QWidget>

#include <memory>

class QScrollBar;
class QTableWidget;

namespace Ui {
class ProsmAddWin;
}

// The record editor's window: the table with one editable row, a help text and the buttons
// Case, Cancel, Record and Back, turned into sn... signals. Escape leaves like Back.
class ProsmAddWin : public QWidget {
    Q_OBJECT
public:
    explicit ProsmAddWin(QWidget* parent = nullptr);
    ~ProsmAddWin() override;

    // The title label's text, white on blue.
    void setTitle(const QString& title);
    void setCaseText(const QString& text);
    void showHelp(const QString& text);
    void hideRecordButton();
    // Cells open for editing on any trigger, one cell at a time; the cursor goes to the first
    // shown cell of the row and the table takes the focus.
    void startRowEdit(int row);

    // The table and its scroll bar, for the table binding that fills them and reads the row back.
    QTableWidget* table() const;
    QScrollBar* scrollBar() const;

    // Wired to the widgets with typed connections in the constructor.
    void on_Case_clicked();
    void on_Cancel_clicked();
    void on_Record_clicked();
    void on_Back_clicked();
    void on_ScrollBar_valueChanged(int value);
    void on_TabWid_cellClicked(int row, int column);
    void on_TabWid_currentCellChanged(int row, int column, int previousRow, int previousColumn);

signals:
    void snCaseRec();
    void snCancel();
    void snRecord();
    void snBack();
    void snValueChanged(int value);
    void snCellClicked(int row, int column);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<Ui::ProsmAddWin> m_ui;
};
