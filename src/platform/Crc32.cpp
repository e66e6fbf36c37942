#include "Crc32.h"

#include <zlib.h>

// zlib's is several times faster than a byte-wise table, which matters for
// checking whole files.
quint32 Crc32::of(const void *data, size_t size, quint32 previous)
{
    auto *bytes = static_cast<const Bytef *>(data);
    uLong crc = previous;
    while (size > 0) {
        const uInt chunk = uInt(qMin<size_t>(size, 1U << 30));
        crc = crc32(crc, bytes, chunk);
        bytes += chunk;
        size -= chunk;
    }
    return quint32(crc);
}

quint32 Crc32::of(const QByteArray &bytes, quint32 previous)
{
    return of(bytes.constData(), size_t(bytes.size()), previous);
}
