#include "TableBinding.h"

#include "Codec.h"
#include "FieldCodec.h"
#include "RunLog.h"
#include "Units.h"

#include <QAbstractItemDelegate>
#include <QFile>
#include <QFont>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QtEndian>
#include <QtMath>

#include <limits>

namespace {

constexpr Qt::ItemFlags EditableFlags = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;

QTableWidgetItem* cell(QTableWidget* widget, int row, int column)
{
    QTableWidgetItem* item = widget->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        widget->setItem(row, column, item);
    }
    return item;
}

// The view stores a Qt horizontal alignment; a value without a vertical part is centred
// vertically so that left and right cells line up with centred ones.
Qt::Alignment cellAlignment(qint32 stored)
{
    Qt::Alignment a = Qt::Alignment::fromInt(stored);
    if (!(a & Qt::AlignVertical_Mask))
        a |= Qt::AlignVCenter;
    return a;
}

bool isNumber(FieldType type)
{
    return type == FieldType::Digit || type == FieldType::Integer || type == FieldType::Summa
        || type == FieldType::Quantity;
}

// The text of a 32-bit value in the field's form, no longer than the field's length in characters
// (the office's text never holds more): its last characters, so that the point stays in place.
QByteArray numberText(const FieldDescr& field, qint32 value)
{
    FieldDescr alone = field;
    alone.offset = 0;
    QByteArray bytes(alone.width, '\0');
    qToLittleEndian<qint32>(value, bytes.data());
    const QByteArray text = fieldToText(alone, bytes);
    return field.length > 0 && text.size() > field.length ? text.right(field.length) : text;
}

// Pixels the text needs in a cell: the item delegate keeps a margin on both sides and the grid
// takes the column's last pixel.
int cellWidthFor(const QTableWidget* widget, const QString& text)
{
    const int margin = widget->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    // The cell lays its text out at fractional positions: the whole pixel above it is needed.
    const int advance = qCeil(QFontMetricsF(widget->font()).horizontalAdvance(text));
    return advance + 2 * margin + 1;
}

