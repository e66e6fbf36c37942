#pragma once

#include <memory>

class RARItem;
class XADString;

// What an archive item needs from the extraction controller.
class ItemController {
public:
    virtual ~ItemController() = default;

    // Called on the worker thread; each schedules its prompt on the main
    // thread and returns at once. The worker then waits in startConditionLock().
    virtual void passwordWithItem(std::shared_ptr<RARItem> item) = 0;
    virtual void encodingWithItem(std::shared_ptr<RARItem> item, const XADString &name) = 0;
    virtual void errorTipWithItem(std::shared_ptr<RARItem> item) = 0;
    // Worker thread: blocks until a prompt has stored its answer.
    virtual void startConditionLock() = 0;
    // Main thread: releases the waiting worker.
    virtual void stopConditionLock() = 0;
    // Main thread: the item's extraction has ended in any way.
    virtual void extractFinished(std::shared_ptr<RARItem> item) = 0;
    // Main thread: an extraction ended with its result in place.
    virtual void readyComment() {}
};
