#include "MainWin.h"
#include "MenuKeys.h"

#include "FitLabel.h"
#include "Version.h"
#include "ui_MainWin.h"

#include "AppState.h"
#include "Dialogs.h"
#include "Shutdown.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>

MainWin::MainWin(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::MainWin>())
{
    m_ui->setupUi(this);
    connect(m_ui->Nastr, &QPushButton::clicked, this, &MainWin::on_Nastr_clicked);
    connect(m_ui->Vvod, &QPushButton::clicked, this, &MainWin::on_Vvod_clicked);
    connect(m_ui->Prosm, &QPushButton::clicked, this, &MainWin::on_Prosm_clicked);
    connect(m_ui->Obmen, &QPushButton::clicked, this, &MainWin::on_Obmen_clicked);
    connect(m_ui->Vihod, &QPushButton::clicked, this, &MainWin::on_Vihod_clicked);
}

MainWin::~MainWin() = default;

void MainWin::setMode(bool receipt)
{
    m_ui->VerLab->setText(receipt ? QStringLiteral("Приход товара \n    версия " ORTOVA_VERSION)
                                  : QStringLiteral("Инвентаризация\n    версия " ORTOVA_VERSION));
    m_ui->UserTitle->setStyleSheet(QStringLiteral("color: white; background: blue"));
    fitVersionLabel();
}

void MainWin::fitVersionLabel()
{
    fitLabelToWidth(m_ui->VerLab);
}

void MainWin::choose(void (MainWin::*call)())
{
    // exchange() so that two presses queued before the controller's window appears pass once.
    if (appState().menuGate.exchange(false))
        emit(this->*call)();
}

void MainWin::on_Nastr_clicked()
{
    choose(&MainWin::NastrCall);
}

void MainWin::on_Vvod_clicked()
{
    choose(&MainWin::VvodCall);
}

void MainWin::on_Prosm_clicked()
{
    choose(&MainWin::ProsmCall);
}

void MainWin::on_Obmen_clicked()
{
    choose(&MainWin::ObmenCall);
}

void MainWin::on_Vihod_clicked()
{
    if (appState().user.programm.enExitRequest
        && askChoice(QStringLiteral("Выход"), QStringLiteral("Выход\nиз программы"), QStringLiteral("Выйти"),
               QStringLiteral("Продолжить"))
            != 0)
        return;
    finishRun();
    m_leaving = true;
    emit MainWinExit();
}

void MainWin::closeEvent(QCloseEvent* event)
{
    if (m_closeAsExit && !m_leaving) {
        on_Vihod_clicked();
        if (!m_leaving) {
            event->ignore();
            return;
        }
    }
    QWidget::closeEvent(event);
}

void MainWin::keyPressEvent(QKeyEvent* event)
{
    if (menuKey(event,
            { { m_ui->Vvod, [this] { on_Vvod_clicked(); } }, { m_ui->Prosm, [this] { on_Prosm_clicked(); } },
                { m_ui->Obmen, [this] { on_Obmen_clicked(); } }, { m_ui->Nastr, [this] { on_Nastr_clicked(); } },
                { m_ui->Vihod, [this] { on_Vihod_clicked(); } } }))
        return;
    QWidget::keyPressEvent(event);
}
