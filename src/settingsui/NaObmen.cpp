#include "NaObmen.h"

#include "AppState.h"

#include <algorithm>

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
    // The server channel is not taken while the server has no password (anyone could log in).
    if (m_work.ioFtpLocal == static_cast<qint32>(Channel::FtpServer) && appState().user.ftpServer.passWord.isEmpty()) {
        const auto& keys = obmenKeys().keys;
        const auto channel = std::find_if(
            keys.begin(), keys.end(), [](const auto& key) { return key.number == &ObmenSettings::ioFtpLocal; });
        refuse(parmLabel(*channel));
        return false;
    }
    appState().user.obmen = m_work;
    return true;
}
