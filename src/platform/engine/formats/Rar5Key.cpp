#include "platform/engine/formats/Rar5Key.h"

#include "platform/engine/formats/Hmac.h"

#include <QCryptographicHash>
#include <QtEndian>
#include <memory>

namespace {

constexpr int digestSize = 32;

} // namespace

Rar5Key Rar5Key::derive(const QString &password, const QByteArray &salt, int count)
{
    Rar5Key keys;
    const Hmac hmac("SHA256", password.toUtf8());
    if (salt.size() != saltSize || count < 0 || count > maximumCount || !hmac.isValid())
        return keys;
    const QByteArray first = salt + QByteArray::fromHex("00000001");
    QByteArray u = hmac.sign(first.constData(), first.size());
    if (u.size() != digestSize)
        return keys;
    QByteArray f = u;
    const quint64 rounds = quint64(1) << count;
    QByteArray values[3];
    quint64 round = 1;
    for (int value = 0; value < 3; ++value) {
        const quint64 end = rounds + 16 * quint64(value);
        for (; round < end; ++round) {
            u = hmac.sign(u.constData(), u.size());
            if (u.size() != digestSize)
                return keys;
            for (int i = 0; i < digestSize; ++i)
                f[i] = char(f.at(i) ^ u.at(i));
        }
        values[value] = f;
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
    char raw[4];
    qToLittleEndian(crc, raw);
    const QByteArray digest = Hmac("SHA256", m_hashKey).sign(raw, sizeof raw);
    if (digest.size() != digestSize)
        return ~crc; // no signature can be made: no checksum can pass
    quint32 folded = 0;
    for (int i = 0; i < digestSize; ++i)
        folded ^= quint32(quint8(digest.at(i))) << ((i & 3) * 8);
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
