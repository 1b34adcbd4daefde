#include "VvodWin.h"
#include "ui_VvodWin.h"

#include "FitLabel.h"

VvodWin::VvodWin(QWidget* parent)
    : VvodPanelWin(parent)
    , m_ui(std::make_unique<Ui::VvodWin>())
{
    m_ui->setupUi(this);
    bindCommon({ m_ui->vBar, m_ui->bBar, m_ui->vRest, m_ui->bRest, m_ui->Cancel, m_ui->Search, m_ui->Exit, m_ui->vPrice,
        m_ui->UserTitle });
    connect(m_ui->ScrollBar, &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_settingScroll)
            emit snValCha(value);
    });
    connect(m_ui->TabWid, &QTableWidget::cellClicked, this, &VvodWin::snCellCli);
    // The table only shows the lines: the keypad's Up and Down select them through the panel, and
    // Tab goes past the table to the buttons instead of from cell to cell.
    m_ui->TabWid->setFocusPolicy(Qt::NoFocus);
    connect(m_ui->TabWid, &QTableWidget::itemSelectionChanged, this, &VvodWin::showRowName);
    connect(m_ui->TabWid, &QTableWidget::itemChanged, this, [this](const QTableWidgetItem* item) {
        if (item->column() == m_nameColumn && item->isSelected())
            showRowName();
    });
}

VvodWin::~VvodWin() = default;

int VvodWin::setUpTable(ViewDescr& view, const TableDescr& table)
{
    tabSetUp(m_ui->TabWid, view, false);
    view.bind(table);
    m_nameColumn = fitColumns(m_ui->TabWid, table, view);
    m_ui->ScrollBar->setSingleStep(1);
    m_ui->ScrollBar->setPageStep(qMax(1, view.rows - 1));
    return view.rows;
}

void VvodWin::showRow(
    int row, const QByteArray& record, const TableDescr& table, const ViewDescr& view, FieldFormatter formatter)
{
    fillRow(m_ui->TabWid, row, record, table, view, formatter);
}

void VvodWin::clearRow(int row)
{
    ::clearRow(m_ui->TabWid, row);
}

void VvodWin::selectRow(int row)
{
    if (row < 0)
        m_ui->TabWid->clearSelection();
    else
        selCurRow(m_ui->TabWid, row);
}

void VvodWin::showPendingName(const QString& name)
{
    m_ui->TabWid->clearSelection();
    m_ui->RowName->setText(name);
    fitLabelToWidth(m_ui->RowName);
}

void VvodWin::setScroll(int max, int value)
{
    m_settingScroll = true;
    m_ui->ScrollBar->setRange(0, max);
    m_ui->ScrollBar->setValue(value);
    m_settingScroll = false;
}

void VvodWin::showRowName()
{
    const QList<QTableWidgetSelectionRange> ranges = m_ui->TabWid->selectedRanges();
    const QTableWidgetItem* item
        = ranges.isEmpty() || m_nameColumn < 0 ? nullptr : m_ui->TabWid->item(ranges.first().topRow(), m_nameColumn);
    m_ui->RowName->setText(item ? item->text() : QString());
    fitLabelToWidth(m_ui->RowName);
}
