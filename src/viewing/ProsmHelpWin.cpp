#include "ProsmHelpWin.h"

#include "ui_ProsmHelpWin.h"

ProsmHelpWin::ProsmHelpWin(QWidget* parent)
    : ProsmBrowserWin(parent)
    , m_ui(std::make_unique<Ui::ProsmHelpWin>())
{
    m_ui->setupUi(this);
    bindCommon(
        m_ui->UserTitle, m_ui->TabWid, m_ui->ScrollBar, m_ui->RowName, m_ui->Case, m_ui->Delete, m_ui->Add, m_ui->Back);
}

ProsmHelpWin::~ProsmHelpWin() = default;

void ProsmHelpWin::showHelp(const QString& text)
{
    m_ui->Help->setPlainText(text);
    m_ui->Help->setVisible(!text.isEmpty());
}
