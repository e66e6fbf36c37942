#pragma once

class ItemController;

// What an archive item needs from its row in the window.
class ItemRow {
public:
    virtual ~ItemRow() = default;
    // A fraction from 0 to 1; called on the main thread only.
    virtual void setProgress(double fraction) = 0;
    virtual ItemController *controller() const = 0;
};
