#include "NaVvod.h"

#include "AppState.h"

NaVvod::NaVvod(QObject* parent)
    : NaSection(QStringLiteral("Настройка ввода данных"), QStringLiteral("Ввод данных"), parent)
{
}

QByteArray NaVvod::startEdit()
{
    m_work = appState().user.vvod;
    return QByteArrayLiteral("VVOD");
}

void NaVvod::addRows()
{
    checkRow("ENADDITEM", &m_work.enAddItem);
    // Kept in thousandths: typed and shown as a quantity, so "1" books one piece per scan.
    quantityRow("QUANTITYINCR", &m_work.quantityIncr);
    checkRow("ENWEIGHTBARCODE", &m_work.enWeightBarCode);
    checkRow("ENQUANTITYSKIP", &m_work.enQuantitySkip);
    checkRow("ENSUMREPEATED", &m_work.enSumRepeated);
    enumerationRow("SEARCHORDER", &m_work.searchOrder,
        { QStringLiteral("Только по коду"), QStringLiteral("По коду и штрихкоду"),
            QStringLiteral("По штрихкоду и коду") });
    enumerationRow("VVODPANEL", &m_work.vvodPanel, { QStringLiteral("Таблица"), QStringLiteral("Ряд") });
    checkRow("ENSUMDOCUM", &m_work.enSumDocum);
}

bool NaVvod::putIntoForce()
{
    appState().user.vvod = m_work;
    return true;
}
