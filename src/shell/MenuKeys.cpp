#include "MenuKeys.h"

#include <QAbstractButton>
#include <QKeyEvent>

bool menuKey(const QKeyEvent* event, std::initializer_list<MenuItem> items, int escapeItem)
{
    const int key = event->key();
    const int count = int(items.size());
    const MenuItem* item = nullptr;
    if (key >= Qt::Key_1 && key < Qt::Key_1 + count && key <= Qt::Key_9) {
        item = items.begin() + (key - Qt::Key_1);
    } else if (key == Qt::Key_Escape && escapeItem >= 0 && escapeItem < count) {
        item = items.begin() + escapeItem;
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        for (const MenuItem& candidate : items)
            if (candidate.button->hasFocus())
                item = &candidate;
    }
    if (!item)
        return false;
    item->choose();
    return true;
}
