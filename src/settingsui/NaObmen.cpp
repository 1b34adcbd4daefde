#include "NaObmen.h"

#include "AppState.h"

NaObmen::NaObmen(QObject* parent)
    : NaSection(QStringLiteral("Настройка обмена"), QStringLiteral("Обмен"), parent)
{
}

QByteArray NaObmen::startEdit()
{
    m_work = appState().user.obmen;
    return obmenKeys().name;
}

void NaObmen::addRows()
{
    keyRows(obmenKeys(), m_work);
}

bool NaObmen::putIntoForce()
{
    appState().user.obmen = m_work;
    return true;
}
