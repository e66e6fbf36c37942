#pragma once

class QWidget;

// What a top-level window has besides its content (a menu bar, say).
class WindowChrome {
public:
    // The part of the window's height that is not the content, at the
    // window's present width; 0 when the content is the window itself.
    // Right whether or not the window is on screen: a hidden window keeps
    // its children where they were when it was hidden, whatever sizes it
    // was given since, so it is laid out afresh first.
    static int height(QWidget *window, const QWidget *content);
};
