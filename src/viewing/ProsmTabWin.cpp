#include "ProsmTabWin.h"

#include "ui_ProsmTabWin.h"

ProsmTabWin::ProsmTabWin(QWidget* parent)
    : ProsmBrowserWin(parent)
    , m_ui(std::make_unique<Ui::ProsmTabWin>())
{
    m_ui->setupUi(this);
    bindCommon(
        m_ui->UserTitle, m_ui->TabWid, m_ui->ScrollBar, m_ui->RowName, m_ui->Case, m_ui->Delete, m_ui->Add, m_ui->Back);
}

ProsmTabWin::~ProsmTabWin() = default;
