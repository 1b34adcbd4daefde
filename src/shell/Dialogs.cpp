#include "Dialogs.h"

#include <QFont>
#include <QMessageBox>
#include <QPushButton>

namespace {
DialogResponder* g_responder = nullptr;

QFont boxFont()
{
    QFont font(QStringLiteral("Times"), 12);
    font.setWeight(QFont::Bold);
    font.setItalic(false);
    return font;
}
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
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), title, text, QMessageBox::NoButton, nullptr,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.setFont(boxFont());
    box.exec();
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
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, nullptr,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.setFont(boxFont());
    QPushButton* firstButton = box.addButton(first, QMessageBox::AcceptRole);
    QPushButton* secondButton = box.addButton(second, QMessageBox::RejectRole);
    box.setEscapeButton(escapeAnswer == 0 ? firstButton : secondButton);
    box.setDefaultButton(defaultAnswer == 0 ? firstButton : secondButton);
    box.exec();
    return box.clickedButton() == firstButton ? 0 : 1;
}
