#include "platform/engine/formats/Rar3Key.h"

#include "platform/engine/formats/Aes.h"

#include <QtEndian>
#include <memory>
#include <openssl/evp.h>

namespace {

constexpr quint32 rounds = 0x40000;
constexpr quint32 roundsPerIvByte = rounds / Aes::blockSize;
constexpr int digestSize = 20;

struct DigestFree {
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};

using Digest = std::unique_ptr<EVP_MD_CTX, DigestFree>;

QByteArray utf16LittleEndian(const QString &password)
{
    QByteArray bytes(password.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < password.size(); ++i)
        qToLittleEndian<quint16>(password.at(i).unicode(), bytes.data() + 2 * i);
    return bytes;
}

// The digest of what the context has seen so far, the context left to go on.
bool digestSoFar(EVP_MD_CTX *context, unsigned char *digest)
{
    Digest copy(EVP_MD_CTX_new());
    unsigned int written = 0;
    return copy && EVP_MD_CTX_copy_ex(copy.get(), context) == 1 &&
           EVP_DigestFinal_ex(copy.get(), digest, &written) == 1 && written == digestSize;
}

} // namespace

Rar3Key Rar3Key::derive(const QString &password, const QByteArray &salt)
{
    const QByteArray seed = utf16LittleEndian(password) + salt;
    Digest context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1)
        return {};
    unsigned char digest[digestSize];
    QByteArray iv(Aes::blockSize, Qt::Uninitialized);
    for (quint32 i = 0; i < rounds; ++i) {
        const unsigned char round[3] = {uchar(i), uchar(i >> 8), uchar(i >> 16)};
        EVP_DigestUpdate(context.get(), seed.constData(), size_t(seed.size()));
        EVP_DigestUpdate(context.get(), round, sizeof round);
        if (i % roundsPerIvByte != 0)
            continue;
        if (!digestSoFar(context.get(), digest))
            return {};
        iv[i / roundsPerIvByte] = char(digest[digestSize - 1]);
    }
    unsigned int written = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &written) != 1 || written != digestSize)
        return {};
    // The digest's words are big-endian; the key takes them little-endian.
    Rar3Key made;
    made.m_key = QByteArray(keySize, Qt::Uninitialized);
    for (int i = 0; i < keySize; ++i)
        made.m_key[i] = char(digest[i / 4 * 4 + 3 - i % 4]);
    made.m_iv = iv;
    return made;
}
