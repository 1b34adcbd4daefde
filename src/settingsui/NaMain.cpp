#include "NaMain.h"

#include "AppState.h"

NaMain::NaMain(QObject* parent)
    : QObject(parent)
{
}

void NaMain::namMain()
{
    appState().menuGate = true;
    emit returned();
}
