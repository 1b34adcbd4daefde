#include "ProsmBrowserWin.h"

#include "FitLabel.h"

#include "RunLog.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>

void showScreen(QWidget* window)
{
    bool windowed = true;
    const QWidgetList tops = QApplication::topLevelWidgets();
    for (const QWidget* top : tops) {
        if (top != window && top->objectName() == QLatin1String("MainWin")) {
            windowed = !(top->windowState() & Qt::WindowFullScreen);
            break;
        }
    }
    if (windowed) {
        window->setFixedSize(240, 320);
        window->show();
    } else {
        window->setWindowFlags(Qt::FramelessWindowHint);
        window->setWindowState(Qt::WindowFullScreen);
        window->show();
    }
}

ProsmBrowserWin::ProsmBrowserWin(QWidget* parent)
    : QWidget(parent)
{
}

void ProsmBrowserWin::bindCommon(QLabel* title, QTableWidget* tabWid, QScrollBar* scrollBar, QLabel* rowName,
    QPushButton* caseButton, QPushButton* deleteButton, QPushButton* addButton, QPushButton* backButton)
{
    m_title = title;
    m_rowName = rowName;
    m_tabWid = tabWid;
    m_scrollBar = scrollBar;
    m_case = caseButton;
    m_delete = deleteButton;
    m_add = addButton;
    m_back = backButton;

    connect(m_scrollBar, &QScrollBar::valueChanged, this, &ProsmBrowserWin::snValueChanged);
    connect(m_tabWid, &QTableWidget::cellClicked, this, &ProsmBrowserWin::snCellClicked);
    connect(m_tabWid, &QTableWidget::currentCellChanged, this,
        [this](int row, int column, int, int) { emit snCellClicked(row, column); });
    connect(m_case, &QPushButton::clicked, this, &ProsmBrowserWin::snCaseRec);
    connect(m_delete, &QPushButton::clicked, this, &ProsmBrowserWin::snDeleteRec);
    connect(m_add, &QPushButton::clicked, this, &ProsmBrowserWin::snAddRec);
    connect(m_back, &QPushButton::clicked, this, &ProsmBrowserWin::snBack);
    connect(m_tabWid, &QTableWidget::itemSelectionChanged, this, &ProsmBrowserWin::showRowName);
    connect(m_tabWid, &QTableWidget::itemChanged, this, [this](const QTableWidgetItem* item) {
        if (item->column() == m_nameColumn && item->isSelected())
            showRowName();
    });

    // The keys are the window's, whichever of its widgets has the focus: the table would
    // otherwise move its own cursor on Up and Down behind the browser's back.
    const QList<QWidget*> children = findChildren<QWidget*>();
    for (QWidget* child : children)
        child->installEventFilter(this);
}

void ProsmBrowserWin::setTitle(const QString& title)
{
    m_title->setText(title);
    m_title->setStyleSheet(QStringLiteral("color: white; background: blue"));
    fitLabelToWidth(m_title);
}

void ProsmBrowserWin::setButtonTexts(
    const QString& caseText, const QString& deleteText, const QString& addText, const QString& backText)
{
    const auto setButton = [](QPushButton* button, const QString& text) {
        button->setText(text);
        button->setVisible(!text.isEmpty());
    };
    setButton(m_case, caseText);
    setButton(m_delete, deleteText);
    setButton(m_add, addText);
    m_back->setText(backText);
}

void ProsmBrowserWin::giveButtonRowToTable()
{
    m_case->hide();
    m_delete->hide();
    m_add->hide();
    const int grow = m_case->height() + 4;
    m_tabWid->resize(m_tabWid->width(), m_tabWid->height() + grow);
    m_scrollBar->resize(m_scrollBar->width(), m_scrollBar->height() + grow);
    m_rowName->move(m_rowName->x(), m_rowName->y() + grow);
}

void ProsmBrowserWin::setChoiceEnabled(bool caseEnabled, bool deleteEnabled)
{
    m_case->setEnabled(caseEnabled);
    m_delete->setEnabled(deleteEnabled);
}

void ProsmBrowserWin::setAddEnabled(bool enabled)
{
    m_add->setEnabled(enabled);
}

void ProsmBrowserWin::setBrowseOnly()
{
    m_tabWid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tabWid->setSelectionBehavior(QAbstractItemView::SelectRows);
}

void ProsmBrowserWin::scrollToColumn(int column)
{
    m_tabWid->horizontalScrollBar()->setValue(m_tabWid->horizontalHeader()->sectionPosition(column));
}

void ProsmBrowserWin::setNameColumn(int column)
{
    m_nameColumn = column;
    showRowName();
}

void ProsmBrowserWin::showStatus(const QString& text)
{
    m_status = text;
    showRowName();
}

void ProsmBrowserWin::showRowName()
{
    if (!m_status.isEmpty()) {
        m_rowName->setText(m_status);
        fitLabelToWidth(m_rowName);
        return;
    }
    const QList<QTableWidgetSelectionRange> ranges = m_tabWid->selectedRanges();
    const QTableWidgetItem* item
        = ranges.isEmpty() || m_nameColumn < 0 ? nullptr : m_tabWid->item(ranges.first().topRow(), m_nameColumn);
    m_rowName->setText(item ? item->text() : QString());
    fitLabelToWidth(m_rowName);
}

bool ProsmBrowserWin::handleKey(QObject*, QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        emit snBack();
        return true;
    case Qt::Key_Up:
        emit snUp();
        return true;
    case Qt::Key_Down:
        emit snDown();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit snCaseRec();
        return true;
    default:
        return false;
    }
}

bool ProsmBrowserWin::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && event != m_passedOn) {
        auto* key = static_cast<QKeyEvent*>(event);
        logLine(QByteArrayLiteral("key ") + QByteArray::number(key->key()));
        if (handleKey(watched, key))
            return true;
        m_passedOn = event;
    } else if (event->type() == QEvent::KeyRelease) {
        m_passedOn = nullptr;
    }
    return QWidget::eventFilter(watched, event);
}

void ProsmBrowserWin::keyPressEvent(QKeyEvent* event)
{
    const bool passedOn = event == m_passedOn;
    m_passedOn = nullptr;
    if (!passedOn) {
        logLine(QByteArrayLiteral("key ") + QByteArray::number(event->key()));
        if (handleKey(this, event))
            return;
    }
    QWidget::keyPressEvent(event);
}

void ProsmBrowserWin::keyReleaseEvent(QKeyEvent* event)
{
    m_passedOn = nullptr;
    QWidget::keyReleaseEvent(event);
}
