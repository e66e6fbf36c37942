#include "platform/engine/formats/Aes.h"

#include <QtEndian>
#include <climits>
#include <cstring>
#include <memory>
#include <openssl/evp.h>

namespace {

struct CipherFree {
    void operator()(EVP_CIPHER_CTX *context) const { EVP_CIPHER_CTX_free(context); }
};

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherFree>;

// A context set up for the key, without padding; null when the key has no
// AES size.
CipherContext contextFor(const QByteArray &key, bool cbc, bool decrypt, const QByteArray &iv = QByteArray())
{
    const EVP_CIPHER *cipher = nullptr;
    switch (key.size()) {
    case 16:
        cipher = cbc ? EVP_aes_128_cbc() : EVP_aes_128_ecb();
        break;
    case 24:
        cipher = cbc ? EVP_aes_192_cbc() : EVP_aes_192_ecb();
        break;
    case 32:
        cipher = cbc ? EVP_aes_256_cbc() : EVP_aes_256_ecb();
        break;
    default:
        return nullptr;
    }
    CipherContext context(EVP_CIPHER_CTX_new());
    const auto *keyBytes = reinterpret_cast<const unsigned char *>(key.constData());
    const auto *ivBytes = iv.isEmpty() ? nullptr : reinterpret_cast<const unsigned char *>(iv.constData());
    if (!context || EVP_CipherInit_ex(context.get(), cipher, nullptr, keyBytes, ivBytes, decrypt ? 0 : 1) != 1)
        return nullptr;
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    return context;
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

bool Aes::decryptCbc(const QByteArray &key, const QByteArray &iv, char *data, qint64 size)
{
    if (iv.size() != blockSize || size < 0 || size % blockSize != 0 || size > INT_MAX)
        return false;
    const CipherContext context = contextFor(key, true, true, iv);
    auto *bytes = reinterpret_cast<unsigned char *>(data);
    int written = 0;
    return context && EVP_CipherUpdate(context.get(), bytes, &written, bytes, int(size)) == 1 && written == size;
}

bool Aes::applyWinZipCounter(const QByteArray &key, quint64 firstBlock, char *data, qint64 size)
{
    const CipherContext context = contextFor(key, false, false);
    if (!context || size < 0)
        return false;
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
        if (EVP_CipherUpdate(context.get(), bytes, &written, bytes, int(blocks * blockSize)) != 1)
            return false;
        const qint64 length = std::min(blocks * blockSize, size - done);
        xorInto(data + done, stream.constData(), length);
        done += length;
    }
    return true;
}
