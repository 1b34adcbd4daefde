#include "NaVvod.h"

#include "AppState.h"

NaVvod::NaVvod(QObject* parent)
    : NaSection(QStringLiteral("Настройка ввода данных"), QStringLiteral("Ввод данных"), parent)
{
}

QByteArray NaVvod::startEdit()
{
    m_work = appState().user.vvod;
    return vvodKeys().name;
}

void NaVvod::addRows()
{
    keyRows(vvodKeys(), m_work);
}

bool NaVvod::putIntoForce()
{
    appState().user.vvod = m_work;
    return true;
}
