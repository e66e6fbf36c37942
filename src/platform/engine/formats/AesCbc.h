#pragma once

#include <QByteArray>

// AES in CBC mode, decrypting whole 16-byte blocks in place, through
// OpenSSL's libcrypto. The key's size picks AES-128 or AES-256.
class AesCbc {
public:
    static constexpr qint64 blockSize = 16;

    // False when the key is neither 16 nor 32 bytes, the IV is not one
    // block, or the data is no whole number of blocks.
    static bool decrypt(const QByteArray &key, const QByteArray &iv, char *data, qint64 size);
};
