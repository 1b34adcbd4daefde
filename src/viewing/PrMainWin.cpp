#include "PrMainWin.h"
#include "ui_PrMainWin.h"

#include <QKeyEvent>

PrMainWin::PrMainWin(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::PrMainWin>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(m_ui->Tovari, &QPushButton::clicked, this, &PrMainWin::on_Tovari_clicked);
    connect(m_ui->Result, &QPushButton::clicked, this, &PrMainWin::on_Result_clicked);
    connect(m_ui->Wgtbar, &QPushButton::clicked, this, &PrMainWin::on_Wgtbar_clicked);
    connect(m_ui->Exit, &QPushButton::clicked, this, &PrMainWin::on_Exit_clicked);
}

PrMainWin::~PrMainWin() = default;

void PrMainWin::setTitle(const QString& text)
{
    m_ui->UserTitle->setText(text);
    m_ui->UserTitle->setStyleSheet(QStringLiteral("color: white; background: blue"));
}

void PrMainWin::setDirectoryText(const QString& text)
{
    m_ui->Tovari->setText(text);
}

void PrMainWin::choose(void (PrMainWin::*choice)())
{
    if (!m_gate)
        return;
    m_gate = false;
    emit(this->*choice)();
}

void PrMainWin::on_Tovari_clicked()
{
    choose(&PrMainWin::PrMainWinTovari);
}

void PrMainWin::on_Result_clicked()
{
    choose(&PrMainWin::PrMainWinResult);
}

void PrMainWin::on_Wgtbar_clicked()
{
    choose(&PrMainWin::PrMainWinWgtbar);
}

void PrMainWin::on_Exit_clicked()
{
    if (m_gate)
        emit PrMainWinExit();
}

void PrMainWin::keyPressEvent(QKeyEvent* event)
{
    // A focused button leaves digits, Escape and Return to the window, so they arrive here
    // whatever has the focus.
    switch (event->key()) {
    case Qt::Key_1:
        on_Tovari_clicked();
        return;
    case Qt::Key_2:
        on_Result_clicked();
        return;
    case Qt::Key_3:
        on_Wgtbar_clicked();
        return;
    case Qt::Key_4:
    case Qt::Key_Escape:
        on_Exit_clicked();
        return;
    case Qt::Key_Enter:
    case Qt::Key_Return:
        if (m_ui->Tovari->hasFocus())
            on_Tovari_clicked();
        else if (m_ui->Result->hasFocus())
            on_Result_clicked();
        else if (m_ui->Wgtbar->hasFocus())
            on_Wgtbar_clicked();
        else if (m_ui->Exit->hasFocus())
            on_Exit_clicked();
        else
            break;
        return;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}
