#include "VvodRecWin.h"
#include "ui_VvodRecWin.h"

VvodRecWin::VvodRecWin(QWidget* parent)
    : VvodPanelWin(parent)
    , m_ui(std::make_unique<Ui::VvodRecWin>())
{
    m_ui->setupUi(this);
    bindCommon(m_ui->vBar, m_ui->bBar, m_ui->vRest, m_ui->bRest, m_ui->Cancel, m_ui->Search, m_ui->Exit);
}

VvodRecWin::~VvodRecWin() = default;

QString VvodRecWin::barText() const
{
    return m_ui->vBar->text();
}

void VvodRecWin::setBarText(const QString& text)
{
    m_ui->vBar->setText(text);
}

void VvodRecWin::focusBar()
{
    m_ui->vBar->setFocus();
}

QString VvodRecWin::restText() const
{
    return m_ui->vRest->text();
}

void VvodRecWin::setRestText(const QString& text)
{
    m_ui->vRest->setText(text);
}

void VvodRecWin::editRest()
{
    m_ui->vRest->selectAll();
    m_ui->vRest->setFocus();
}

void VvodRecWin::leaveRest()
{
    m_ui->vRest->clearFocus();
}

void VvodRecWin::setPriceText(const QString& text)
{
    m_ui->vPrice->setText(text);
}

void VvodRecWin::setTitle(const QString& text)
{
    m_ui->UserTitle->setText(text);
    fitLabel(m_ui->UserTitle);
}

void VvodRecWin::setCancelText(const QString& text)
{
    m_ui->Cancel->setText(text);
}

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
