#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <cstddef>

// The CRC-32 of zip and gzip (reflected polynomial 0xEDB88320).
class Crc32 {
public:
    static quint32 of(const QByteArray &bytes, quint32 previous = 0);
    static quint32 of(const void *data, size_t size, quint32 previous = 0);
};
