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

void FakeItemController::record(const QString &event, const QString &tip)
{
    std::lock_guard guard(m_mutex);
    m_events.append(event);
    if (!tip.isNull())
        m_errorTips.append(tip);
}

void FakeItemController::passwordWithItem(std::shared_ptr<RARItem> item)
{
    record(u"password"_qs);
    answer([this, item] { onPassword ? onPassword(item) : void(); });
}

void FakeItemController::encodingWithItem(std::shared_ptr<RARItem> item, const XADString &name)
{
    record(u"encoding"_qs);
    answer([this, item, name] { onEncoding ? onEncoding(item, name) : void(); });
}

void FakeItemController::errorTipWithItem(std::shared_ptr<RARItem> item)
{
    record(u"error"_qs, item->errorTip());
    answer([] {});
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
