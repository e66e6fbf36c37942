#include "platform/engine/formats/Rar5Key.h"

#include <QCryptographicHash>
#include <QtEndian>
#include <memory>
#include <openssl/core_names.h>
#include <openssl/evp.h>

namespace {

constexpr int digestSize = 32;

struct MacFree {
    void operator()(EVP_MAC *mac) const { EVP_MAC_free(mac); }
};

struct MacContextFree {
    void operator()(EVP_MAC_CTX *context) const { EVP_MAC_CTX_free(context); }
};

using MacContext = std::unique_ptr<EVP_MAC_CTX, MacContextFree>;

// An HMAC-SHA256 context keyed once; each message starts from a copy of it,
// which spares the key schedule in every one of the rounds.
class Hmac {
public:
    explicit Hmac(const QByteArray &key)
    {
        std::unique_ptr<EVP_MAC, MacFree> mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
        if (!mac)
            return;
        char digest[] = "SHA256";
        const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                     OSSL_PARAM_construct_end()};
        MacContext keyed(EVP_MAC_CTX_new(mac.get()));
        const auto *bytes = reinterpret_cast<const unsigned char *>(key.constData());
        if (keyed && EVP_MAC_init(keyed.get(), bytes, size_t(key.size()), params) == 1)
            m_keyed = std::move(keyed);
    }

    bool isValid() const { return bool(m_keyed); }

    bool sign(const unsigned char *data, size_t size, unsigned char *out) const
    {
        MacContext context(EVP_MAC_CTX_dup(m_keyed.get()));
        size_t written = 0;
        return context && EVP_MAC_update(context.get(), data, size) == 1 &&
               EVP_MAC_final(context.get(), out, &written, digestSize) == 1 && written == digestSize;
    }

private:
    MacContext m_keyed;
};

} // namespace

Rar5Key Rar5Key::derive(const QString &password, const QByteArray &salt, int count)
{
    Rar5Key keys;
    const Hmac hmac(password.toUtf8());
    if (salt.size() != saltSize || count < 0 || count > maximumCount || !hmac.isValid())
        return keys;
    unsigned char u[digestSize], f[digestSize];
    const QByteArray first = salt + QByteArray::fromHex("00000001");
    if (!hmac.sign(reinterpret_cast<const unsigned char *>(first.constData()), size_t(first.size()), u))
        return keys;
    std::copy(u, u + digestSize, f);
    const quint64 rounds = quint64(1) << count;
    QByteArray values[3];
    quint64 round = 1;
    for (int value = 0; value < 3; ++value) {
        const quint64 end = rounds + 16 * quint64(value);
        for (; round < end; ++round) {
            if (!hmac.sign(u, digestSize, u))
                return keys;
            for (int i = 0; i < digestSize; ++i)
                f[i] ^= u[i];
        }
        values[value] = QByteArray(reinterpret_cast<const char *>(f), digestSize);
    }
    keys.m_key = values[0];
    keys.m_hashKey = values[1];
    keys.m_check = QByteArray(checkSize, '\0');
    for (int i = 0; i < digestSize; ++i)
        keys.m_check[i % checkSize] = char(keys.m_check.at(i % checkSize) ^ values[2].at(i));
    return keys;
}

quint32 Rar5Key::signedCrc(quint32 crc) const
{
    unsigned char raw[4], digest[digestSize];
    qToLittleEndian(crc, raw);
    if (!Hmac(m_hashKey).sign(raw, sizeof raw, digest))
        return ~crc; // no signature can be made: no checksum can pass
    quint32 folded = 0;
    for (int i = 0; i < digestSize; ++i)
        folded ^= quint32(digest[i]) << ((i & 3) * 8);
    return folded;
}

Rar5Key Rar5Key::unpacked(const QByteArray &packed)
{
    Rar5Key keys;
    if (packed.size() != 2 * digestSize + checkSize)
        return keys;
    keys.m_key = packed.left(digestSize);
    keys.m_hashKey = packed.mid(digestSize, digestSize);
    keys.m_check = packed.right(checkSize);
    return keys;
}

bool Rar5Key::checkIntact(const QByteArray &stored)
{
    if (stored.size() != checkSize + 4)
        return false;
    const QByteArray digest = QCryptographicHash::hash(stored.left(checkSize), QCryptographicHash::Sha256);
    return digest.left(4) == stored.right(4);
}
