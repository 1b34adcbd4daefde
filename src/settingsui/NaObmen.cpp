#include "NaObmen.h"

#include "AppState.h"

NaObmen::NaObmen(QObject* parent)
    : NaSection(QStringLiteral("Настройка обмена"), QStringLiteral("Обмен"), parent)
{
}

QByteArray NaObmen::startEdit()
{
    m_work = appState().user.obmen;
    return QByteArrayLiteral("OBMEN");
}

void NaObmen::addRows()
{
    const QStringList actions { QStringLiteral("Оставлять справочник"), QStringLiteral("Удалять справочник"),
        QStringLiteral("Изменять название") };
    const QStringList messages { QStringLiteral("При ошибке"), QStringLiteral("Всегда") };
    enumerationRow("IOFTPLOCAL", &m_work.ioFtpLocal,
        { QStringLiteral("FTP Клиент"), QStringLiteral("Локальная папка"), QStringLiteral("FTP Сервер") });
    checkRow("ENUNLOADREQUEST", &m_work.enUnloadRequest);
    checkRow("ENLOADREPLACE", &m_work.enLoadReplace);
    enumerationRow("LOADACT", &m_work.loadAct, actions);
    enumerationRow("UNLOADACT", &m_work.unloadAct, actions);
    enumerationRow("LOADMESSAGE", &m_work.loadMessage, messages);
    enumerationRow("UNLOADMESSAGE", &m_work.unloadMessage, messages);
    checkRow("ENCASECHANGED", &m_work.enCaseChanged);
}

bool NaObmen::putIntoForce()
{
    appState().user.obmen = m_work;
    return true;
}
