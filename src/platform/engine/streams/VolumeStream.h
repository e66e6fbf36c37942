#pragma once

#include "platform/files/UniqueFd.h"
#include "platform/engine/formats/VolumeSet.h"

#include <QByteArray>
#include <QByteArrayView>

// The volumes of a VolumeSet read one after another as a single stream of
// bytes. Unread bytes stay in the buffer until consumed, so a caller can
// look a few bytes ahead across a volume boundary.
class VolumeStream {
public:
    VolumeStream(VolumeSet volumes, qsizetype bufferSize);

    // Makes at least `wanted` unread bytes available, or all that is left;
    // false when a volume cannot be opened or read.
    bool fill(qsizetype wanted);
    QByteArrayView unread() const { return QByteArrayView(m_buffer.constData() + m_begin, m_end - m_begin); }
    void consume(qsizetype count);
    // Bytes consumed so far, over all volumes.
    qint64 consumed() const { return m_consumed; }

private:
    bool readMore();
    bool openNext();

    VolumeSet m_volumes;
    qsizetype m_next = 0;
    UniqueFd m_fd;
    QByteArray m_buffer;
    qsizetype m_begin = 0;
    qsizetype m_end = 0;
    qint64 m_consumed = 0;
    bool m_ended = false;
};
