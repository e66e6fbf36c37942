#pragma once

#include "platform/engine/formats/PieceView.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <archive.h>
#include <memory>

// An encrypted RAR 1.5 to 4.x set as the plain one it hides, for
// libarchive, which decrypts no RAR: every block header shown decrypted
// (archives made with rar -hp), every encrypted entry's header without its
// password flag and salt, and its data decrypted (AES-128-CBC) as it is
// read. Service blocks (comments, recovery records, NTFS streams) are left
// out: libarchive makes nothing of them and refuses them when encrypted.
//
// RAR 4 keeps no check value for a password, so an entry's key is only
// accepted once it is shown to open the entry: by its checksum when stored,
// by a trial decoding when compressed. A file split across volumes is taken
// to be encrypted part by part, each from its own header's salt, and its
// stored parts to be shown whole but for the padding of the last; no
// archive at hand has told otherwise.
class Rar4DecryptedView : public PieceView {
public:
    enum class Status { Read, PasswordNeeded, PasswordWrong, Unreadable };

    // The set's volumes, already checked. A null view when nothing in the
    // set is encrypted. Encrypted headers need the password at once:
    // PasswordWrong when it does not open the first of them. Otherwise the
    // view opens without a password, and each entry's key is found when its
    // data is first read.
    static Status open(const VolumeSet &volumes, const QString &password, std::unique_ptr<Rar4DecryptedView> *view);

    int formatCode() const override { return ARCHIVE_FORMAT_RAR; }
    std::unique_ptr<DecryptedView> copy() const override;
    bool headersWereEncrypted() const { return m_headersEncrypted; }
    // The CRC-32 of every file's unpacked data, by entry (numbered from 0
    // in archive order, a file split across volumes once). libarchive
    // checks no stored file's CRC, and with hidden names nothing else sees
    // them.
    const QHash<int, quint32> &fileCrcs() const { return m_fileCrcs; }

protected:
    QByteArray keyFor(int slot) override;
    QByteArray ivFor(int slot) override;

private:
    // How a key is shown to open an entry's data.
    enum class Check {
        HeaderPassword, // the password that opened the headers
        StoredCrc,      // the data's CRC-32
        TrialDecoding,  // libarchive decodes it alone
        SamePassword,   // a solid or split continuation: the password of what came before
    };
    struct Slot {
        qsizetype volume = 0;
        qint64 sourceStart = 0;
        qint64 sourceSize = 0;
        qint64 shownSize = 0;
        QByteArray salt;
        Check check = Check::StoredCrc;
        quint32 crc = 0;
        QByteArray header; // as shown, for a trial decoding
    };
    struct Block;
    struct Shared;
    class Builder;

    explicit Rar4DecryptedView(const VolumeSet &volumes);
    Rar4DecryptedView(const Rar4DecryptedView &other) = default;

    void addSlot(const Slot &slot);
    bool opens(const Slot &slot, const QByteArray &material);
    bool opensTheSet(const QString &password);
    bool storedCrcMatches(const Slot &slot, const QByteArray &key, const QByteArray &iv);
    bool decodesAlone(const Slot &slot, const QByteArray &key, const QByteArray &iv);
    QByteArray decryptedPrefix(const Slot &slot, const QByteArray &key, const QByteArray &iv, qint64 limit);

    bool m_headersEncrypted = false;
    QString m_headerPassword;
    QList<Slot> m_slots;
    // The first slot whose check tells a password by itself; -1 for none.
    int m_referenceSlot = -1;
    QHash<int, QByteArray> m_ivs; // by slot, found with its key
    QHash<int, quint32> m_fileCrcs;
    std::shared_ptr<Shared> m_shared;
};
