#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

// The receiver of a queued task, as the queue holds it: either owned (a
// shared pointer keeps it alive until the task is removed) or watched (a
// QObject owned elsewhere, whose destruction the queue notices instead of
// delivering to freed memory).
class QXTaskTarget {
public:
    explicit QXTaskTarget(std::shared_ptr<void> owner)
        : m_owner(std::move(owner))
    {
    }
    explicit QXTaskTarget(QObject *watched)
        : m_watched(watched)
        , m_isWatched(true)
    {
    }

    bool isAlive() const { return m_isWatched ? !m_watched.isNull() : m_owner != nullptr; }

private:
    std::shared_ptr<void> m_owner;
    QPointer<QObject> m_watched;
    bool m_isWatched = false;
};
