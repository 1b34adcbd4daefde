#include "PrMainWin.h"
#include "MenuKeys.h"
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
    if (menuKey(event,
            { { m_ui->Tovari, [this] { on_Tovari_clicked(); } }, { m_ui->Result, [this] { on_Result_clicked(); } },
                { m_ui->Wgtbar, [this] { on_Wgtbar_clicked(); } }, { m_ui->Exit, [this] { on_Exit_clicked(); } } },
            3))
        return;
    QWidget::keyPressEvent(event);
}