// The value's text with every digit the widest one of the font, so that no value of that length is wider.
QString widestDigits(const QFontMetrics& metrics, const QByteArray& text)
{
    QChar widest = QLatin1Char('0');
    for (char d = '1'; d <= '9'; ++d)
        if (metrics.horizontalAdvance(QLatin1Char(d)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(d);
    QString out = QString::fromLatin1(text);
    for (QChar& ch : out)
        if (ch.isDigit())
            ch = widest;
    return out;
}

} // namespace

QByteArray longestFieldText(const FieldDescr& field)
{
    switch (field.type) {
    case FieldType::Digit:
        return QByteArray(field.rule == LenRule::Maxlen ? qMax(field.width, field.length) : field.width, '9');
    case FieldType::Integer: {
        const QByteArray low = numberText(field, std::numeric_limits<qint32>::min());
        const QByteArray high = numberText(field, std::numeric_limits<qint32>::max());
        return low.size() >= high.size() ? low : high;
    }
    case FieldType::Summa:
    case FieldType::Quantity:
        return numberText(field, std::numeric_limits<qint32>::max());
    case FieldType::Date:
        return QByteArrayLiteral("00.00.00");
    case FieldType::Time:
        return QByteArrayLiteral("00:00");
    case FieldType::Text:
        return QByteArray(field.rule == LenRule::Maxlen ? qMax(field.width, field.length) : field.width, ' ');
    }
    return {};
}

int nameColumn(const TableDescr& table, const ViewDescr& view)
{
    const int nameField = table.fieldIndex(QByteArrayLiteral("NAME"));
    const int name = nameField >= 0 ? view.columnOfFieldIndex(nameField, ColumnFilter::Shown) : -1;
    if (name >= 0)
        return name;
    int widest = -1;
    for (int c = 0; c < view.columns.size(); ++c) {
        const ColumnDescr& column = view.columns[c];
        if (column.shown == '+' && column.fieldIndex >= 0 && column.fieldIndex < table.fields.size()
            && table.fields[column.fieldIndex].type == FieldType::Text
            && (widest < 0 || column.width > view.columns[widest].width))
            widest = c;
    }
    return widest;
}

int fitColumns(QTableWidget* widget, const TableDescr& table, const ViewDescr& view)
{
    const QFontMetrics cellMetrics(widget->font());
    const QFontMetrics titleMetrics(widget->horizontalHeader()->font());
    const int name = nameColumn(table, view);
    const int columns = qMin(widget->columnCount(), static_cast<int>(view.columns.size()));
    int used = 0;
    for (int c = 0; c < columns; ++c) {
        const ColumnDescr& column = view.columns[c];
        if (column.shown != '+' || c == name)
            continue;
        const int fi = column.fieldIndex;
        if (fi >= 0 && fi < table.fields.size() && isNumber(table.fields[fi].type)) {
            const QString longest = widestDigits(cellMetrics, longestFieldText(table.fields[fi]));
            const int title = titleMetrics.horizontalAdvance(toUi(column.title))
                + 2 * widget->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, widget);
            widget->setColumnWidth(c, qMax(cellWidthFor(widget, longest), title));
            const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
            for (int r = 0; r < widget->rowCount(); ++r)
                cell(widget, r, c)->setTextAlignment(right);
            if (QTableWidgetItem* header = widget->horizontalHeaderItem(c))
                header->setTextAlignment(right);
        }
        used += widget->columnWidth(c);
    }
    if (name >= 0) {
        // Whatever the other columns leave, but never so little that a name shows nothing.
        const int room = widget->width() - 2 * widget->frameWidth() - used;
        widget->setColumnWidth(name, qMax(room, cellWidthFor(widget, QStringLiteral("WWWW"))));
        // A centred title wider than its column would lose both ends.
        if (QTableWidgetItem* header = widget->horizontalHeaderItem(name))
            header->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return name;
}

void tabSetUp(QTableWidget* widget, ViewDescr& view, bool extraRow)
{
    logLine(QByteArrayLiteral("tabSetUp"));
    QFont font(toUi(view.fontFamily), view.fontSize > 0 ? view.fontSize : 12);
    font.setBold(true);
    widget->setFont(font);

    const int columns = static_cast<int>(view.columns.size());
    widget->clear();
    widget->setColumnCount(columns);
    QStringList titles;
    for (int c = 0; c < columns; ++c)
        titles << toUi(view.columns[c].title);
    widget->setHorizontalHeaderLabels(titles);
    for (int c = 0; c < columns; ++c) {
        widget->setColumnWidth(c, view.columns[c].width);
        widget->setColumnHidden(c, view.columns[c].shown != '+');
    }

    widget->setRowCount(1);
    widget->resizeRowsToContents();
    int h = widget->rowHeight(0);
    if (h <= 0)
        h = widget->fontMetrics().height() + 4;
    // The header takes about 20 pixels and one row is left for the horizontal scroll bar.
    int rows = (widget->height() + h / 5 - 20) / h - 1;
    if (extraRow)
        ++rows;
    // A screen too small for one row would make every page move a no-op or worse; one row is
    // always shown.
    rows = qMax(1, rows);
    view.rows = rows;

    widget->setRowCount(rows);
    widget->resizeRowsToContents();
    widget->verticalHeader()->hide();
    widget->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    widget->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // A wrapped cell shows only its first line: a name would be cut to its first word.
    widget->setWordWrap(false);
    widget->setTextElideMode(Qt::ElideRight);
    widget->setSelectionMode(QAbstractItemView::SingleSelection);
    widget->setSelectionBehavior(QAbstractItemView::SelectRows);

    for (int c = 0; c < columns; ++c) {
        const Qt::Alignment align = cellAlignment(view.columns[c].alignment);
        for (int r = 0; r < rows; ++r)
            cell(widget, r, c)->setTextAlignment(align);
    }
    logLine(QByteArrayLiteral("/tabSetUp"));
}

void scrollBarSetUp(QScrollBar* bar, const ViewDescr& view, qint32 count)
{
    bar->setSingleStep(1);
    bar->setPageStep(qMax(1, view.rows - 1));
    bar->setRange(0, qMax(0, count - 1));
}

void seeFrom(const QString& binFile, const TableDescr& table, qint32 first, QTableWidget* widget, const ViewDescr& view,
    int n, QScrollBar* bar, bool& guard)
{
    logLine(QByteArrayLiteral("seeFrom"));
    int filled = 0;
    QFile file(binFile);
    const qint64 length = table.recordLength;
    if (length > 0 && first >= 0 && file.open(QIODevice::ReadOnly) && file.seek(qint64(first) * length)) {
        QByteArray record(length, '\0');
        const int limit = qMin(n, widget->rowCount());
        while (filled < limit && file.read(record.data(), length) == length) {
            fillRow(widget, filled, record, table, view);
            ++filled;
        }
        file.close();
    }
    for (int r = filled; r < widget->rowCount(); ++r)
        clearRow(widget, r);

    const bool wasGuarded = guard;
    guard = true;
    bar->setRange(0, qMax(0, table.recordCount - view.rows));
    bar->setValue(first);
    guard = wasGuarded;
}

void fillRow(QTableWidget* widget, int row, const QByteArray& record, const TableDescr& table, const ViewDescr& view,
    FieldFormatter formatter)
{
    if (row < 0 || row >= widget->rowCount())
        return;
    if (!formatter)
        formatter = &fieldToText;
    const int columns = qMin(widget->columnCount(), static_cast<int>(view.columns.size()));
    int c = 0;
    for (; c < columns; ++c) {
        const int fi = view.columns[c].fieldIndex;
        if (fi < 0 || fi >= table.fields.size())
            break;
        cell(widget, row, c)->setText(toUi(formatter(table.fields[fi], record)));
    }
    for (; c < widget->columnCount(); ++c)
        cell(widget, row, c)->setText(QString());
}

void clearRow(QTableWidget* widget, int row)
{
    if (row < 0 || row >= widget->rowCount())
        return;
    for (int c = 0; c < widget->columnCount(); ++c)
        cell(widget, row, c)->setText(QString());
}

void selCurRow(QTableWidget* widget, int row)
{
    widget->setSelectionBehavior(QAbstractItemView::SelectRows);
    widget->clearSelection();
    if (row >= 0 && row < widget->rowCount())
        widget->selectRow(row);
    widget->setFocus();
}

void selColumn(QTableWidget* widget, int column)
{
    widget->setSelectionBehavior(QAbstractItemView::SelectColumns);
    widget->clearSelection();
    if (column >= 0 && column < widget->columnCount())
        widget->selectColumn(column);
    widget->setFocus();
}

void selCell(QTableWidget* widget, int row, int column)
{
    widget->setSelectionBehavior(QAbstractItemView::SelectItems);
    widget->clearSelection();
    if (row >= 0 && row < widget->rowCount() && column >= 0 && column < widget->columnCount())
        widget->setCurrentCell(row, column, QItemSelectionModel::ClearAndSelect);
    widget->setFocus();
}

void setEditRow(QTableWidget* widget, int row)
{
    if (row < 0 || row >= widget->rowCount())
        return;
    for (int r = 0; r < widget->rowCount(); ++r)
        for (int c = 0; c < widget->columnCount(); ++c)
            cell(widget, r, c)->setFlags(r == row ? EditableFlags : Qt::NoItemFlags);
}

void setAllEditable(QTableWidget* widget)
{
    for (int r = 0; r < widget->rowCount(); ++r)
        for (int c = 0; c < widget->columnCount(); ++c)
            cell(widget, r, c)->setFlags(EditableFlags);
}

void closeOpenEditor(QTableWidget* widget, bool commit)
{
    const QModelIndex index = widget->currentIndex();
    QWidget* editor = index.isValid() ? widget->indexWidget(index) : nullptr;
    if (!editor)
        return;
    QAbstractItemDelegate* delegate = widget->itemDelegateForIndex(index);
    if (commit)
        emit delegate->commitData(editor);
    emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
}

int readRowBack(const TableDescr& table, const ViewDescr& view, const QTableWidget* widget, int row, QByteArray& record)
{
    if (record.size() < table.recordLength)
        record.append(QByteArray(table.recordLength - record.size(), '\0'));
    for (int fi = 0; fi < table.fields.size(); ++fi) {
        const int column = view.columnOfFieldIndex(fi, ColumnFilter::Shown);
        if (column < 0)
            continue;
        const QTableWidgetItem* item = column < widget->columnCount() ? widget->item(row, column) : nullptr;
        QByteArray text = item ? fromUi(item->text()) : QByteArray();
        const FieldType type = table.fields[fi].type;
        if (type == FieldType::Summa || type == FieldType::Quantity)
            text = typedDecimal(text);
        if (!textToField(table.fields[fi], text, record))
            return column;
    }
    return -1;
}
