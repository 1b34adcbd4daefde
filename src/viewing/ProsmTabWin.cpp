#include "ProsmTabWin.h"

ProsmTabWin::ProsmTabWin(QWidget* parent)
    : ProsmBrowserWin(parent)
{
    setupUi(this);
    bindCommon(UserTitle, TabWid, ScrollBar, Case, Delete, Add, Back);
}
