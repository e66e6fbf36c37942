#include "FakeItemController.h"

#include "extraction/RARItem.h"
#include "support/MainQueue.h"

void FakeItemController::answer(std::function<void()> reply)
{
    if (timing == AnswerTiming::BeforeWait) {
        reply();
        stopConditionLock();
        return;
    }
    enterForeground([this, reply = std::move(reply)] {
        reply();
        stopConditionLock();
    });
}

void FakeItemController::record(const QString &event)
{
    std::lock_guard guard(m_mutex);
    m_events.append(event);
}

void FakeItemController::passwordWithItem(std::shared_ptr<RARItem> item)
{
    record(u"password"_qs);
    answer([this, item] {
        if (onPassword)
            onPassword(item);
    });
}

void FakeItemController::encodingWithItem(std::shared_ptr<RARItem> item, const XADString &name)
{
    record(u"encoding"_qs);
    answer([this, item, name] {
        if (onEncoding)
            onEncoding(item, name);
    });
}

void FakeItemController::errorTipWithItem(std::shared_ptr<RARItem> item)
{
    record(u"error"_qs);
    {
        std::lock_guard guard(m_mutex);
        m_errorTips.append(item->errorTip());
    }
    answer([this, item] {
        if (onError)
            onError(item);
    });
}

void FakeItemController::startConditionLock()
{
    m_pauseLock.lockWhenCondition(1);
    m_pauseLock.unlockWithCondition(0);
}

void FakeItemController::stopConditionLock()
{
    m_pauseLock.lockWhenCondition(0);
    m_pauseLock.unlockWithCondition(1);
}

void FakeItemController::extractFinished(std::shared_ptr<RARItem>)
{
    record(u"finished"_qs);
    std::lock_guard guard(m_mutex);
    ++m_finished;
}

QList<QString> FakeItemController::events() const
{
    std::lock_guard guard(m_mutex);
    return m_events;
}

QList<QString> FakeItemController::errorTips() const
{
    std::lock_guard guard(m_mutex);
    return m_errorTips;
}

int FakeItemController::finishedCount() const
{
    std::lock_guard guard(m_mutex);
    return m_finished;
}
