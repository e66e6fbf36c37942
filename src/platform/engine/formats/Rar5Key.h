#pragma once

#include <QByteArray>
#include <QString>

// RAR 5's keys from a password: PBKDF2-HMAC-SHA256 over the salt, 2^count
// rounds for the AES-256 key, 16 rounds more for the key its checksums are
// signed with, 16 more for the password check value.
class Rar5Key {
public:
    static constexpr int saltSize = 16;
    static constexpr int checkSize = 8;
    // 2^24 rounds would keep the helper busy for minutes per try.
    static constexpr int maximumCount = 24;

    // Empty keys when the salt or count is out of range.
    static Rar5Key derive(const QString &password, const QByteArray &salt, int count);

    bool isValid() const { return m_key.size() == 32; }
    const QByteArray &key() const { return m_key; }
    // The 8 bytes a header stores to tell a wrong password at once.
    const QByteArray &check() const { return m_check; }
    // A CRC-32 as the archive stores it when checksums are signed: folded
    // from HMAC-SHA256 of its four little-endian bytes.
    quint32 signedCrc(quint32 crc) const;

    // Whole (32 + 32 + 8 bytes) and back, to be kept as one key.
    QByteArray packed() const { return m_key + m_hashKey + m_check; }
    static Rar5Key unpacked(const QByteArray &packed);

    // Whether a stored check value (8 bytes, then the first 4 of their
    // SHA-256) is intact.
    static bool checkIntact(const QByteArray &stored);

private:
    QByteArray m_key;
    QByteArray m_hashKey;
    QByteArray m_check;
};
