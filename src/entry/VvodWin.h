#pragma once

#include "TableBinding.h"
#include "VvodPanelWin.h"

#include <memory>

namespace Ui {
class VvodWin;
}

// The table panel: one page of the result table (RES "ВВОД" view) above the entry line and the
// quantity line, with a scroll bar of its own because the table holds only the visible rows.
class VvodWin : public VvodPanelWin {
    Q_OBJECT
public:
    explicit VvodWin(QWidget* parent = nullptr);
    ~VvodWin() override;

    // Shapes TabWid from the view (no extra row), binds the view to the table, fits the columns to
    // the screen and returns the rows that fit (view.rows). The scroll bar then moves one row per
    // step and a page less one row per page. The line under the table shows the whole name of the
    // selected row.
    int setUpTable(ViewDescr& view, const TableDescr& table);
    // One row from a record, through the formatter.
    void showRow(
        int row, const QByteArray& record, const TableDescr& table, const ViewDescr& view, FieldFormatter formatter);
    void clearRow(int row);
    // Selects the whole row; -1 clears the selection.
    void selectRow(int row);
    // A new item awaiting its quantity has no row yet: no row is selected and the line under the
    // table names the item instead.
    void showPendingName(const QString& name);
    // Range 0 .. max and the value, set without emitting snValCha: only the operator's moves are
    // reported.
    void setScroll(int max, int value);

signals:
    void snValCha(int value);
    void snCellCli(int row, int column);

private:
    void showRowName();

    std::unique_ptr<Ui::VvodWin> m_ui;
    int m_nameColumn = -1;
    bool m_settingScroll = false;
};
