#include "platform/engine/EngineChannel.h"

#include <QCborValue>
#include <QtEndian>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace {

constexpr qsizetype lengthSize = 4;

} // namespace

bool EngineChannel::send(const QCborMap &message)
{
    const QByteArray body = message.toCborValue().toCbor();
    QByteArray frame(lengthSize, Qt::Uninitialized);
    qToBigEndian(quint32(body.size()), frame.data());
    frame += body;
    for (qsizetype done = 0; done < frame.size();) {
        // MSG_NOSIGNAL: a peer that is gone is an answer, not a reason to die.
        const ssize_t put = ::send(m_fd.get(), frame.constData() + done, size_t(frame.size() - done), MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += put;
    }
    return true;
}

EngineChannel::Status EngineChannel::receive(QCborMap *message, int timeoutMs)
{
    for (;;) {
        const Status buffered = takeBuffered(message);
        if (buffered != Status::Timeout)
            return buffered;
        if (m_closed)
            return m_buffer.isEmpty() ? Status::Closed : Status::Broken;
        const Status read = readMore(timeoutMs);
        if (read != Status::Message)
            return read;
    }
}

// Message when one was whole in the buffer, Timeout when more is needed.
EngineChannel::Status EngineChannel::takeBuffered(QCborMap *message)
{
    if (m_buffer.size() < lengthSize)
        return Status::Timeout;
    const qint64 length = qFromBigEndian<quint32>(m_buffer.constData());
    if (length > maximumMessageSize)
        return Status::Broken;
    if (m_buffer.size() < lengthSize + length)
        return Status::Timeout;
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(m_buffer.mid(lengthSize, length), &error);
    m_buffer.remove(0, lengthSize + length);
    if (error.error != QCborError::NoError || !value.isMap())
        return Status::Broken;
    *message = value.toMap();
    return Status::Message;
}

// Message when bytes came in (or the peer closed), else Timeout or Broken.
EngineChannel::Status EngineChannel::readMore(int timeoutMs)
{
    pollfd watched{m_fd.get(), POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&watched, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return Status::Broken;
    if (ready == 0)
        return Status::Timeout;
    char chunk[64 * 1024];
    ssize_t got = 0;
    do {
        got = ::recv(m_fd.get(), chunk, sizeof chunk, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return errno == ECONNRESET ? (m_closed = true, Status::Message) : Status::Broken;
    if (got == 0)
        m_closed = true;
    m_buffer.append(chunk, got);
    return Status::Message;
}
