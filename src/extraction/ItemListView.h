#pragma once

#include <memory>

class ItemController;
class RARItem;

// The rows the extraction controller keeps on screen, one per item.
class ItemListView {
public:
    virtual ~ItemListView() = default;

    // Gives the item its row; the row hands the item back to controller, the
    // item's only way to its prompts and to the review hook.
    virtual void addRow(const std::shared_ptr<RARItem> &item, ItemController *controller) = 0;
    virtual void removeRow(const std::shared_ptr<RARItem> &item) = 0;
    // After every change of the item list, once the list is up to date.
    virtual void rowsChanged() = 0;
};
