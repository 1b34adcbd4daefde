#include "NaMainWin.h"
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
    // A focused button leaves digits and Return to the window, so they arrive here whatever has
    // the focus.
    switch (event->key()) {
    case Qt::Key_1:
        on_Programm_clicked();
        return;
    case Qt::Key_2:
        on_Vvod_clicked();
        return;
    case Qt::Key_3:
        on_FtpLocal_clicked();
        return;
    case Qt::Key_4:
        on_Obmen_clicked();
        return;
    case Qt::Key_5:
        on_Wgtbar_clicked();
        return;
    case Qt::Key_6:
    case Qt::Key_Escape:
        on_Exit_clicked();
        return;
    case Qt::Key_Enter:
    case Qt::Key_Return: {
        const std::pair<QPushButton*, void (NaMainWin::*)()> buttons[] = {
            { m_ui->Programm, &NaMainWin::on_Programm_clicked },
            { m_ui->Vvod, &NaMainWin::on_Vvod_clicked },
            { m_ui->FtpLocal, &NaMainWin::on_FtpLocal_clicked },
            { m_ui->Obmen, &NaMainWin::on_Obmen_clicked },
            { m_ui->Wgtbar, &NaMainWin::on_Wgtbar_clicked },
            { m_ui->Exit, &NaMainWin::on_Exit_clicked },
        };
        for (const auto& [button, action] : buttons) {
            if (button->hasFocus()) {
                (this->*action)();
                return;
            }
        }
        break;
    }
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}
