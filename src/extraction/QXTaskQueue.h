#pragma once

#include "extraction/QXTaskTarget.h"

#include <QObject>
#include <QPointer>
#include <concepts>
#include <deque>
#include <functional>
#include <memory>

template <typename T, typename Queue>
class QXTaskTrampoline;

// Runs deferred tasks one at a time, in the order they were submitted. A task
// is a call captured for a target (see QXTaskTrampoline) and made later on the
// event loop of the queue's thread, never inside the call that submits it.
// The task may start work that goes on long after the call returns (a worker
// thread, a sheet, a dialog); the queue stays busy until finishCurrentTask().
// When the last task has been finished, the finish action runs at once,
// inside that finishCurrentTask(), with isEmpty() already true.
//
// Single-threaded: every member is called on the thread the queue lives on.
// Work done elsewhere must come back to that thread to finish its task.
class QXTaskQueue : public QObject {
public:
    explicit QXTaskQueue(QObject *parent = nullptr);
    ~QXTaskQueue() override;

    // The returned trampoline turns one call into a task for the target:
    //     queue->taskWithTarget(this)->call(&Controller::checkDestinationPermit, item);
    // A QObject target owned elsewhere is watched, not owned: if it is
    // destroyed before its task starts, the task is dropped and the queue
    // goes on. A shared target is kept alive until its task is removed.
    template <typename T>
        requires std::derived_from<T, QObject>
    [[nodiscard]] QXTaskTrampoline<T, QXTaskQueue> taskWithTarget(T *target)
    {
        return QXTaskTrampoline<T, QXTaskQueue>(QXTaskTarget(static_cast<QObject *>(target)), target, this);
    }
    template <typename T>
    [[nodiscard]] QXTaskTrampoline<T, QXTaskQueue> taskWithTarget(std::shared_ptr<T> target)
    {
        T *actual = target.get();
        return QXTaskTrampoline<T, QXTaskQueue>(QXTaskTarget(std::shared_ptr<void>(std::move(target))), actual, this);
    }

    // Appends a captured call as the last task and restarts the queue.
    void newTaskWithTarget(QXTaskTarget target, std::function<void()> invocation);

    // The finish action: a member function of target taking the queue, or
    // taking nothing. The target is watched, not owned (it usually owns the
    // queue); once it is gone the action is skipped.
    template <typename M, typename T>
        requires std::derived_from<T, QObject>
                 && (std::invocable<M, T *, QXTaskQueue *> || std::invocable<M, T *>)
    void setFinishAction(M selector, T *target)
    {
        QPointer<T> watched(target);
        setFinishAction([watched, selector](QXTaskQueue *queue) {
            if (!watched)
                return;
            if constexpr (std::invocable<M, T *, QXTaskQueue *>)
                std::invoke(selector, watched.data(), queue);
            else
                std::invoke(selector, watched.data());
        });
    }
    void setFinishAction(std::function<void(QXTaskQueue *)> action);

    // Ends the current task and starts the next one on a later turn of the
    // event loop, or runs the finish action when none is left. Call it once
    // per task, when its work is over. It does nothing when no task is
    // running, and nothing while the current task has not been started yet,
    // so a second call for the same task cannot drop the task after it.
    void finishCurrentTask();
    // Puts the running task on hold: it stays first and is started again,
    // from the beginning, by the next restart() (a new submission restarts).
    void stallCurrentTask();
    // Starts the first task on a later turn of the event loop unless one is
    // running; with no task left, runs the finish action.
    void restart();

    bool isRunning() const { return m_isRunning; }
    bool isStalled() const { return m_isStalled; }
    // True when nothing is running or stalled; pending tasks alone do not count.
    bool isEmpty() const { return !m_isRunning && !m_isStalled; }
    qsizetype taskCount() const { return qsizetype(m_tasks.size()); }

private:
    struct Task {
        QXTaskTarget target;
        std::function<void()> invocation;
    };

    void startTask();
    void assertOwnThread() const;

    bool m_isRunning = false;
    bool m_isStalled = false;
    // The first task has been handed to its target since the last restart.
    bool m_isStarted = false;
    std::function<void(QXTaskQueue *)> m_finishAction;
    std::deque<std::shared_ptr<Task>> m_tasks;
};

#include "extraction/QXTaskTrampoline.h"
