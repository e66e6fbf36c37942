#include "extraction/QXTaskQueue.h"

#include <QCoreApplication>
#include <QList>
#include <QObject>
#include <QTest>
#include <memory>

namespace {

// A payload whose lifetime the tests watch.
struct Probe {
    int value = 0;
};

// A target owned elsewhere, like the controller.
class Recorder : public QObject {
public:
    QXTaskQueue *queue = nullptr;
    QList<int> delivered;
    int finishCalls = 0;
    std::weak_ptr<Probe> watched;
    bool aliveAfterFinish = false;
    bool emptyInsideFinish = false;
    QXTaskQueue *finishedQueue = nullptr;

    void note(int n) { delivered.append(n); }
    void noteAndFinish(int n)
    {
        delivered.append(n);
        queue->finishCurrentTask();
    }
    void keep(std::shared_ptr<Probe> probe) { delivered.append(probe->value); }
    // Finishes its own task first and only then reads its argument: the
    // argument must still be there.
    void finishThenRead(const std::shared_ptr<Probe> &probe)
    {
        queue->finishCurrentTask();
        aliveAfterFinish = !watched.expired();
        delivered.append(probe->value);
    }
    void readOnly(int n) const { const_cast<Recorder *>(this)->delivered.append(n); }
    void queueEmpty(QXTaskQueue *q)
    {
        ++finishCalls;
        finishedQueue = q;
        emptyInsideFinish = q->isEmpty();
    }
    void queueEmptyNoArgument() { ++finishCalls; }
};

// A target owned by its tasks, like an archive item.
class SharedTarget {
public:
    explicit SharedTarget(QList<int> *log)
        : m_log(log)
    {
    }
    void note(int n) { m_log->append(n); }

private:
    QList<int> *m_log;
};

class Unrelated : public QObject {
public:
    void note(int) {}
};

// Whether a call can be captured for a target of type T at all.
template <typename T, typename M, typename... Args>
concept Capturable = requires(QXTaskTrampoline<T> trampoline, M member, Args... args) {
    trampoline.call(member, args...);
};

// The compiler refuses what the target does not have, and arguments that
// do not fit; a fitting call is accepted.
static_assert(Capturable<Recorder, decltype(&Recorder::note), int>);
static_assert(Capturable<Recorder, decltype(&Recorder::readOnly), int>);
static_assert(!Capturable<Recorder, decltype(&Unrelated::note), int>);
static_assert(!Capturable<Recorder, decltype(&Recorder::note)>);
static_assert(!Capturable<Recorder, decltype(&Recorder::note), int, int>);
static_assert(!Capturable<Recorder, decltype(&Recorder::keep), int>);

void turnEventLoop()
{
    // Several turns: a task that is due must have been delivered by then.
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace

class TestTaskQueue : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tasksRunInOrderOneAfterAnother();
    void unfinishedTaskHoldsTheQueue();
    void finishActionRunsOnceWithQueueEmpty();
    void finishActionFormsAndGoneFinishTarget();
    void stalledTaskIsDeliveredAgainFirst();
    void stallBeforeStartDeliversOnce();
    void argumentLivesUntilTaskIsRemoved();
    void taskFinishedInsideItsOwnCallKeepsArguments();
    void extraFinishCallsDoNothing();
    void goneTargetIsSkipped();
    void destroyedQueueDeliversNothing();
};

void TestTaskQueue::tasksRunInOrderOneAfterAnother()
{
    QXTaskQueue queue;
    Recorder rec;
    rec.queue = &queue;
    queue.setFinishAction(&Recorder::queueEmpty, &rec);

    queue.taskWithTarget(&rec)->call(&Recorder::note, 1);
    QVERIFY(rec.delivered.isEmpty()); // never inside the submitting call
    QVERIFY(queue.isRunning());
    QVERIFY(!queue.isEmpty());
    queue.taskWithTarget(&rec)->call(&Recorder::note, 2);
    queue.taskWithTarget(&rec)->call(&Recorder::readOnly, 3);
    QCOMPARE(queue.taskCount(), 3);
    QVERIFY(rec.delivered.isEmpty());

    for (int n = 1; n <= 3; ++n) {
        turnEventLoop();
        QCOMPARE(rec.delivered.size(), n);
        QCOMPARE(rec.delivered.last(), n);
        QCOMPARE(rec.finishCalls, 0);
        queue.finishCurrentTask();
        QCOMPARE(rec.delivered.size(), n); // the next one is not started inside finish
    }
    QCOMPARE(rec.delivered, (QList<int>{1, 2, 3}));
    QCOMPARE(rec.finishCalls, 1);
    QCOMPARE(queue.taskCount(), 0);
}

void TestTaskQueue::unfinishedTaskHoldsTheQueue()
{
    QXTaskQueue queue;
    Recorder rec;
    queue.taskWithTarget(&rec)->call(&Recorder::note, 1);
    queue.taskWithTarget(&rec)->call(&Recorder::note, 2);
    QTest::qWait(50);
    turnEventLoop();
    QCOMPARE(rec.delivered, QList<int>{1});
    QVERIFY(queue.isRunning());
    QCOMPARE(queue.taskCount(), 2);

    queue.finishCurrentTask();
    turnEventLoop();
    QCOMPARE(rec.delivered, (QList<int>{1, 2}));
}

void TestTaskQueue::finishActionRunsOnceWithQueueEmpty()
{
    QXTaskQueue queue;
    Recorder rec;
    rec.queue = &queue;
    queue.setFinishAction(&Recorder::queueEmpty, &rec);

    // A task that finishes itself synchronously still ends the queue once.
    queue.taskWithTarget(&rec)->call(&Recorder::noteAndFinish, 7);
    QCOMPARE(rec.finishCalls, 0);
    turnEventLoop();
    QCOMPARE(rec.delivered, QList<int>{7});
    QCOMPARE(rec.finishCalls, 1);
    QCOMPARE(rec.finishedQueue, &queue);
    QVERIFY(rec.emptyInsideFinish);
    QVERIFY(queue.isEmpty());

    // The queue is usable again afterwards, and ends again once.
    queue.taskWithTarget(&rec)->call(&Recorder::note, 8);
    turnEventLoop();
    queue.finishCurrentTask();
    QCOMPARE(rec.finishCalls, 2);
}

void TestTaskQueue::finishActionFormsAndGoneFinishTarget()
{
    QXTaskQueue queue;
    int calls = 0;
    bool emptyInside = false;
    queue.setFinishAction([&](QXTaskQueue *q) {
        ++calls;
        emptyInside = q->isEmpty();
        // Submitting from inside the finish action starts a new round.
        if (calls == 1) {
            Recorder *late = new Recorder;
            late->setParent(q);
            q->taskWithTarget(late)->call(&Recorder::note, 2);
        }
    });
    Recorder rec;
    queue.taskWithTarget(&rec)->call(&Recorder::note, 1);
    turnEventLoop();
    queue.finishCurrentTask();
    QCOMPARE(calls, 1);
    QVERIFY(emptyInside);
    QVERIFY(queue.isRunning());
    turnEventLoop();
    queue.finishCurrentTask();
    QCOMPARE(calls, 2);

    // A member without the queue argument; a finish target that is gone.
    auto *owner = new Recorder;
    queue.setFinishAction(&Recorder::queueEmptyNoArgument, owner);
    queue.taskWithTarget(&rec)->call(&Recorder::note, 3);
    turnEventLoop();
    queue.finishCurrentTask();
    QCOMPARE(owner->finishCalls, 1);
    delete owner;
    queue.taskWithTarget(&rec)->call(&Recorder::note, 4);
    turnEventLoop();
    queue.finishCurrentTask(); // must not reach the deleted target
    QVERIFY(queue.isEmpty());
}

void TestTaskQueue::stalledTaskIsDeliveredAgainFirst()
{
    QXTaskQueue queue;
    Recorder rec;
    rec.queue = &queue;
    queue.setFinishAction(&Recorder::queueEmpty, &rec);

    queue.taskWithTarget(&rec)->call(&Recorder::note, 1);
    turnEventLoop();
    queue.stallCurrentTask();
    QVERIFY(queue.isStalled());
    QVERIFY(!queue.isRunning());
    QVERIFY(!queue.isEmpty());

    // Finishing a stalled queue does nothing at all.
    queue.finishCurrentTask();
    QCOMPARE(queue.taskCount(), 1);
    QCOMPARE(rec.finishCalls, 0);
    turnEventLoop();
    QCOMPARE(rec.delivered, QList<int>{1});

    queue.taskWithTarget(&rec)->call(&Recorder::note, 2);
    QVERIFY(queue.isRunning());
    QVERIFY(!queue.isStalled());
    QCOMPARE(rec.delivered, QList<int>{1});
    turnEventLoop();
    QCOMPARE(rec.delivered, (QList<int>{1, 1}));
    queue.finishCurrentTask();
    turnEventLoop();
    QCOMPARE(rec.delivered, (QList<int>{1, 1, 2}));
    queue.finishCurrentTask();
    QCOMPARE(rec.finishCalls, 1);
}

void TestTaskQueue::stallBeforeStartDeliversOnce()
{
    QXTaskQueue queue;
    Recorder rec;
    queue.taskWithTarget(&rec)->call(&Recorder::note, 1);
    // Stalled before its start came round: the start already scheduled must
    // not deliver it, and the restart must deliver it exactly once.
    queue.stallCurrentTask();
    turnEventLoop();
    QVERIFY(rec.delivered.isEmpty());
    queue.restart();
    queue.stallCurrentTask();
    queue.restart();
    turnEventLoop();
    QCOMPARE(rec.delivered, QList<int>{1});
}

void TestTaskQueue::argumentLivesUntilTaskIsRemoved()
{
    QXTaskQueue queue;
    Recorder rec;
    QList<int> sharedLog;
    std::weak_ptr<Probe> watchProbe;
    std::weak_ptr<SharedTarget> watchTarget;
    {
        auto probe = std::make_shared<Probe>();
        probe->value = 42;
        watchProbe = probe;
        queue.taskWithTarget(&rec)->call(&Recorder::keep, probe);
        auto target = std::make_shared<SharedTarget>(&sharedLog);
        watchTarget = target;
        queue.taskWithTarget(target)->call(&SharedTarget::note, 5);
    }
    QVERIFY(!watchProbe.expired());
    QVERIFY(!watchTarget.expired());
    turnEventLoop();
    QCOMPARE(rec.delivered, QList<int>{42});
    QVERIFY(!watchProbe.expired()); // delivered, but not finished yet
    queue.finishCurrentTask();
    QVERIFY(watchProbe.expired());

    turnEventLoop();
    QCOMPARE(sharedLog, QList<int>{5});
    QVERIFY(!watchTarget.expired());
    queue.finishCurrentTask();
    QVERIFY(watchTarget.expired());
}

void TestTaskQueue::taskFinishedInsideItsOwnCallKeepsArguments()
{
    QXTaskQueue queue;
    Recorder rec;
    rec.queue = &queue;
    std::weak_ptr<Probe> watch;
    {
        auto probe = std::make_shared<Probe>();
        probe->value = 9;
        watch = probe;
        rec.watched = probe;
        queue.taskWithTarget(&rec)->call(&Recorder::finishThenRead, probe);
    }
    turnEventLoop();
    QVERIFY(rec.aliveAfterFinish);
    QCOMPARE(rec.delivered, QList<int>{9});
    QVERIFY(watch.expired());
    QVERIFY(queue.isEmpty());
}

void TestTaskQueue::extraFinishCallsDoNothing()
{
    QXTaskQueue queue;
    Recorder rec;
    rec.queue = &queue;
    queue.setFinishAction(&Recorder::queueEmpty, &rec);

    // Idle: nothing happens, no finish action.
    queue.finishCurrentTask();
    QCOMPARE(rec.finishCalls, 0);
    QVERIFY(queue.isEmpty());

    // A doubled call for one task must not drop the task after it.
    queue.taskWithTarget(&rec)->call(&Recorder::note, 1);
    queue.taskWithTarget(&rec)->call(&Recorder::note, 2);
    turnEventLoop();
    queue.finishCurrentTask();
    queue.finishCurrentTask();
    QCOMPARE(queue.taskCount(), 1);
    turnEventLoop();
    QCOMPARE(rec.delivered, (QList<int>{1, 2}));
    queue.finishCurrentTask();
    QCOMPARE(rec.finishCalls, 1);
    queue.finishCurrentTask();
    QCOMPARE(rec.finishCalls, 1);
    QVERIFY(queue.isEmpty());
}

void TestTaskQueue::goneTargetIsSkipped()
{
    QXTaskQueue queue;
    Recorder rec;
    rec.queue = &queue;
    queue.setFinishAction(&Recorder::queueEmpty, &rec);
    auto *doomed = new Recorder;
    queue.taskWithTarget(doomed)->call(&Recorder::note, 1);
    queue.taskWithTarget(&rec)->call(&Recorder::note, 2);
    delete doomed;
    turnEventLoop();
    QCOMPARE(rec.delivered, QList<int>{2});
    queue.finishCurrentTask();
    QCOMPARE(rec.finishCalls, 1);
}

void TestTaskQueue::destroyedQueueDeliversNothing()
{
    Recorder rec;
    std::weak_ptr<Probe> watch;
    {
        QXTaskQueue queue;
        auto probe = std::make_shared<Probe>();
        watch = probe;
        queue.taskWithTarget(&rec)->call(&Recorder::keep, probe);
    }
    QVERIFY(watch.expired());
    turnEventLoop();
    QVERIFY(rec.delivered.isEmpty());
}

QTEST_GUILESS_MAIN(TestTaskQueue)
#include "test_task_queue.moc"
