#include "ProsmAddWin.h"

#include "ui_ProsmAddWin.h"

#include <QKeyEvent>

ProsmAddWin::ProsmAddWin(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::ProsmAddWin>())
{
    m_ui->setupUi(this);
    connect(m_ui->Case, &QPushButton::clicked, this, &ProsmAddWin::on_Case_clicked);
    connect(m_ui->Cancel, &QPushButton::clicked, this, &ProsmAddWin::on_Cancel_clicked);
    connect(m_ui->Record, &QPushButton::clicked, this, &ProsmAddWin::on_Record_clicked);
    connect(m_ui->Back, &QPushButton::clicked, this, &ProsmAddWin::on_Back_clicked);
    connect(m_ui->ScrollBar, &QScrollBar::valueChanged, this, &ProsmAddWin::on_ScrollBar_valueChanged);
    connect(m_ui->TabWid, &QTableWidget::cellClicked, this, &ProsmAddWin::on_TabWid_cellClicked);
    connect(m_ui->TabWid, &QTableWidget::currentCellChanged, this, &ProsmAddWin::on_TabWid_currentCellChanged);
}

ProsmAddWin::~ProsmAddWin() = default;

void ProsmAddWin::setTitle(const QString& title)
{
    m_ui->UserTitle->setText(title);
    m_ui->UserTitle->setStyleSheet(QStringLiteral("color: white; background: blue"));
}

void ProsmAddWin::setCaseText(const QString& text)
{
    m_ui->Case->setText(text);
}

void ProsmAddWin::showHelp(const QString& text)
{
    m_ui->Help->setPlainText(text);
}

void ProsmAddWin::hideRecordButton()
{
    m_ui->Record->hide();
}

void ProsmAddWin::startRowEdit(int row)
{
    QTableWidget* table = m_ui->TabWid;
    table->setEditTriggers(QAbstractItemView::AllEditTriggers);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectItems);
    // Column 0 unless the view hides it: the cursor starts in the first cell the operator sees.
    int column = 0;
    for (int c = 0; c < table->columnCount(); ++c) {
        if (!table->isColumnHidden(c)) {
            column = c;
            break;
        }
    }
    table->setCurrentCell(row, column);
    table->setFocus();
}

QTableWidget* ProsmAddWin::table() const
{
    return m_ui->TabWid;
}

QScrollBar* ProsmAddWin::scrollBar() const
{
    return m_ui->ScrollBar;
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
