#pragma once

#include "extraction/ItemController.h"
#include "extraction/ItemRow.h"
#include "platform/encoding/XADString.h"
#include "platform/system/ConditionLock.h"

#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>

class RARItem;

// Plays the extraction controller and the user for item tests. Each prompt
// is answered by a scripted handler, either at once on the worker thread
// (the answer arrives before the worker waits) or later on the main thread
// (the worker is already waiting), as a real sheet would.
class FakeItemController : public ItemController {
public:
    enum class AnswerTiming { BeforeWait, OnMainThread };
    AnswerTiming timing = AnswerTiming::OnMainThread;
    std::function<void(const std::shared_ptr<RARItem> &)> onPassword;
    std::function<void(const std::shared_ptr<RARItem> &, const XADString &)> onEncoding;

    void passwordWithItem(std::shared_ptr<RARItem> item) override;
    void encodingWithItem(std::shared_ptr<RARItem> item, const XADString &name) override;
    void errorTipWithItem(std::shared_ptr<RARItem> item) override;
    void startConditionLock() override;
    void stopConditionLock() override;
    void extractFinished(std::shared_ptr<RARItem>) override { record(u"finished"_qs); }

    QList<QString> events() const { return locked(m_events); }
    QList<QString> errorTips() const { return locked(m_errorTips); }
    int finishedCount() const { return int(events().count(u"finished"_qs)); }

private:
    void answer(std::function<void()> reply);
    void record(const QString &event, const QString &tip = {});
    QList<QString> locked(const QList<QString> &list) const
    {
        std::lock_guard guard(m_mutex);
        return list;
    }

    ConditionLock m_pauseLock{0};
    mutable std::mutex m_mutex;
    QList<QString> m_events;
    QList<QString> m_errorTips;
};

// A row that remembers the progress it was shown; a copy to another disk
// starts a list of its own.
class FakeItemRow : public ItemRow {
public:
    explicit FakeItemRow(ItemController *controller) : m_controller(controller) {}
    void setProgress(double fraction) override { (copiedTo.isNull() ? progress : copyProgress).append(fraction); }
    void showCopy(const QString &finalPath) override
    {
        copiedTo = finalPath;
        if (onCopy)
            onCopy();
    }
    ItemController *controller() const override { return m_controller; }
    QList<double> progress;
    QString copiedTo;
    QList<double> copyProgress;
    std::function<void()> onCopy;

private:
    ItemController *m_controller;
};
