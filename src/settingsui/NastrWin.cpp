#include "NastrWin.h"

#include <QLabel>

#include "ui_NastrWin.h"

#include <QKeyEvent>
#include <QShortcut>

NastrWin::NastrWin(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::NastrWin>())
{
    m_ui->setupUi(this);
    connect(m_ui->Save, &QPushButton::clicked, this, &NastrWin::on_Save_clicked);
    connect(m_ui->Cancel, &QPushButton::clicked, this, &NastrWin::on_Cancel_clicked);
    // A shortcut, so that F2 saves whichever row's editor has the focus.
    auto* save = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(save, &QShortcut::activated, this, &NastrWin::on_Save_clicked);
}

NastrWin::~NastrWin() = default;

void NastrWin::setTitle(const QString& title)
{
    setWindowTitle(title);
    m_ui->UserTitle->setText(title);
    m_ui->UserTitle->setStyleSheet(QStringLiteral("color: white; background: blue"));
}

void NastrWin::placeGrid(QWidget* grid)
{
    m_ui->ParmsLayout->addWidget(grid);
}

void NastrWin::setNote(const QString& text)
{
    auto* note = new QLabel(text, m_ui->Parms);
    note->setObjectName(QStringLiteral("Note"));
    note->setWordWrap(true);
    m_ui->ParmsLayout->addWidget(note);
}

void NastrWin::on_Save_clicked()
{
    emit NastrWinSave();
}

void NastrWin::on_Cancel_clicked()
{
    emit NastrWinCancel();
}

void NastrWin::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit NastrWinEsc();
        return;
    }
    QWidget::keyPressEvent(event);
}
