#pragma once

#include "Dialogs.h"

#include <QList>
#include <QString>

// Answers message and question boxes from a queue and records every box it saw. A box that
// was not expected (no queued answer) fails the running test. Installed for its own lifetime only,
// so nothing leaks between tests.
class ScriptedResponder : public DialogResponder {
public:
    struct Box {
        int icon = 0; // 0 for a question
        QString title;
        QString text;
        QString first, second; // buttons of a question
    };

    ScriptedResponder();
    ~ScriptedResponder() override;

    // Each message box must be expected; each question needs an answer (0 or 1).
    void expectMessage(int count = 1) { m_messagesAllowed += count; }
    void answerNext(int choice) { m_answers.append(choice); }
    // The next question is left with Escape.
    void answerEscape() { m_answers.append(DialogResponder::Escape); }
    // The next question is left with Enter (its default button).
    void answerEnter() { m_answers.append(DialogResponder::Enter); }

    const QList<Box>& boxes() const { return m_boxes; }
    int unexpected() const { return m_unexpected; }
    QString lastText() const { return m_boxes.isEmpty() ? QString() : m_boxes.last().text; }
    QString lastTitle() const { return m_boxes.isEmpty() ? QString() : m_boxes.last().title; }

    void message(int icon, const QString& title, const QString& text) override;
    int choice(const QString& title, const QString& text, const QString& first, const QString& second) override;

private:
    DialogResponder* m_previous = nullptr;
    QList<int> m_answers;
    QList<Box> m_boxes;
    int m_messagesAllowed = 0;
    int m_unexpected = 0;
};
