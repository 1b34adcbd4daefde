#include "ScriptedResponder.h"

#include <QTest>

ScriptedResponder::ScriptedResponder()
    : m_previous(setDialogResponder(this))
{
}

ScriptedResponder::~ScriptedResponder()
{
    setDialogResponder(m_previous);
}

void ScriptedResponder::message(int icon, const QString& title, const QString& text)
{
    m_boxes.append({ icon, title, text, {}, {} });
    if (m_messagesAllowed > 0) {
        --m_messagesAllowed;
        return;
    }
    ++m_unexpected;
    QTest::qFail(qPrintable(QStringLiteral("unexpected message box: %1 / %2").arg(title, text)), __FILE__, __LINE__);
}

int ScriptedResponder::choice(const QString& title, const QString& text, const QString& first, const QString& second)
{
    m_boxes.append({ 0, title, text, first, second });
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    ++m_unexpected;
    QTest::qFail(qPrintable(QStringLiteral("unexpected question: %1 / %2").arg(title, text)), __FILE__, __LINE__);
    return 1;
}
