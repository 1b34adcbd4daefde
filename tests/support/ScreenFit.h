#pragma once

#include <QSize>
#include <QStringList>

class QWidget;

// Whether a window or box fits the terminal's 240 x 320 screen as laid out: the window is no
// larger than the screen, no shown widget reaches past its parent (a scroll area's content may be
// taller than its viewport, never wider), and every label and button shows its whole text in its
// own font (font metrics, against the room the style leaves for the text).
namespace ScreenFit {

inline constexpr QSize Screen { 240, 320 };

// One line per fault, naming the widget; empty when everything fits.
QStringList problems(const QWidget* window);

// Fails the running test with the problems, if any, of the window called name.
void verify(const QWidget* window, const QString& name);

} // namespace ScreenFit
