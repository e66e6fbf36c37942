#include "platform/system/UnixSignalWatcher.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<int> writeEndForHandler{-1};

} // namespace

UnixSignalWatcher::UnixSignalWatcher(const QList<int> &signalNumbers, QObject *parent)
    : QObject(parent)
{
    if (writeEndForHandler.load() >= 0 || !openPipe())
        return;
    writeEndForHandler.store(m_writeEnd.get());
    m_notifier = new QSocketNotifier(m_readEnd.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignalWatcher::readPending);
    for (int signalNumber : signalNumbers)
        watch(signalNumber);
}

UnixSignalWatcher::~UnixSignalWatcher()
{
    for (const auto &[signalNumber, previous] : std::as_const(m_previous))
        ::sigaction(signalNumber, &previous, nullptr);
    if (isWatching())
        writeEndForHandler.store(-1);
}

// Non-blocking both ways: a storm of signals drops bytes instead of stopping
// the handler, and the loop never waits on an empty pipe.
bool UnixSignalWatcher::openPipe()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    m_readEnd.reset(ends[0]);
    m_writeEnd.reset(ends[1]);
    return true;
}

void UnixSignalWatcher::watch(int signalNumber)
{
    struct sigaction previous = {};
    if (::sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
        return;
    struct sigaction action = {};
    action.sa_handler = &UnixSignalWatcher::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(signalNumber, &action, &previous) == 0)
        m_previous.append({signalNumber, previous});
}

void UnixSignalWatcher::handle(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (const int fd = writeEndForHandler.load(); fd >= 0) {
        // A full pipe already holds a wake-up; losing this byte costs nothing.
        const ssize_t written = ::write(fd, &byte, 1);
        static_cast<void>(written);
    }
    errno = savedErrno;
}

void UnixSignalWatcher::readPending()
{
    unsigned char bytes[16];
    ssize_t count;
    while ((count = ::read(m_readEnd.get(), bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            Q_EMIT signalReceived(int(bytes[i]));
    }
}
