#include "platform/engine/formats/AesCounter.h"

#include <QtEndian>
#include <cstring>
#include <memory>
#include <openssl/evp.h>

namespace {

struct CipherFree {
    void operator()(EVP_CIPHER_CTX *context) const { EVP_CIPHER_CTX_free(context); }
};

const EVP_CIPHER *ecbFor(qsizetype keySize)
{
    switch (keySize) {
    case 16:
        return EVP_aes_128_ecb();
    case 24:
        return EVP_aes_192_ecb();
    case 32:
        return EVP_aes_256_ecb();
    default:
        return nullptr;
    }
}

// Eight bytes at a time: byte by byte, this loop cost as much as the AES.
void xorInto(char *data, const char *keyStream, qint64 size)
{
    qint64 i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word, key;
        std::memcpy(&word, data + i, 8);
        std::memcpy(&key, keyStream + i, 8);
        word ^= key;
        std::memcpy(data + i, &word, 8);
    }
    for (; i < size; ++i)
        data[i] = char(data[i] ^ keyStream[i]);
}

// Key stream is made this many blocks at a time.
constexpr qint64 batchBlocks = 4096;

} // namespace

bool AesCounter::apply(const QByteArray &key, quint64 firstBlock, char *data, qint64 size)
{
    const EVP_CIPHER *cipher = ecbFor(key.size());
    if (!cipher || size < 0)
        return false;
    std::unique_ptr<EVP_CIPHER_CTX, CipherFree> context(EVP_CIPHER_CTX_new());
    const auto *keyBytes = reinterpret_cast<const unsigned char *>(key.constData());
    if (!context || EVP_EncryptInit_ex(context.get(), cipher, nullptr, keyBytes, nullptr) != 1)
        return false;
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    QByteArray stream(std::min(size, batchBlocks * blockSize) + blockSize, Qt::Uninitialized);
    auto *bytes = reinterpret_cast<unsigned char *>(stream.data());
    for (qint64 done = 0; done < size;) {
        const qint64 blocks = std::min(batchBlocks, (size - done + blockSize - 1) / blockSize);
        const quint64 first = firstBlock + quint64(done / blockSize);
        for (qint64 i = 0; i < blocks; ++i) {
            qToLittleEndian<quint64>(first + quint64(i) + 1, bytes + i * blockSize);
            qToLittleEndian<quint64>(0, bytes + i * blockSize + 8);
        }
        int written = 0;
        if (EVP_EncryptUpdate(context.get(), bytes, &written, bytes, int(blocks * blockSize)) != 1)
            return false;
        const qint64 length = std::min(blocks * blockSize, size - done);
        xorInto(data + done, stream.constData(), length);
        done += length;
    }
    return true;
}
