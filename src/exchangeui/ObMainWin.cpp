#include "ObMainWin.h"
#include "MenuKeys.h"
#include "ui_ObMainWin.h"

#include <QKeyEvent>

ObMainWin::ObMainWin(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::ObMainWin>())
{
    m_ui->setupUi(this);
    connect(m_ui->Load, &QPushButton::clicked, this, &ObMainWin::on_Load_clicked);
    connect(m_ui->Unload, &QPushButton::clicked, this, &ObMainWin::on_Unload_clicked);
    connect(m_ui->Exit, &QPushButton::clicked, this, &ObMainWin::on_Exit_clicked);
}

ObMainWin::~ObMainWin() = default;

void ObMainWin::setTitle(const QString& text)
{
    m_ui->UserTitle->setText(text);
    m_ui->UserTitle->setStyleSheet(QStringLiteral("color: white; background: blue"));
}

void ObMainWin::on_Exit_clicked()
{
    emit ObMainWinExit();
}

void ObMainWin::on_Load_clicked()
{
    emit ObMainWinLoad();
}

void ObMainWin::on_Unload_clicked()
{
    emit ObMainWinUnload();
}

void ObMainWin::keyPressEvent(QKeyEvent* event)
{
    if (menuKey(event,
            { { m_ui->Load, [this] { on_Load_clicked(); } }, { m_ui->Unload, [this] { on_Unload_clicked(); } },
                { m_ui->Exit, [this] { on_Exit_clicked(); } } },
            2))
        return;
    QWidget::keyPressEvent(event);
}
