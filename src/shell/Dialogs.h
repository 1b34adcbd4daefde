#pragma once

#include <QString>

// The only message and question boxes of the program. Each is a modal top-level box with no
// parent, font "Times" 12 bold, alive for one call.

enum MessageIcon { IconInformation = 1, IconWarning = 2, IconCritical = 3 };

// icon 1 information, 2 warning, 3 critical; the text may hold "\n" breaks.
void showMessage(int icon, const QString &title, const QString &text);
// Warning icon, first button accept role, second reject role; returns 0 or 1 (Escape gives 1).
int askChoice(const QString &title, const QString &text, const QString &first, const QString &second);

// A responder answers the boxes instead of a person (tests, scripted runs). While one is
// installed no box is shown. Returning from message() acknowledges the box; choice() returns
// the index of the pressed button.
class DialogResponder {
public:
    virtual ~DialogResponder() = default;
    virtual void message(int icon, const QString &title, const QString &text) = 0;
    virtual int choice(const QString &title, const QString &text, const QString &first, const QString &second) = 0;
};

// Installs (or with nullptr removes) the responder; returns the previous one.
DialogResponder *setDialogResponder(DialogResponder *responder);
