#pragma once

#include <QByteArray>
#include <QtGlobal>

// The CRC-32 of zip and gzip (reflected polynomial 0xEDB88320).
class Crc32 {
public:
    static quint32 of(const QByteArray &bytes, quint32 previous = 0);
};
