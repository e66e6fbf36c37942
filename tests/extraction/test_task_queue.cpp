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
    bool emptyInsideFinish = false;

    void note(int n) { delivered.append(n); }
    void keep(std::shared_ptr<int> value) { delivered.append(*value); }
    // Finishes its own task first and only then reads its argument.
    void finishThenRead(const std::shared_ptr<int> &value)
    {
        queue->finishCurrentTask();
        delivered.append(*value);
    }
    void queueEmpty(QXTaskQueue *q)
    {
        ++finishCalls;
        emptyInsideFinish = q->isEmpty();
    }
};

// A target owned by its tasks, like an archive item.
struct SharedTarget {
    QList<int> *log;
    void note(int n) { log->append(n); }
};

void turnEventLoop()
{
    // Several turns: a task that is due must have been delivered by then.
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace

class TestTaskQueue : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QXTaskQueue> m_owner;
    Recorder m_rec;

private Q_SLOTS:
    void init()
    {
        m_owner = std::make_unique<QXTaskQueue>();
        m_rec.delivered.clear();
        m_rec.finishCalls = 0;
        m_rec.queue = m_owner.get();
        m_owner->setFinishAction(&Recorder::queueEmpty, &m_rec);
    }

    // One at a time, first in first out, each only once the one before finished.
    void tasksRunInOrderOneAfterAnother()
    {
        for (int n = 1; n <= 3; ++n)
            m_owner->taskWithTarget(&m_rec)->call(&Recorder::note, n);
        QVERIFY(m_rec.delivered.isEmpty()); // never inside the submitting call
        QCOMPARE(m_owner->taskCount(), 3);
        QTest::qWait(20);
        for (int n = 1; n <= 3; ++n) {
            turnEventLoop();
            QCOMPARE(m_rec.delivered.size(), n);
            QCOMPARE(m_rec.delivered.last(), n);
            QCOMPARE(m_rec.finishCalls, 0);
            m_owner->finishCurrentTask();
            QCOMPARE(m_rec.delivered.size(), n); // the next one is not started inside finish
        }
        QCOMPARE(m_rec.finishCalls, 1);
        QVERIFY(m_rec.emptyInsideFinish);
        // A doubled or idle finish neither drops a task nor ends the queue again.
        m_owner->taskWithTarget(&m_rec)->call(&Recorder::note, 4);
        m_owner->taskWithTarget(&m_rec)->call(&Recorder::note, 5);
        turnEventLoop();
        m_owner->finishCurrentTask();
        m_owner->finishCurrentTask();
        QCOMPARE(m_owner->taskCount(), 1);
        turnEventLoop();
        m_owner->finishCurrentTask();
        m_owner->finishCurrentTask();
        QCOMPARE(m_rec.delivered, (QList<int>{1, 2, 3, 4, 5}));
        QCOMPARE(m_rec.finishCalls, 2);
    }

    void stalledTaskIsDeliveredAgainFirst()
    {
        m_owner->taskWithTarget(&m_rec)->call(&Recorder::note, 1);
        turnEventLoop();
        m_owner->stallCurrentTask();
        QVERIFY(m_owner->isStalled() && !m_owner->isEmpty());
        m_owner->finishCurrentTask(); // does nothing to a stalled queue
        QCOMPARE(m_owner->taskCount(), 1);
        m_owner->taskWithTarget(&m_rec)->call(&Recorder::note, 2);
        turnEventLoop();
        m_owner->finishCurrentTask();
        turnEventLoop();
        m_owner->finishCurrentTask();
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
        turnEventLoop();
        QCOMPARE(sharedLog, QList<int>{5});
        QVERIFY(!target.expired());
        m_owner->finishCurrentTask();
        QVERIFY(target.expired());
        turnEventLoop(); // finishes itself, then reads its argument
        QCOMPARE(m_rec.delivered, (QList<int>{42, 9}));
        QVERIFY(m_owner->isEmpty());
    }

    void goneTargetsAndQueuesDeliverNothing()
    {
        auto *doomed = new Recorder;
        m_owner->taskWithTarget(doomed)->call(&Recorder::note, 1);
        m_owner->taskWithTarget(&m_rec)->call(&Recorder::note, 2);
        delete doomed;
        turnEventLoop();
        QCOMPARE(m_rec.delivered, QList<int>{2});
        m_owner->finishCurrentTask();
        QCOMPARE(m_rec.finishCalls, 1);

        std::weak_ptr<int> watch;
        {
            QXTaskQueue queue;
            auto value = std::make_shared<int>(7);
            watch = value;
            queue.taskWithTarget(&m_rec)->call(&Recorder::keep, value);
        }
        QVERIFY(watch.expired());
        turnEventLoop();
        QCOMPARE(m_rec.delivered, QList<int>{2});
    }

    // Submitting from inside the finish action starts a new round.
    void finishActionMayStartANewRound()
    {
        QXTaskQueue queue;
        int calls = 0;
        queue.setFinishAction([&](QXTaskQueue *q) {
            if (++calls == 1)
                q->taskWithTarget(&m_rec)->call(&Recorder::note, 2);
        });
        queue.taskWithTarget(&m_rec)->call(&Recorder::note, 1);
        turnEventLoop();
        queue.finishCurrentTask();
        QCOMPARE(calls, 1);
        QVERIFY(queue.isRunning());
        turnEventLoop();
        queue.finishCurrentTask();
        QCOMPARE(calls, 2);
        QCOMPARE(m_rec.delivered, (QList<int>{1, 2}));
    }
};

QTEST_GUILESS_MAIN(TestTaskQueue)
#include "test_task_queue.moc"
