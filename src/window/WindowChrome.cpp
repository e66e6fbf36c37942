#include "WindowChrome.h"

#include <QLayout>
#include <QWidget>
#include <algorithm>

int WindowChrome::height(QWidget *window, const QWidget *content)
{
    if (!window || !content || window == content || !window->isAncestorOf(content))
        return 0;
    QLayout *layout = window->layout();
    if (!layout)
        return std::max(0, window->height() - content->height());
    // Marked out of date so that activating lays the window out now, at its
    // present size, even while it is hidden.
    layout->update();
    layout->activate();
    // A menu bar sits above the layout's own area. Within it, an area with no
    // room left for the content (a main window's central widget is moved out
    // of sight then, keeping its old size) holds no other chrome.
    const int area = layout->geometry().height();
    return std::max(0, window->height() - area) + std::max(0, area - content->height());
}
