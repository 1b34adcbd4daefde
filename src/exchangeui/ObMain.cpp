#include "ObMain.h"

#include "AppState.h"

ObMain::ObMain(QObject* parent)
    : QObject(parent)
{
}

void ObMain::obmMain()
{
    appState().menuGate = true;
    emit returned();
}
