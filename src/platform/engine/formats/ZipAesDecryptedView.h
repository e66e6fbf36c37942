#pragma once

#include "platform/engine/formats/KeyRing.h"
#include "platform/engine/formats/PieceView.h"
#include "platform/engine/formats/ZipCentralDirectory.h"

#include <QHash>
#include <map>
#include <archive.h>
#include <memory>
#include <mutex>

// A zip with WinZip AES entries as the plain zip it hides, for speed:
// libarchive decrypts such entries itself, but at a fraction of the speed
// AES runs at. Every entry keeps its place; an AES entry's header names its
// real compression, and its data is decrypted in place of the salt and
// password check that came first, with the rest left unused. Each entry's
// authentication code is computed over its data as it is read, and the
// read that reaches its end fails when the code does not match. The
// archive's CRCs are then no longer checked by libarchive (an AE-2 entry
// stores none, and a reader cannot be told that of one entry only), so
// the CRCs stored for the others are handed to the run to check.
class ZipAesDecryptedView : public PieceView {
public:
    struct AesField;

    // Null when there is no AES entry, or the zip is one the view does not
    // take: split, with a stub in front, zip64 fields, or sizes only after
    // the data. libarchive then reads it as it is.
    static std::unique_ptr<ZipAesDecryptedView> open(const VolumeSet &volumes);

    ~ZipAesDecryptedView() override;
    int formatCode() const override { return ARCHIVE_FORMAT_ZIP; }
    std::unique_ptr<DecryptedView> copy() const override;
    const char *readerOptions() const override { return "zip:ignorecrc32"; }
    // Entry number (in the order of the entries in the file, libarchive's)
    // -> the CRC-32 it stores, for every entry that stores one.
    const QHash<int, quint32> &storedCrcs() const { return m_storedCrcs; }

protected:
    QByteArray keyFor(int slot) override;
    bool seeCipher(int slot, qint64 at, const char *cipher, qint64 size) override;

private:
    struct Slot {
        QByteArray salt;
        QByteArray verifier;
        int keySize = 0;
        qint64 cipherStart = 0;
        qint64 cipherSize = 0;
        QByteArray authCode;
    };
    struct Replacement;

    explicit ZipAesDecryptedView(const VolumeSet &volumes);
    // A copy starts through every entry afresh.
    ZipAesDecryptedView(const ZipAesDecryptedView &other);

    bool take(const ZipCentralDirectory::Entry &entry, const AesField &field, QList<Replacement> *replacements);
    bool lay(QList<Replacement> replacements);
    class Authentication;

    struct Verdicts {
        std::mutex lock;
        QHash<int, bool> authentic; // by slot
    };

    std::shared_ptr<KeyRing> m_ring = std::make_shared<KeyRing>();
    std::shared_ptr<Verdicts> m_verdicts = std::make_shared<Verdicts>();
    // This reader's progress through each entry's code, by slot.
    std::map<int, std::unique_ptr<Authentication>> m_authentications;
    QList<Slot> m_slots;
    QHash<int, quint32> m_storedCrcs;
};
