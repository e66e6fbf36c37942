#include "platform/engine/formats/ViewPartDevice.h"

ViewPartDevice::ViewPartDevice(std::unique_ptr<DecryptedView> view, qsizetype part)
    : m_view(std::move(view)), m_part(part)
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 ViewPartDevice::readData(char *data, qint64 maxSize)
{
    qint64 done = 0;
    while (done < maxSize) {
        const qint64 got = m_view->read(m_part, pos() + done, data + done, maxSize - done);
        if (got < 0)
            return done > 0 ? done : -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}
