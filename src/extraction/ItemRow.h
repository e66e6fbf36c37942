#pragma once

class ItemController;
class QString;

// What an archive item needs from its row in the window.
class ItemRow {
public:
    virtual ~ItemRow() = default;
    // A fraction from 0 to 1; called on the main thread only.
    virtual void setProgress(double fraction) = 0;
    // Main thread: the result is being copied to its final path on another
    // disk; the bar starts again from empty for the copy.
    virtual void showCopy(const QString &finalPath) = 0;
    virtual ItemController *controller() const = 0;
};
