#pragma once

#include "ui_ProsmAddWin.h"

#include <QWidget>

// The record editor's window: the table with one editable row, a help text and the buttons
// Case, Cancel, Record and Back, turned into sn... signals. Escape leaves like Back.
class ProsmAddWin : public QWidget, public Ui::ProsmAddWin {
    Q_OBJECT
public:
    explicit ProsmAddWin(QWidget* parent = nullptr);

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
};
