#pragma once

#include <functional>
#include <initializer_list>

class QAbstractButton;
class QKeyEvent;

// One numbered item of a menu window: its button and what choosing it does.
struct MenuItem {
    QAbstractButton* button;
    std::function<void()> choose;
};

// The keypad of the menu windows: digit N chooses the Nth item, Return or Enter the item whose
// button has the focus, Escape the item escapeItem (none when negative). A focused button leaves
// these keys to its window, so they arrive whatever has the focus. Returns whether the key was
// taken; the window passes any other key on.
bool menuKey(const QKeyEvent* event, std::initializer_list<MenuItem> items, int escapeItem = -1);
