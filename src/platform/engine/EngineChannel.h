#pragma once

#include "platform/files/UniqueFd.h"

#include <QByteArray>
#include <QCborMap>

// One end of the conversation between the program and its engine helper:
// CBOR maps, each behind a four-byte big-endian length, over a stream
// socket. Neither side trusts the other's framing: an oversized or
// malformed message breaks the channel instead of being guessed at.
class EngineChannel {
public:
    enum class Status {
        Message,
        Timeout,
        Closed, // the peer went away between messages
        Broken, // mid-message, or not a message at all
    };

    static constexpr qint64 maximumMessageSize = 16 << 20;

    explicit EngineChannel(UniqueFd fd) : m_fd(std::move(fd)) {}

    // False when the peer is gone.
    bool send(const QCborMap &message);
    // Waits up to timeoutMs (-1: for ever, 0: not at all) for a whole
    // message; a message that arrives in parts is kept across timeouts.
    Status receive(QCborMap *message, int timeoutMs);
    int fd() const { return m_fd.get(); }

private:
    Status takeBuffered(QCborMap *message);
    Status readMore(int timeoutMs);

    UniqueFd m_fd;
    QByteArray m_buffer;
    bool m_closed = false;
};
