#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QString>

class QScrollBar;
class QTableWidget;

// Showing a binary table in a QTableWidget through a view. The widget only ever holds one page
// of records (the view's rows); the screens that use it decide which records that page shows.

// Formats one field of a record for a cell.
using FieldFormatter = QByteArray (*)(const FieldDescr& field, const QByteArray& record);

// Shapes the widget from the view (font, columns, widths, titles, hidden columns, alignment;
// cells never wrap and elide at the character) and stores the number of rows that fit into view.rows (one more with
// extraRow). Every cell exists afterwards.
void tabSetUp(QTableWidget* widget, ViewDescr& view, bool extraRow);
// For a narrow screen, after tabSetUp and with the view bound to the table: a shown column of a
// number field (DIGIT, INTEGER, SUMMA, QUANTITY) is right-aligned and as wide as the longest value
// the field can hold and its title; the name column takes the width left over, eliding its names
// at the character. Returns the name column, or -1.
int fitColumns(QTableWidget* widget, const TableDescr& table, const ViewDescr& view);
// The column that names the records: the shown column of the field NAME, else the widest shown
// TEXT column; -1 when there is none. The view must be bound to the table.
int nameColumn(const TableDescr& table, const ViewDescr& view);
// The longest text a number, date or time field can hold, written under its own length rule
// (DIGIT: its width of digits; INTEGER: either 32-bit limit with its sign; SUMMA and QUANTITY: the
// largest value, as their conversions take no sign), and for INTEGER, SUMMA and QUANTITY no longer
// than the field's length in characters. A TEXT field gives its width of blanks.
QByteArray longestFieldText(const FieldDescr& field);
// Single step 1, page step rows - 1, range 0 .. max(0, count - 1).
void scrollBarSetUp(QScrollBar* bar, const ViewDescr& view, qint32 count);
// Fills rows 0 .. n-1 from the table file starting at record first and clears the rest; then,
// with guard set while it does so, moves the scroll bar to first within 0 .. count - rows.
void seeFrom(const QString& binFile, const TableDescr& table, qint32 first, QTableWidget* widget, const ViewDescr& view,
    int n, QScrollBar* bar, bool& guard);
// Sets the cells of one row from a record; filling stops at the first column whose field the
// table lacks, and the cells from there on are left empty.
void fillRow(QTableWidget* widget, int row, const QByteArray& record, const TableDescr& table, const ViewDescr& view,
    FieldFormatter formatter = nullptr);
// Every cell of the row gets empty text; missing cells are created.
void clearRow(QTableWidget* widget, int row);
// Whole-row, whole-column and single-cell selection: clears the selection, selects the target when
// it lies inside the widget (nothing otherwise) and gives the widget focus.
void selCurRow(QTableWidget* widget, int row);
void selColumn(QTableWidget* widget, int column);
void selCell(QTableWidget* widget, int row, int column);
// Only the cells of that row stay selectable, editable and enabled; a row outside the widget
// changes nothing.
void setEditRow(QTableWidget* widget, int row);
// Every cell selectable, editable and enabled.
void setAllEditable(QTableWidget* widget);
// Closes a cell editor that is still open: with commit its text goes to the cell first (so a
// read-back sees what was typed), without it the text is dropped.
void closeOpenEditor(QTableWidget* widget, bool commit);
// Converts the shown cells of a row back into record, field by field. -1 when every cell
// converted, else the view column of the first field whose text was refused; the fields before
// it are already written. Fields without a shown column keep their bytes.
int readRowBack(
    const TableDescr& table, const ViewDescr& view, const QTableWidget* widget, int row, QByteArray& record);
