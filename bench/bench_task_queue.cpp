// Measures what the serial task queue adds to each task: the time from one
// task's finish to the next task's delivery (one event-loop turn), over many
// tasks that finish themselves at once, and the same with a busy event loop
// (other posted work between tasks).
#include "extraction/QXTaskQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

namespace {

class Worker : public QObject {
public:
    explicit Worker(QXTaskQueue *queue)
        : m_queue(queue)
    {
    }
    void step(int) { m_queue->finishCurrentTask(); }

private:
    QXTaskQueue *m_queue;
};

double microsecondsPerTask(int tasks, int noisePerTask)
{
    QXTaskQueue queue;
    Worker worker(&queue);
    bool done = false;
    queue.setFinishAction([&done](QXTaskQueue *) { done = true; });
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < tasks; ++i)
        queue.taskWithTarget(&worker)->call(&Worker::step, i);
    for (int i = 0; i < tasks * noisePerTask; ++i)
        QMetaObject::invokeMethod(&worker, [] {}, Qt::QueuedConnection);
    while (!done)
        QCoreApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1000.0 / tasks;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    for (const int tasks : {1000, 100000}) {
        out << "tasks " << tasks << ": " << microsecondsPerTask(tasks, 0) << " us per task, "
            << microsecondsPerTask(tasks, 10) << " us with 10 other events each\n";
    }
    return 0;
}
