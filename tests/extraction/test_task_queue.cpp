#include "extraction/QXTaskQueue.h"

#include <QCoreApplication>
#include <QTest>
#include <memory>

namespace {

// A target owned elsewhere, like the controller.
class Recorder : public QObject {
public:
    QXTaskQueue *queue = nullptr;
    QList<int> delivered;
    int finishCalls = 0;

    void note(int n) { delivered.append(n); }
    void keep(std::shared_ptr<int> value) { delivered.append(*value); }
    // Finishes its own task first and only then reads its argument.
    void finishThenRead(const std::shared_ptr<int> &value)
    {
        queue->finishCurrentTask();
        delivered.append(*value);
    }
};

// A target owned by its tasks, like an archive item.
struct SharedTarget {
    QList<int> *log;
    void note(int n) { log->append(n); }
};

void turnEventLoop()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace

// What the controller's tests cannot reach: stalls, and how long the queue
// keeps its tasks' arguments and targets alive.
class TestTaskQueue : public QObject {
    Q_OBJECT
    std::unique_ptr<QXTaskQueue> m_owner;
    Recorder m_rec;

    void finishRound()
    {
        turnEventLoop();
        m_owner->finishCurrentTask();
    }

private Q_SLOTS:
    void init()
    {
        m_owner = std::make_unique<QXTaskQueue>();
        m_rec.delivered.clear();
        m_rec.finishCalls = 0;
        m_rec.queue = m_owner.get();
        m_owner->setFinishAction([this](QXTaskQueue *) { ++m_rec.finishCalls; });
    }

    void tasksRunFirstInFirstOut()
    {
        for (int n = 1; n <= 3; ++n)
            m_owner->taskWithTarget(&m_rec)->call(&Recorder::note, n);
        QVERIFY(m_rec.delivered.isEmpty()); // never inside the submitting call
        for (int n = 1; n <= 3; ++n)
            finishRound();
        m_owner->finishCurrentTask(); // an idle finish ends nothing twice
        QCOMPARE(m_rec.delivered, (QList<int>{1, 2, 3}));
        QCOMPARE(m_rec.finishCalls, 1);
    }

    void stalledTaskIsDeliveredAgainFirst()
    {
        m_owner->taskWithTarget(&m_rec)->call(&Recorder::note, 1);
        turnEventLoop();
        m_owner->stallCurrentTask();
        m_owner->finishCurrentTask(); // does nothing to a stalled queue
        QCOMPARE(m_owner->taskCount(), 1);
        m_owner->taskWithTarget(&m_rec)->call(&Recorder::note, 2);
        finishRound();
        finishRound();
        QCOMPARE(m_rec.delivered, (QList<int>{1, 1, 2}));
        QCOMPARE(m_rec.finishCalls, 1);
        // Stalled before its start came round, it is delivered exactly once.
        m_owner->taskWithTarget(&m_rec)->call(&Recorder::note, 3);
        m_owner->stallCurrentTask();
        turnEventLoop();
        m_owner->restart();
        m_owner->stallCurrentTask();
        m_owner->restart();
        turnEventLoop();
        QCOMPARE(m_rec.delivered, (QList<int>{1, 1, 2, 3}));
    }

    void argumentsLiveUntilTheirTaskIsRemoved()
    {
        QList<int> sharedLog;
        std::weak_ptr<int> value;
        std::weak_ptr<SharedTarget> target;
        {
            auto v = std::make_shared<int>(42);
            auto t = std::make_shared<SharedTarget>(SharedTarget{&sharedLog});
            value = v;
            target = t;
            m_owner->taskWithTarget(&m_rec)->call(&Recorder::keep, v);
            m_owner->taskWithTarget(t)->call(&SharedTarget::note, 5);
            m_owner->taskWithTarget(&m_rec)->call(&Recorder::finishThenRead, std::make_shared<int>(9));
        }
        turnEventLoop();
        QVERIFY(!value.expired()); // delivered, but not finished yet
        m_owner->finishCurrentTask();
        QVERIFY(value.expired());
        finishRound();
        QCOMPARE(sharedLog, QList<int>{5});
        QVERIFY(target.expired());
        turnEventLoop();
        QCOMPARE(m_rec.delivered, (QList<int>{42, 9}));
        QVERIFY(m_owner->isEmpty());
    }

};

QTEST_GUILESS_MAIN(TestTaskQueue)
#include "test_task_queue.moc"
