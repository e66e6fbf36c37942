#pragma once

#include <QByteArray>
#include <QString>

// The AES-128 key and IV that RAR 3 and 4 make of a password and a block's
// 8-byte salt: 2^18 rounds of SHA-1 over the UTF-16 password, the salt and
// the round number, an IV byte taken every 2^14 rounds. Some 50 to 100 ms a
// password, so callers keep what they derive.
//
// Passwords longer than 28 characters are hashed here as SHA-1 itself says;
// RAR's own SHA-1 of that time is said to hash them otherwise, so archives
// with such passwords may not open.
class Rar3Key {
public:
    static constexpr qsizetype saltSize = 8;
    static constexpr qsizetype keySize = 16;

    // Null when the digest cannot be made. An empty salt is none: archives
    // of RAR 2.9's time may leave it out.
    static Rar3Key derive(const QString &password, const QByteArray &salt);

    bool isNull() const { return m_key.isEmpty(); }
    const QByteArray &key() const { return m_key; }
    const QByteArray &iv() const { return m_iv; }

private:
    QByteArray m_key;
    QByteArray m_iv;
};
