#include "ProsmHelpWin.h"

ProsmHelpWin::ProsmHelpWin(QWidget* parent)
    : ProsmBrowserWin(parent)
{
    setupUi(this);
    bindCommon(UserTitle, TabWid, ScrollBar, Case, Delete, Add, Back);
}
