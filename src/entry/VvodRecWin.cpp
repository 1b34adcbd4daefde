#include "VvodRecWin.h"
#include "ui_VvodRecWin.h"

VvodRecWin::VvodRecWin(QWidget* parent)
    : VvodPanelWin(parent)
    , m_ui(std::make_unique<Ui::VvodRecWin>())
{
    m_ui->setupUi(this);
    bindCommon({ m_ui->vBar, m_ui->bBar, m_ui->vRest, m_ui->bRest, m_ui->Cancel, m_ui->Search, m_ui->Exit, m_ui->vPrice,
        m_ui->UserTitle });
}

VvodRecWin::~VvodRecWin() = default;

void VvodRecWin::setCode(const QString& text)
{
    m_ui->vCode->setText(text);
}

void VvodRecWin::setName(const QString& text)
{
    m_ui->vName->setPlainText(text);
}

void VvodRecWin::setDocTovRest(const QString& text)
{
    m_ui->vDocTovRest->setText(text);
}

void VvodRecWin::setSumTovRest(const QString& text)
{
    m_ui->vSumTovRest->setText(text);
}

void VvodRecWin::setDocLin(const QString& text)
{
    m_ui->vDocLin->setText(text);
}

void VvodRecWin::setDocSum(const QString& text)
{
    m_ui->vDocSum->setText(text);
}
