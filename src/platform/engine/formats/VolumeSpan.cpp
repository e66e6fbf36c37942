#include "platform/engine/formats/VolumeSpan.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

VolumeSpan::VolumeSpan(VolumeSet volumes) : m_volumes(std::move(volumes))
{
    m_fds.resize(size_t(m_volumes.count()));
}

bool VolumeSpan::read(qint64 offset, char *data, qint64 size)
{
    if (offset < 0 || size < 0 || offset > this->size() || size > this->size() - offset)
        return false;
    for (qsizetype index = 0; size > 0 && index < m_volumes.count(); ++index) {
        const qint64 start = m_volumes.offsetOf(index), length = m_volumes.size(index);
        if (offset >= start + length)
            continue;
        UniqueFd &fd = m_fds[size_t(index)];
        if (!fd.isValid())
            fd.reset(::open(QFile::encodeName(m_volumes.paths().at(index)).constData(), O_RDONLY | O_CLOEXEC));
        const qint64 part = std::min(size, start + length - offset);
        for (qint64 done = 0; done < part;) {
            const ssize_t got = ::pread(fd.get(), data + done, size_t(part - done), off_t(offset - start + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false; // cut short since the set was measured
            done += got;
        }
        data += part;
        offset += part;
        size -= part;
    }
    return size == 0;
}

QByteArray VolumeSpan::read(qint64 offset, qint64 size)
{
    if (size < 0 || size > this->size())
        return {};
    QByteArray bytes(size, Qt::Uninitialized);
    return read(offset, bytes.data(), size) ? bytes : QByteArray();
}
