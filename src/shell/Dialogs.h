#pragma once

#include <QString>

// The only message and question boxes of the program. Each is a modal top-level box with no
// parent (ChoiceBox: within the screen's width, in the application's font), alive for one call.

enum MessageIcon { IconInformation = 1, IconWarning = 2, IconCritical = 3 };

// icon 1 information, 2 warning, 3 critical; the text may hold "\n" breaks.
void showMessage(int icon, const QString& title, const QString& text);
// Warning icon, first button accept role, second reject role; returns 0 or 1. Escape (or closing the
// box) gives escapeAnswer, Enter the default button defaultAnswer: where one button would destroy
// something, the caller makes both the other one, so destroying takes a deliberate press.
int askChoice(const QString& title, const QString& text, const QString& first, const QString& second,
    int escapeAnswer = 1, int defaultAnswer = 0);

// A responder answers the boxes instead of a person (tests, scripted runs). While one is
// installed no box is shown. Returning from message() acknowledges the box; choice() returns
// the index of the pressed button.
class DialogResponder {
public:
    // What choice() returns for a person who pressed Escape; askChoice() turns it into its escape answer.
    static constexpr int Escape = -1;
    // What choice() returns for a person who pressed Enter; askChoice() turns it into its default answer.
    static constexpr int Enter = -2;

    virtual ~DialogResponder() = default;
    virtual void message(int icon, const QString& title, const QString& text) = 0;
    virtual int choice(const QString& title, const QString& text, const QString& first, const QString& second) = 0;
};

// Installs (or with nullptr removes) the responder; returns the previous one.
DialogResponder* setDialogResponder(DialogResponder* responder);
