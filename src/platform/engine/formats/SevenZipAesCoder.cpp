#include "platform/engine/formats/SevenZipAesCoder.h"

#include "platform/engine/formats/Aes.h"

#include <QtEndian>
#include <memory>
#include <openssl/evp.h>

namespace {

constexpr int keySize = 32;
// A power this high means no hashing at all: the key is salt and password
// as they are.
constexpr int rawKeyPower = 0x3F;
// 7-Zip writes 19; more would keep the helper busy for minutes per try.
constexpr int maximumPower = 24;

struct DigestFree {
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};

QByteArray utf16LittleEndian(const QString &password)
{
    QByteArray bytes(password.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < password.size(); ++i)
        qToLittleEndian<quint16>(password.at(i).unicode(), bytes.data() + 2 * i);
    return bytes;
}

} // namespace

std::optional<SevenZipAesCoder> SevenZipAesCoder::fromProperties(const QByteArray &properties)
{
    if (properties.isEmpty())
        return std::nullopt;
    const quint8 first = quint8(properties.at(0));
    SevenZipAesCoder coder;
    coder.m_cyclesPower = first & 0x3F;
    if (coder.m_cyclesPower > maximumPower && coder.m_cyclesPower != rawKeyPower)
        return std::nullopt;
    coder.m_iv = QByteArray(Aes::blockSize, '\0');
    if ((first & 0xC0) == 0)
        return properties.size() == 1 ? std::optional(coder) : std::nullopt;
    if (properties.size() < 2)
        return std::nullopt;
    const quint8 second = quint8(properties.at(1));
    const int saltSize = ((first >> 7) & 1) + (second >> 4);
    const int ivSize = ((first >> 6) & 1) + (second & 0x0F);
    if (properties.size() != 2 + saltSize + ivSize)
        return std::nullopt;
    coder.m_salt = properties.mid(2, saltSize);
    coder.m_iv.replace(0, ivSize, properties.mid(2 + saltSize, ivSize));
    return coder;
}

QByteArray SevenZipAesCoder::key(const QString &password) const
{
    const QByteArray secret = utf16LittleEndian(password);
    if (m_cyclesPower == rawKeyPower) {
        const QByteArray joined = m_salt + secret;
        QByteArray key = joined.left(keySize);
        return key.leftJustified(keySize, '\0');
    }
    std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return {};
    char round[8];
    const quint64 rounds = quint64(1) << m_cyclesPower;
    for (quint64 i = 0; i < rounds; ++i) {
        qToLittleEndian<quint64>(i, round);
        EVP_DigestUpdate(context.get(), m_salt.constData(), size_t(m_salt.size()));
        EVP_DigestUpdate(context.get(), secret.constData(), size_t(secret.size()));
        EVP_DigestUpdate(context.get(), round, sizeof round);
    }
    QByteArray key(keySize, Qt::Uninitialized);
    unsigned int written = 0;
    if (EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char *>(key.data()), &written) != 1 ||
        written != keySize)
        return {};
    return key;
}

bool SevenZipAesCoder::decrypt(const QByteArray &key, QByteArray *data, const QByteArray &blockBefore) const
{
    if (key.size() != keySize)
        return false;
    return Aes::decryptCbc(key, blockBefore.isEmpty() ? m_iv : blockBefore, data->data(), data->size());
}
