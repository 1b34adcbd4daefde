#include "NaMainWin.h"
#include "MenuKeys.h"
#include "ui_NaMainWin.h"

#include <QKeyEvent>

NaMainWin::NaMainWin(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::NaMainWin>())
{
    m_ui->setupUi(this);
    connect(m_ui->Programm, &QPushButton::clicked, this, &NaMainWin::on_Programm_clicked);
    connect(m_ui->Vvod, &QPushButton::clicked, this, &NaMainWin::on_Vvod_clicked);
    connect(m_ui->FtpLocal, &QPushButton::clicked, this, &NaMainWin::on_FtpLocal_clicked);
    connect(m_ui->Obmen, &QPushButton::clicked, this, &NaMainWin::on_Obmen_clicked);
    connect(m_ui->Wgtbar, &QPushButton::clicked, this, &NaMainWin::on_Wgtbar_clicked);
    connect(m_ui->Exit, &QPushButton::clicked, this, &NaMainWin::on_Exit_clicked);
}

NaMainWin::~NaMainWin() = default;

void NaMainWin::setTitle(const QString& text)
{
    setWindowTitle(text);
    m_ui->UserTitle->setText(text);
    m_ui->UserTitle->setStyleSheet(QStringLiteral("color: white; background: blue"));
}

void NaMainWin::setChannelText(const QString& text)
{
    m_ui->FtpLocal->setText(text);
}

void NaMainWin::on_Programm_clicked()
{
    emit NaMainWinProgramm();
}

void NaMainWin::on_Vvod_clicked()
{
    emit NaMainWinVvod();
}

void NaMainWin::on_FtpLocal_clicked()
{
    emit NaMainWinFtpLocal();
}

void NaMainWin::on_Obmen_clicked()
{
    emit NaMainWinObmen();
}

void NaMainWin::on_Wgtbar_clicked()
{
    emit NaMainWinWgtbar();
}

void NaMainWin::on_Exit_clicked()
{
    emit NaMainWinExit();
}

void NaMainWin::keyPressEvent(QKeyEvent* event)
{
    if (menuKey(event,
            { { m_ui->Programm, [this] { on_Programm_clicked(); } }, { m_ui->Vvod, [this] { on_Vvod_clicked(); } },
                { m_ui->FtpLocal, [this] { on_FtpLocal_clicked(); } }, { m_ui->Obmen, [this] { on_Obmen_clicked(); } },
                { m_ui->Wgtbar, [this] { on_Wgtbar_clicked(); } }, { m_ui->Exit, [this] { on_Exit_clicked(); } } },
            5))
        return;
    QWidget::keyPressEvent(event);
}
