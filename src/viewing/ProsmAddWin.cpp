#include "ProsmAddWin.h"

#include <QKeyEvent>

ProsmAddWin::ProsmAddWin(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    connect(Case, &QPushButton::clicked, this, &ProsmAddWin::on_Case_clicked);
    connect(Cancel, &QPushButton::clicked, this, &ProsmAddWin::on_Cancel_clicked);
    connect(Record, &QPushButton::clicked, this, &ProsmAddWin::on_Record_clicked);
    connect(Back, &QPushButton::clicked, this, &ProsmAddWin::on_Back_clicked);
    connect(ScrollBar, &QScrollBar::valueChanged, this, &ProsmAddWin::on_ScrollBar_valueChanged);
    connect(TabWid, &QTableWidget::cellClicked, this, &ProsmAddWin::on_TabWid_cellClicked);
    connect(TabWid, &QTableWidget::currentCellChanged, this, &ProsmAddWin::on_TabWid_currentCellChanged);
}

void ProsmAddWin::on_Case_clicked()
{
    emit snCaseRec();
}

void ProsmAddWin::on_Cancel_clicked()
{
    emit snCancel();
}

void ProsmAddWin::on_Record_clicked()
{
    emit snRecord();
}

void ProsmAddWin::on_Back_clicked()
{
    emit snBack();
}

void ProsmAddWin::on_ScrollBar_valueChanged(int value)
{
    emit snValueChanged(value);
}

void ProsmAddWin::on_TabWid_cellClicked(int row, int column)
{
    emit snCellClicked(row, column);
}

void ProsmAddWin::on_TabWid_currentCellChanged(int row, int column, int, int)
{
    emit snCellClicked(row, column);
}

void ProsmAddWin::keyPressEvent(QKeyEvent* event)
{
    // Keys the table and an open cell editor leave alone arrive here; Escape inside a cell
    // editor only cancels that cell.
    if (event->key() == Qt::Key_Escape) {
        emit snBack();
        return;
    }
    QWidget::keyPressEvent(event);
}
