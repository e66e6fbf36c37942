#pragma once

#include "FakeItemController.h"
#include "extraction/ExtractionShell.h"
#include "extraction/ItemListView.h"
#include "extraction/PromptPresenter.h"
#include "extraction/RARItem.h"

#include <QList>
#include <QStringList>

// The extraction controller's world without widgets. Header only.

// Plays the user at the sheets: requests wait in open until the test answers.
class FakePrompts : public PromptPresenter {
public:
    struct Request {
        QString kind;
        std::shared_ptr<RARItem> item;
    };
    QList<Request> open;
    QStringList log;
    QStringList folders;
    FolderAnswer folderAnswer;
    int cancelCalls = 0;

    void presentPassword(const std::shared_ptr<RARItem> &item, Delivery delivery) override
    {
        request(u"password"_qs, item, delivery);
    }
    void presentEncoding(const std::shared_ptr<RARItem> &item, const XADString &, Delivery delivery) override
    {
        request(u"encoding"_qs, item, delivery);
    }
    void presentError(const std::shared_ptr<RARItem> &item, Delivery delivery) override
    {
        request(u"error"_qs, item, delivery);
    }
    void chooseFolder(const QString &folder, FolderAnswer answered) override
    {
        folders.append(folder);
        folderAnswer = std::move(answered);
    }
    void cancelOpenPrompts() override
    {
        ++cancelCalls;
        while (!open.isEmpty())
            release(open.takeFirst().item);
    }
    // Answers the oldest request; a null password is the Cancel button.
    void answer(const QString &password = QString())
    {
        const Request request = open.takeFirst();
        if (!password.isNull())
            request.item->setPassword(password);
        release(request.item);
    }

private:
    void request(const QString &kind, const std::shared_ptr<RARItem> &item, Delivery delivery)
    {
        const bool shown = delivery == Delivery::Show;
        log.append(shown ? kind : kind + u" (answered as cancelled)"_qs);
        if (shown)
            open.append({kind, item});
        else
            release(item);
    }
    static void release(const std::shared_ptr<RARItem> &item) { item->vc()->controller()->stopConditionLock(); }
};

class FakeRows : public ItemListView {
public:
    QStringList added;
    QStringList removed;
    void addRow(const std::shared_ptr<RARItem> &item, ItemController *controller) override
    {
        item->setVc(std::make_unique<FakeItemRow>(controller));
        added.append(item->filename());
    }
    void removeRow(const std::shared_ptr<RARItem> &item) override { removed.append(item->filename()); }
    void rowsChanged() override {}
};

class FakeShell : public ExtractionShell {
public:
    int closeCalls = 0;
    int terminateCalls = 0;
    int reviewCalls = 0;
    void closeWindow() override { ++closeCalls; }
    void terminate() override { ++terminateCalls; }
    void readyComment() override { ++reviewCalls; }
};
