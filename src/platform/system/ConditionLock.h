#pragma once

#include <condition_variable>
#include <mutex>

// A lock that is taken only while it holds a given condition value; the
// prompt handshake between a worker thread and the main thread.
class ConditionLock {
public:
    explicit ConditionLock(int condition = 0) : m_condition(condition) {}

    void lockWhenCondition(int condition);
    void unlockWithCondition(int condition);
    int condition() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_condition;
    bool m_locked = false;
};
