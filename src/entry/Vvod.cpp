#include "Vvod.h"

#include "AppState.h"

Vvod::Vvod(QObject *parent)
    : QObject(parent)
{
}

void Vvod::vvMainMainCall()
{
    appState().menuGate = true;
    emit returned();
}
