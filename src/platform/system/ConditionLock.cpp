#include "platform/system/ConditionLock.h"

void ConditionLock::lockWhenCondition(int condition)
{
    std::unique_lock guard(m_mutex);
    m_changed.wait(guard, [&] { return !m_locked && m_condition == condition; });
    m_locked = true;
}

void ConditionLock::unlockWithCondition(int condition)
{
    {
        std::lock_guard guard(m_mutex);
        m_condition = condition;
        m_locked = false;
    }
    m_changed.notify_all();
}

int ConditionLock::condition() const
{
    std::lock_guard guard(m_mutex);
    return m_condition;
}
