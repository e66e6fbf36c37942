#pragma once

#include <QByteArray>

// AES in counter mode as WinZip's AES zips use it: the counter is a
// little-endian number starting at 1 for the first block. OpenSSL's CTR
// mode counts big-endian, so the counter blocks are made here and
// encrypted with OpenSSL's ECB, many at a time.
class AesCounter {
public:
    static constexpr qint64 blockSize = 16;

    // XORs the key stream into data in place, data starting at the block of
    // that index (from 0). The key's size picks AES-128, -192 or -256.
    static bool apply(const QByteArray &key, quint64 firstBlock, char *data, qint64 size);
};
