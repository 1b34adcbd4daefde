#include "Cue.h"

#include <QApplication>
#include <QTimer>

namespace {
std::function<void(Cue)> g_listener;
// Beeps closer than this run together into one on most speakers.
constexpr int BeepGapMs = 180;
} // namespace

void setCueListener(std::function<void(Cue)> listener)
{
    g_listener = std::move(listener);
}

void playCue(Cue cue)
{
    if (g_listener) {
        g_listener(cue);
        return;
    }
    const int beeps = cue == Cue::GoodRead ? 1 : cue == Cue::NotFound ? 2 : 3;
    QApplication::beep();
    for (int i = 1; i < beeps; ++i)
        QTimer::singleShot(i * BeepGapMs, qApp, [] { QApplication::beep(); });
}
