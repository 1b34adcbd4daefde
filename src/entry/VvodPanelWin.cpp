#include "VvodPanelWin.h"

#include "FitLabel.h"
#include "RunLog.h"
#include "Scanner.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

VvodPanelWin::VvodPanelWin(QWidget* parent)
    : QWidget(parent)
{
}

namespace {

// A button's text with the key that presses it: before the text where the line has room, else on
// a line of its own above it.
QString keyedText(const QPushButton* button, const QString& key, const QString& text)
{
    const QString line = key + QLatin1Char(' ') + text;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = line;
    const int room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    return QFontMetrics(button->font()).horizontalAdvance(line) <= room ? line : key + QLatin1Char('\n') + text;
}

} // namespace

void VvodPanelWin::bindCommon(const Common& common)
{
    m_common = common;
    connect(common.exit, &QPushButton::clicked, this, &VvodPanelWin::on_Exit_clicked);
    connect(common.bBar, &QPushButton::clicked, this, &VvodPanelWin::on_bBar_clicked);
    connect(common.vBar, &QLineEdit::returnPressed, this, &VvodPanelWin::on_vBar_returnPressed);
    connect(common.bRest, &QPushButton::clicked, this, &VvodPanelWin::on_bRest_clicked);
    connect(common.vRest, &QLineEdit::returnPressed, this, &VvodPanelWin::on_vRest_returnPressed);
    connect(common.cancel, &QPushButton::clicked, this, &VvodPanelWin::on_Cancel_clicked);
    connect(common.search, &QPushButton::clicked, this, &VvodPanelWin::on_Search_clicked);
    // The keypad reaches the two buttons without a stylus; their keys are written on them.
    setCancelText(common.cancel->text());
    common.search->setText(keyedText(common.search, QStringLiteral("F2"), common.search->text()));
    m_titleStyle = common.userTitle->styleSheet();

    const QList<QLabel*> labels = findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    for (QLabel* label : labels)
        if (!label->text().isEmpty())
            fitLabelToWidth(label);
}

QString VvodPanelWin::barText() const
{
    return m_common.vBar->text();
}

void VvodPanelWin::setBarText(const QString& text)
{
    m_common.vBar->setText(text);
}

void VvodPanelWin::focusBar()
{
    m_common.vBar->setFocus();
}

QString VvodPanelWin::restText() const
{
    return m_common.vRest->text();
}

void VvodPanelWin::setRestText(const QString& text)
{
    m_common.vRest->setText(text);
}

void VvodPanelWin::editRest()
{
    m_common.vRest->selectAll();
    m_common.vRest->setFocus();
}

void VvodPanelWin::leaveRest()
{
    m_common.vRest->clearFocus();
}

void VvodPanelWin::setPriceText(const QString& text)
{
    m_common.vPrice->setText(text);
}

void VvodPanelWin::setTitle(const QString& text)
{
    m_title = text;
    clearNote();
}

void VvodPanelWin::showNote(const QString& text, Note kind, const QString& tail)
{
    m_waitShown = false;
    m_common.userTitle->setStyleSheet(
        kind == Note::Refusal ? QStringLiteral("color: white; background: darkred") : m_titleStyle);
    m_common.userTitle->setText(text + tail);
    m_noteTail = tail;
    fitTitle();
    m_noteTail.clear();
}

void VvodPanelWin::clearNote()
{
    m_waitShown = false;
    m_common.userTitle->setStyleSheet(m_titleStyle);
    m_common.userTitle->setText(m_title);
    fitTitle();
}

QString VvodPanelWin::titleLine() const
{
    return m_common.userTitle->text();
}

void VvodPanelWin::fitTitle()
{
    QLabel* title = m_common.userTitle;
    fitLabelToWidth(title);
    // Narrowed as far as it goes and still too wide: the end is cut at the character, with "…".
    const QFontMetrics metrics(title->font());
    const int room = title->contentsRect().width();
    const QString text = title->text();
    if (metrics.horizontalAdvance(text) <= room)
        return;
    const QString tail = text.endsWith(m_noteTail) ? m_noteTail : QString();
    const QString head = text.left(text.size() - tail.size());
    title->setText(metrics.elidedText(head, Qt::ElideRight, qMax(0, room - metrics.horizontalAdvance(tail))) + tail);
}

void VvodPanelWin::setScanWaiting(bool waiting)
{
    if (waiting == m_scanWaiting)
        return;
    m_scanWaiting = waiting;
    if (waiting) {
        m_beforeWait = m_common.userTitle->text();
        m_beforeWaitStyle = m_common.userTitle->styleSheet();
        showNote(QStringLiteral("Ожидание сканирования… Esc — отмена"), Note::Item);
        m_waitShown = true;
        return;
    }
    // Whatever the entry said since (the item scanned, a refusal) stays; only the wait goes.
    if (!m_waitShown)
        return;
    m_waitShown = false;
    m_common.userTitle->setStyleSheet(m_beforeWaitStyle);
    m_common.userTitle->setText(m_beforeWait);
    fitTitle();
}

void VvodPanelWin::setCancelText(const QString& text)
{
    m_common.cancel->setText(keyedText(m_common.cancel, QStringLiteral("F1"), text));
}

void VvodPanelWin::on_Exit_clicked()
{
    if (m_guardOpen)
        emit snExit();
}

void VvodPanelWin::on_bBar_clicked()
{
    emit snBar();
}

void VvodPanelWin::on_vBar_returnPressed()
{
    if (m_guardOpen)
        emit snBar();
}

void VvodPanelWin::on_bRest_clicked()
{
    emit snRest();
}

void VvodPanelWin::on_vRest_returnPressed()
{
    if (m_guardOpen)
        emit snRest();
}

void VvodPanelWin::on_Cancel_clicked()
{
    if (m_guardOpen)
        emit snCancel();
}

void VvodPanelWin::on_Search_clicked()
{
    if (!m_guardOpen)
        return;
    m_guardOpen = false;
    emit snSearch();
}

void VvodPanelWin::keyPressEvent(QKeyEvent* event)
{
    logLine(QByteArrayLiteral("Key=") + QByteArray::number(event->key()));
    switch (event->key()) {
    case Qt::Key_Escape:
        if (m_scanWaiting)
            emit snScanCancel();
        else
            emit snEsc();
        return;
    case Scanner::ScanKey:
        emit snScan();
        return;
    case Qt::Key_F1:
        on_Cancel_clicked();
        return;
    case Qt::Key_F2:
        on_Search_clicked();
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
        emit snStep(event->key() == Qt::Key_Up ? -1 : 1);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A button reached with Tab is pressed by Return, as on the menus; the lines answer their
        // own Return before it gets here.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}
