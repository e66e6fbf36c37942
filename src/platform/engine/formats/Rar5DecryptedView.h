#pragma once

#include "platform/engine/formats/KeyRing.h"
#include "platform/engine/formats/PieceView.h"

#include <QHash>
#include <QSet>
#include <archive.h>
#include <memory>
#include <optional>

class ByteCursor;

// An encrypted RAR 5 set as the plain set it hides, one part per volume:
// encrypted headers decrypted, the encryption records taken out of file
// headers and their data decrypted as it is read. Each file's key comes
// from its own salt, found when its data is first read; a header's check
// value tells a wrong password at once. Where the archive signs its
// checksums with the key, libarchive cannot check them: the view leaves
// them out and answers, for the CRC-32 of what was written, whether it is
// the one the archive signed.
class Rar5DecryptedView : public PieceView {
public:
    struct FileFields;

    // PasswordFailed: the source gave no password that opens everything.
    enum class Status { Read, PasswordFailed, Unreadable };

    // A null view for a set that is not RAR 5 or has nothing encrypted.
    // Every key is found here, asking `ask` for passwords as they are
    // needed: a compressed file's data shows only as long as the data in
    // it, which takes the key to find.
    static Status open(const VolumeSet &volumes, const PassphraseSource &ask, std::unique_ptr<Rar5DecryptedView> *view);

    int formatCode() const override { return ARCHIVE_FORMAT_RAR_V5; }
    std::unique_ptr<DecryptedView> copy() const override;
    bool headersWereEncrypted() const { return m_headersEncrypted; }
    // Entries (numbered from 0 in archive order, a file split across
    // volumes once) whose CRC-32 is signed.
    QList<int> signedCrcEntries() const { return m_signedCrcs.keys(); }
    // Whether a CRC-32 over an entry's data is what the archive signed;
    // nothing when the entry's key is not known (its data was never read).
    std::optional<bool> crcMatches(int entry, quint32 crc);
    // Entries whose only checksum is a signed BLAKE2 hash, left unchecked.
    const QSet<int> &uncheckedEntries() const { return m_unchecked; }

protected:
    QByteArray keyFor(int slot) override;

private:
    struct Slot {
        QByteArray salt;
        int count = 0;
        QByteArray check; // empty when the header keeps none
    };
    struct Header;
    struct SignedCrc {
        int slot = -1;
        quint32 stored = 0;
    };

    explicit Rar5DecryptedView(const VolumeSet &volumes) : PieceView(volumes) {}
    Rar5DecryptedView(const Rar5DecryptedView &other) = default;

    enum class Step { Done, PasswordWrong, PasswordFailed, Unreadable };

    Step plan();
    Step planVolume(qsizetype volume);
    Step readHeader(qsizetype volume, qint64 *offset, Header *header);
    Step takeEncryption(const Header &header);
    Step planFile(qsizetype volume, const Header &header, qint64 dataStart);
    qint64 compressedLength(qsizetype volume, const Piece &data, const QByteArray &key);
    QByteArray keptRecords(const FileFields &fields, int entry, bool signedChecksums);
    static QByteArray fileHeader(quint64 flags, const FileFields &fields, const QByteArray &extra, quint64 dataSize);
    static QByteArray encodeHeader(const QByteArray &body);

    std::shared_ptr<KeyRing> m_ring = std::make_shared<KeyRing>();
    QList<Slot> m_slots;
    QByteArray m_headerKey; // AES-256 for this volume's headers; empty when they are plain
    QByteArray m_headerKeyId; // salt and rounds it came from
    QByteArray m_headerKeyValue;
    bool m_headersEncrypted = false;
    bool m_anyEncrypted = false;
    bool m_checkedHeaderKey = false;
    int m_entries = 0;
    QHash<int, SignedCrc> m_signedCrcs;
    QSet<int> m_unchecked;
};
