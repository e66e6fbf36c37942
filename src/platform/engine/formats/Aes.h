#pragma once

#include <QByteArray>

// AES through OpenSSL's libcrypto, in the two modes archives use, on whole
// buffers in place. The key's size picks AES-128, -192 or -256.
class Aes {
public:
    static constexpr qint64 blockSize = 16;

    // CBC decryption of whole blocks from iv (7z, RAR). False when the key
    // or IV has no AES size, or the data is no whole number of blocks.
    static bool decryptCbc(const QByteArray &key, const QByteArray &iv, char *data, qint64 size);
    // Counter mode as WinZip's AES zips use it: the counter is a
    // little-endian number starting at 1 for the first block, which
    // OpenSSL's big-endian CTR cannot count, so the counter blocks are made
    // here and encrypted with ECB many at a time. XORs the key stream into
    // data, data starting at the block of that index (from 0).
    static bool applyWinZipCounter(const QByteArray &key, quint64 firstBlock, char *data, qint64 size);
};
