#include "platform/engine/streams/VolumeStream.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>

VolumeStream::VolumeStream(VolumeSet volumes, qsizetype bufferSize)
    : m_volumes(std::move(volumes)), m_buffer(bufferSize, Qt::Uninitialized)
{
}

bool VolumeStream::fill(qsizetype wanted)
{
    wanted = qMin(wanted, m_buffer.size());
    while (m_end - m_begin < wanted && !m_ended) {
        // Unread bytes move to the front only when the look-ahead would not
        // fit behind them: in the common case the buffer simply starts over.
        if (m_begin == m_end) {
            m_begin = m_end = 0;
        } else if (m_buffer.size() - m_begin < wanted) {
            std::memmove(m_buffer.data(), m_buffer.constData() + m_begin, size_t(m_end - m_begin));
            m_end -= m_begin;
            m_begin = 0;
        }
        if (!readMore())
            return false;
    }
    return true;
}

void VolumeStream::consume(qsizetype count)
{
    count = qBound<qsizetype>(0, count, m_end - m_begin);
    m_begin += count;
    m_consumed += count;
}

bool VolumeStream::readMore()
{
    if (!m_fd.isValid() && !openNext())
        return m_ended;
    for (;;) {
        const ssize_t got = ::read(m_fd.get(), m_buffer.data() + m_end, size_t(m_buffer.size() - m_end));
        if (got > 0) {
            m_end += got;
            return true;
        }
        if (got == 0) {
            m_fd.reset();
            return true;
        }
        if (errno != EINTR)
            return false;
    }
}

// False with m_ended set when every volume has been read.
bool VolumeStream::openNext()
{
    if (m_next >= m_volumes.count()) {
        m_ended = true;
        return false;
    }
    const QByteArray path = QFile::encodeName(m_volumes.paths().at(m_next++));
    m_fd.reset(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (!m_fd.isValid())
        return false;
    ::posix_fadvise(m_fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}
