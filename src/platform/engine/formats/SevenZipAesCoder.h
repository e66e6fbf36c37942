#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// A 7z folder's AES-256 coder: its key comes from the password and the
// coder's salt through SHA-256 repeated 2^cycles times, and it decrypts its
// input in CBC mode from the coder's own IV.
class SevenZipAesCoder {
public:
    static inline const QByteArray methodId = QByteArray::fromHex("06f10701");

    // Nothing when the properties are not an AES coder's.
    static std::optional<SevenZipAesCoder> fromProperties(const QByteArray &properties);

    // 32 bytes; a second or so of SHA-256 for the usual 2^19 rounds.
    QByteArray key(const QString &password) const;
    // Decrypts whole 16-byte blocks, the first chained to the coder's IV, or
    // to the cipher block before them when the data starts further on.
    // False when the data is no whole number of blocks or the cipher is
    // missing.
    bool decrypt(const QByteArray &key, QByteArray *data, const QByteArray &blockBefore = QByteArray()) const;

    // Coders with the same identity share their key.
    QByteArray keyIdentity() const { return QByteArray::number(m_cyclesPower) + ':' + m_salt; }

private:
    int m_cyclesPower = 0;
    QByteArray m_salt;
    QByteArray m_iv; // 16 bytes, zero-padded
};
