#include "PrMain.h"

#include "AppState.h"

PrMain::PrMain(QObject* parent)
    : QObject(parent)
{
}

void PrMain::prmMain()
{
    appState().menuGate = true;
    emit returned();
}
