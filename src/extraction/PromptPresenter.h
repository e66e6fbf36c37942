#pragma once

#include <QString>
#include <functional>
#include <memory>

class RARItem;
class XADString;

// How the extraction controller puts its questions to the user. Each answer
// is stored in the item and releases the waiting worker through the item's
// row and controller, as the item's prompts always do.
class PromptPresenter {
public:
    // A request made on the way out is answered as its Cancel would answer
    // it and never shown, so no worker waits on a window that is going away.
    enum class Delivery { Show, AnswerAsCancelled };
    // The chosen folder, or a null string when the user refused to choose.
    using FolderAnswer = std::function<void(const QString &chosen)>;

    virtual ~PromptPresenter() = default;

    virtual void presentPassword(const std::shared_ptr<RARItem> &item, Delivery delivery) = 0;
    virtual void presentEncoding(const std::shared_ptr<RARItem> &item, const XADString &name,
                                 Delivery delivery) = 0;
    virtual void presentError(const std::shared_ptr<RARItem> &item, Delivery delivery) = 0;
    // Asks for a writable destination, starting at folder; answers once.
    virtual void chooseFolder(const QString &folder, FolderAnswer answered) = 0;
    // Answers every prompt still waiting as its Cancel would.
    virtual void cancelOpenPrompts() = 0;
};
