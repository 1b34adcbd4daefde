#include "Dialogs.h"

#include "ChoiceBox.h"

namespace {
DialogResponder* g_responder = nullptr;
} // namespace

DialogResponder* setDialogResponder(DialogResponder* responder)
{
    DialogResponder* previous = g_responder;
    g_responder = responder;
    return previous;
}

void showMessage(int icon, const QString& title, const QString& text)
{
    if (g_responder) {
        g_responder->message(icon, title, text);
        return;
    }
    ChoiceBox box(icon, title, text, { QStringLiteral("OK") });
    box.run();
}

int askChoice(const QString& title, const QString& text, const QString& first, const QString& second, int escapeAnswer,
    int defaultAnswer)
{
    if (g_responder) {
        const int answer = g_responder->choice(title, text, first, second);
        if (answer == DialogResponder::Escape)
            return escapeAnswer;
        return answer == DialogResponder::Enter ? defaultAnswer : answer;
    }
    ChoiceBox box(IconWarning, title, text, { first, second });
    box.setEscapeAnswer(escapeAnswer == 0 ? 0 : 1);
    box.setDefaultAnswer(defaultAnswer == 0 ? 0 : 1);
    return box.run();
}
