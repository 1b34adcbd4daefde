#include "ObmenWin.h"
#include "ui_ObmenWin.h"

#include "Dialogs.h"
#include "FitLabel.h"

#include <QKeyEvent>

ObmenWin::ObmenWin(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::ObmenWin>())
{
    m_ui->setupUi(this);
    connect(m_ui->abortButton, &QPushButton::clicked, this, &ObmenWin::on_abortButton_clicked);
}

ObmenWin::~ObmenWin() = default;

void ObmenWin::showStep(const QString& title, const QString& directory)
{
    setWindowTitle(title);
    m_ui->UserTitle->setText(title);
    m_ui->ftpStateLab->setText(QStringLiteral("Состояние"));
    m_ui->ftpState->clear();
    m_ui->Sprav->setText(directory);
    m_ui->FileCount->clear();
    resetProgress();
}

void ObmenWin::setState(const QString& text)
{
    m_ui->ftpState->setText(text);
    fitLabelToWidth(m_ui->ftpState);
}

QString ObmenWin::state() const
{
    return m_ui->ftpState->text();
}

void ObmenWin::setDirectory(const QString& text)
{
    m_ui->Sprav->setText(text);
}

void ObmenWin::setFileCounter(int n, int total)
{
    m_ui->FileCount->setText(total > 0 ? QStringLiteral("Справочник %1 из %2").arg(n).arg(total) : QString());
}

void ObmenWin::setProgress(qint64 done, qint64 total)
{
    if (total <= 0) {
        m_ui->progress->setRange(0, 0);
        return;
    }
    // In floating point: done * 100 would overflow 64 bits near the end of the range.
    const double share = static_cast<double>(qBound<qint64>(0, done, total)) / static_cast<double>(total);
    m_ui->progress->setRange(0, 100);
    m_ui->progress->setValue(qBound(0, static_cast<int>(share * 100.0), 100));
}

void ObmenWin::resetProgress()
{
    m_ui->progress->setRange(0, 100);
    m_ui->progress->setValue(0);
}

void ObmenWin::setAbortVisible(bool visible)
{
    m_ui->abortButton->setVisible(visible);
}

void ObmenWin::on_abortButton_clicked()
{
    emit AbortFtp();
}

void ObmenWin::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        emit AbortFtp();
        return;
    case Qt::Key_Enter:
    case Qt::Key_Return:
        if (askChoice(QStringLiteral("Обмен"), QStringLiteral("Обмен по ФТП"), QStringLiteral("Прервать"),
                QStringLiteral("Продолжить"), 1, 1)
            == 0)
            emit AbortFtp();
        return;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}
