#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class QFontMetrics;
class QPushButton;

// The message and question box of the terminal: a frameless box no wider than the screen, in the
// application's font, with a title line, the icon, the text broken into lines that fit, and its
// buttons side by side under it. Qt's own message box lays itself out wider than 240 pixels and is
// then squeezed, cutting its button texts.
class ChoiceBox : public QDialog {
    Q_OBJECT
public:
    // The terminal's screen: the box is never wider.
    static constexpr int MaxWidth = 240;

    // icon as showMessage() numbers it (0 none, 1 information, 2 warning, 3 critical); one button
    // for a message, two for a question. The box is laid out at once.
    ChoiceBox(int icon, const QString& title, const QString& text, const QStringList& buttons);

    // The answer of Escape (and of closing the box otherwise); 0 unless set.
    void setEscapeAnswer(int answer) { m_escapeAnswer = answer; }
    // The button that Enter presses and that has the focus first; 0 unless set.
    void setDefaultAnswer(int answer);
    // Index of the pressed button, or the escape answer.
    int answer() const { return m_answer; }
    // Shows the box modally over the active window and returns answer().
    int run();

    // The text broken into lines no wider than width: at blanks where it can, inside a word that
    // is wider than a line by itself. The text's own line breaks are kept.
    static QString wrapText(const QString& text, const QFontMetrics& metrics, int width);

    void reject() override;

private:
    QList<QPushButton*> m_buttons;
    int m_escapeAnswer = 0;
    int m_answer = 0;
};
