#include "ObMainWin.h"
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
    // A focused button leaves digits and Return to the window, so they arrive here whatever has
    // the focus.
    switch (event->key()) {
    case Qt::Key_1:
        on_Load_clicked();
        return;
    case Qt::Key_2:
        on_Unload_clicked();
        return;
    case Qt::Key_3:
    case Qt::Key_Escape:
        on_Exit_clicked();
        return;
    case Qt::Key_Enter:
    case Qt::Key_Return:
        if (m_ui->Load->hasFocus())
            on_Load_clicked();
        else if (m_ui->Unload->hasFocus())
            on_Unload_clicked();
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
