#include "ProsmCaseWin.h"

#include "Scanner.h"
#include "ui_ProsmCaseWin.h"

#include <QKeyEvent>

ProsmCaseWin::ProsmCaseWin(QWidget* parent)
    : ProsmBrowserWin(parent)
    , m_ui(std::make_unique<Ui::ProsmCaseWin>())
{
    m_ui->setupUi(this);
    bindCommon(
        m_ui->UserTitle, m_ui->TabWid, m_ui->ScrollBar, m_ui->RowName, m_ui->Case, m_ui->Delete, m_ui->Add, m_ui->Back);
    connect(m_ui->ColHeader, &QComboBox::currentIndexChanged, this, &ProsmCaseWin::snColChanged);
    connect(m_ui->Search, &QPushButton::clicked, this, &ProsmCaseWin::snSearch);
    connect(m_ui->Home, &QPushButton::clicked, this, &ProsmCaseWin::snHome);
    connect(m_ui->PgUp, &QPushButton::clicked, this, &ProsmCaseWin::snPgUp);
    connect(m_ui->PgDown, &QPushButton::clicked, this, &ProsmCaseWin::snPgDown);
    connect(m_ui->End, &QPushButton::clicked, this, &ProsmCaseWin::snEnd);
}

ProsmCaseWin::~ProsmCaseWin() = default;

void ProsmCaseWin::setSearchItems(const QStringList& items, int current)
{
    m_ui->ColHeader->clear();
    m_ui->ColHeader->addItems(items);
    m_ui->ColHeader->setCurrentIndex(current);
}

QString ProsmCaseWin::searchText() const
{
    return m_ui->ColText->text();
}

void ProsmCaseWin::setSearchText(const QString& text)
{
    m_ui->ColText->setText(text);
    m_ui->ColText->selectAll();
}

void ProsmCaseWin::focusSearch()
{
    m_ui->ColText->setFocus();
}

void ProsmCaseWin::selectSearchText()
{
    m_ui->ColText->selectAll();
    m_ui->ColText->setFocus();
}

void ProsmCaseWin::setScanWaiting(bool waiting)
{
    m_scanWaiting = waiting;
    showStatus(waiting ? QStringLiteral("Ожидание сканирования… Esc — отмена") : QString());
}

bool ProsmCaseWin::handleKey(QObject* receiver, QKeyEvent* event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && receiver == m_ui->ColText) {
        // Return in the search text starts the search and goes no further, so the same press
        // never also chooses the record the search has just found.
        emit snSearch();
        return true;
    }
    if (key == Scanner::ScanKey) {
        emit snScan();
        return true;
    }
    if (key == Qt::Key_Escape && m_scanWaiting) {
        emit snScanCancel();
        return true;
    }
    return ProsmBrowserWin::handleKey(receiver, event);
}
