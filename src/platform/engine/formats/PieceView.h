#pragma once

#include "platform/engine/formats/DecryptedView.h"
#include "platform/engine/formats/VolumeSpan.h"

#include <QHash>
#include <QList>

// A view whose parts are runs of pieces: bytes held here (headers as
// rewritten), or a range of the part's volume, shown as it is or decrypted
// with AES as it is read, with the key of its slot found when the piece is
// first read.
class PieceView : public DecryptedView {
public:
    enum class Cipher : quint8 { None, Cbc, WinZipCounter };

    struct Piece {
        qint64 start = 0; // in the part, set by append()
        qint64 size = 0;  // as shown
        QByteArray bytes; // shown as they are when sourceSize is 0
        qint64 sourceStart = 0; // in the part's volume
        qint64 sourceSize = 0;  // whole cipher blocks for CBC
        Cipher cipher = Cipher::None;
        QByteArray iv; // CBC's; empty when it comes with the slot's key
        int keySlot = -1;
    };

    qsizetype partCount() const override { return m_parts.size(); }
    qint64 partSize(qsizetype part) const override;
    qint64 read(qsizetype part, qint64 offset, char *data, qint64 size) override;
    void setPassphraseSource(PassphraseSource source) override { m_passphrase = std::move(source); }

protected:
    explicit PieceView(const VolumeSet &volumes);
    // A copy reads the volumes through files of its own.
    PieceView(const PieceView &other);

    static Piece heldBytes(const QByteArray &bytes);
    static Piece plainRange(qint64 sourceStart, qint64 size);
    void append(qsizetype part, Piece piece);
    // The key of a slot; empty when no password opens it.
    virtual QByteArray keyFor(int slot) = 0;
    // The CBC IV of a slot whose pieces carry none: RAR 3 derives it with
    // the key. Asked after keyFor().
    virtual QByteArray ivFor(int) { return {}; }
    // Sees the encrypted bytes of a counter-mode piece from `at` on before
    // they are decrypted, for a check over them; false stops the read.
    virtual bool seeCipher(int, qint64, const char *, qint64) { return true; }
    const PassphraseSource &passphrase() const { return m_passphrase; }
    const VolumeSet &volumes() const { return m_file.volumes(); }
    // Exactly size bytes of a volume, or nothing.
    QByteArray readVolume(qsizetype volume, qint64 offset, qint64 size);
    // size bytes of an encrypted piece from at on, decrypted with key; empty
    // when they cannot be read.
    QByteArray decrypted(qsizetype volume, const Piece &piece, const QByteArray &key, qint64 at, qint64 size);

private:
    bool counterDecrypted(qsizetype volume, const Piece &piece, const QByteArray &key, qint64 at, char *data,
                          qint64 size);
    qint64 readPiece(qsizetype part, const Piece &piece, qint64 at, char *data, qint64 size);

    VolumeSpan m_file;
    QList<QList<Piece>> m_parts;
    QHash<int, QByteArray> m_keys;
    PassphraseSource m_passphrase;
};
