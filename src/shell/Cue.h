#pragma once

#include <functional>

// What the terminal tells the operator by sound: operators watch the goods, not the screen, so a
// code that found nothing and a code that was refused sound different from each other and from
// the single beep of a good read.
enum class Cue { GoodRead, NotFound, Refused };

// Plays the cue: one beep, two beeps, three beeps.
void playCue(Cue cue);
// Tests and scripted runs listen instead of the speaker (nullptr restores the speaker).
void setCueListener(std::function<void(Cue)> listener);
