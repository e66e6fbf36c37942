#include "QXTaskQueue.h"

#include <QMetaObject>
#include <QThread>

QXTaskQueue::QXTaskQueue(QObject *parent)
    : QObject(parent)
{
}

QXTaskQueue::~QXTaskQueue() = default;

void QXTaskQueue::newTaskWithTarget(QXTaskTarget target, std::function<void()> invocation)
{
    assertOwnThread();
    m_tasks.push_back(std::make_shared<Task>(Task{std::move(target), std::move(invocation)}));
    restart();
}

void QXTaskQueue::setFinishAction(std::function<void(QXTaskQueue *)> action)
{
    m_finishAction = std::move(action);
}

void QXTaskQueue::finishCurrentTask()
{
    assertOwnThread();
    if (!m_isRunning || !m_isStarted)
        return;
    m_tasks.pop_front();
    m_isRunning = false;
    m_isStarted = false;
    restart();
}

void QXTaskQueue::stallCurrentTask()
{
    assertOwnThread();
    if (!m_isRunning)
        return;
    m_isStalled = true;
    m_isRunning = false;
    m_isStarted = false;
}

void QXTaskQueue::restart()
{
    assertOwnThread();
    if (m_isRunning)
        return;
    if (m_tasks.empty()) {
        // A copy: the action may replace itself, or end the queue's life.
        if (const auto action = m_finishAction)
            action(this);
        return;
    }
    m_isRunning = true;
    m_isStalled = false;
    m_isStarted = false;
    // Queued on this object: never inside this call, and dropped with the queue.
    QMetaObject::invokeMethod(this, [this] { startTask(); }, Qt::QueuedConnection);
}

void QXTaskQueue::startTask()
{
    // A start scheduled before a stall, or one of several scheduled by
    // restarts in a row, must not hand the task out again.
    if (!m_isRunning || m_isStarted || m_tasks.empty())
        return;
    m_isStarted = true;
    // Held here so that a task finished from inside its own call keeps its
    // target and arguments until the call has returned.
    const std::shared_ptr<Task> task = m_tasks.front();
    if (!task->target.isAlive()) {
        finishCurrentTask();
        return;
    }
    task->invocation();
}

void QXTaskQueue::assertOwnThread() const
{
    Q_ASSERT_X(QThread::currentThread() == thread(), "QXTaskQueue",
               "used from a thread other than its own");
}
