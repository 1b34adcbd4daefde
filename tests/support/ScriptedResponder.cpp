#include "ScriptedResponder.h"

#include "ChoiceBox.h"
#include "ScreenFit.h"
#include "TestUtil.h"

#include <QApplication>
#include <QTest>

namespace {

// The box a person would see, laid out but not shown: it must fit the screen with its texts whole.
void verifyBox(int icon, const QString& title, const QString& text, const QStringList& buttons)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return; // a test without widgets
    ChoiceBox box(icon, title, text, buttons);
    ScreenFit::verify(&box, QStringLiteral("box \"%1\" / \"%2\"").arg(title, text));
    QString name = QStringLiteral("box-") + title + QLatin1Char('-') + text;
    for (QChar& ch : name)
        if (!ch.isLetterOrNumber() && ch != QLatin1Char('-'))
            ch = QLatin1Char('-');
    TestUtil::saveScreen(&box, name.left(60));
}

} // namespace

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
    verifyBox(icon, title, text, { QStringLiteral("OK") });
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
    verifyBox(IconWarning, title, text, { first, second });
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    ++m_unexpected;
    QTest::qFail(qPrintable(QStringLiteral("unexpected question: %1 / %2").arg(title, text)), __FILE__, __LINE__);
    return 1;
}
