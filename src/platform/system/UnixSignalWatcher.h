#pragma once

#include "platform/files/UniqueFd.h"

#include <QList>
#include <QObject>
#include <csignal>
#include <utility>

class QSocketNotifier;

// Turns POSIX signals into a Qt signal on the event loop of the thread that
// made the watcher. The handler only writes the signal's number into a pipe,
// which is all a handler may safely do; everything else happens on the loop.
// One watcher per process. A signal the process was started with ignored
// (nohup's SIGHUP) stays ignored.
class UnixSignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit UnixSignalWatcher(const QList<int> &signalNumbers, QObject *parent = nullptr);
    ~UnixSignalWatcher() override;

    bool isWatching() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void signalReceived(int signalNumber);

private:
    static void handle(int signalNumber);
    bool openPipe();
    void watch(int signalNumber);
    void readPending();

    UniqueFd m_readEnd;
    UniqueFd m_writeEnd;
    QSocketNotifier *m_notifier = nullptr;
    QList<std::pair<int, struct sigaction>> m_previous;
};
