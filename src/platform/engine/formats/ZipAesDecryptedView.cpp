#include "platform/engine/formats/ZipAesDecryptedView.h"

#include "platform/engine/formats/Hmac.h"
#include "platform/engine/formats/ZipCentralDirectory.h"

#include <QtEndian>
#include <algorithm>
#include <numeric>
#include <openssl/evp.h>
#include <optional>

namespace {

constexpr quint16 aesMethod = 99;
constexpr quint16 aesFieldId = 0x9901;
// The AES field keeps its place but no longer names itself, so that
// libarchive takes the entry for a plain one.
constexpr quint16 retiredFieldId = 0x5151;
constexpr quint16 encryptedFlag = 0x0001;
constexpr quint16 sizesAfterDataFlag = 0x0008;
constexpr quint32 localSignature = 0x04034b50;
constexpr qint64 localHeaderSize = 30;
constexpr qint64 directoryRecordSize = 46;
constexpr qint64 checkSize = 2;
constexpr qint64 authCodeSize = 10;
constexpr int derivationRounds = 1000;
constexpr quint32 zip64Marker = 0xFFFFFFFF;
constexpr qint64 hashChunk = qint64(1) << 20;

} // namespace

struct ZipAesDecryptedView::AesField {
    quint16 vendor = 0; // 1: AE-1 (CRC kept), 2: AE-2 (none)
    int keySize = 0;
    quint16 method = 0;
    qsizetype at = -1; // where the field starts in the extra data
};

namespace {

using AesField = ZipAesDecryptedView::AesField;

std::optional<AesField> aesField(const QByteArray &extra)
{
    for (qsizetype i = 0; i + 4 <= extra.size();) {
        const quint16 id = qFromLittleEndian<quint16>(extra.constData() + i);
        const quint16 length = qFromLittleEndian<quint16>(extra.constData() + i + 2);
        if (id == aesFieldId && length >= 7 && i + 4 + length <= extra.size()) {
            const char *p = extra.constData() + i + 4;
            const quint8 strength = quint8(p[4]);
            if (p[2] != 'A' || p[3] != 'E' || strength < 1 || strength > 3)
                return std::nullopt;
            return AesField{qFromLittleEndian<quint16>(p), 8 + 8 * strength, qFromLittleEndian<quint16>(p + 5), i};
        }
        i += 4 + length;
    }
    return std::nullopt;
}

// A header (local or central) as libarchive should see it: not encrypted,
// compressed with the method the AES field names, its data this long.
void rewrite(QByteArray *header, qint64 flagsAt, qint64 sizeAt, qint64 extraAt, const AesField &field,
             quint32 cipherSize)
{
    char *p = header->data();
    qToLittleEndian<quint16>(qFromLittleEndian<quint16>(p + flagsAt) & ~encryptedFlag, p + flagsAt);
    qToLittleEndian<quint16>(field.method, p + flagsAt + 2);
    qToLittleEndian<quint32>(cipherSize, p + sizeAt);
    qToLittleEndian<quint16>(retiredFieldId, p + extraAt + field.at);
}


} // namespace

struct ZipAesDecryptedView::Replacement {
    qint64 sourceStart = 0;
    qint64 sourceSize = 0;
    QList<Piece> pieces;
};

// HMAC-SHA1 over an entry's encrypted data, its first ten bytes stored
// after it. Readers mostly go through an entry once, start to end: the code
// is computed as they go, and the bytes a reader jumps over are hashed when
// it jumps.
class ZipAesDecryptedView::Authentication {
public:
    explicit Authentication(const QByteArray &hmacKey) : m_hmac("SHA1", hmacKey) {}

    qint64 hashedUpTo() const { return m_upTo; }
    bool add(const char *data, qint64 size)
    {
        m_upTo += size;
        return m_hmac.add(data, size);
    }
    bool matches(const QByteArray &stored) { return m_hmac.finish().left(authCodeSize) == stored; }

private:
    Hmac m_hmac;
    qint64 m_upTo = 0;
};

ZipAesDecryptedView::ZipAesDecryptedView(const VolumeSet &volumes) : PieceView(volumes) {}

ZipAesDecryptedView::ZipAesDecryptedView(const ZipAesDecryptedView &other)
    : PieceView(other), m_ring(other.m_ring), m_verdicts(other.m_verdicts), m_slots(other.m_slots),
      m_storedCrcs(other.m_storedCrcs)
{
}

ZipAesDecryptedView::~ZipAesDecryptedView() = default;

std::unique_ptr<ZipAesDecryptedView> ZipAesDecryptedView::open(const VolumeSet &volumes)
{
    if (volumes.count() != 1)
        return nullptr;
    const auto entries = ZipCentralDirectory::read(volumes.paths().constFirst());
    if (!entries)
        return nullptr;
    auto view = std::unique_ptr<ZipAesDecryptedView>(new ZipAesDecryptedView(volumes));
    QList<qsizetype> order(entries->size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return entries->at(a).localHeaderOffset < entries->at(b).localHeaderOffset;
    });
    QList<Replacement> replacements;
    for (qsizetype number = 0; number < order.size(); ++number) {
        const ZipCentralDirectory::Entry &entry = entries->at(order.at(number));
        const auto field = entry.method == aesMethod ? aesField(entry.extra) : std::nullopt;
        if (!field || !(entry.flags & encryptedFlag)) {
            view->m_storedCrcs.insert(int(number), entry.crc);
            continue;
        }
        if (field->vendor == 1)
            view->m_storedCrcs.insert(int(number), entry.crc);
        if (!view->take(entry, *field, &replacements))
            return nullptr;
    }
    if (view->m_slots.isEmpty() || !view->lay(replacements))
        return nullptr;
    return view;
}

std::unique_ptr<DecryptedView> ZipAesDecryptedView::copy() const
{
    return std::unique_ptr<DecryptedView>(new ZipAesDecryptedView(*this));
}

// An AES entry: its local header and its record in the directory rewritten,
// its data decrypted where the salt began.
bool ZipAesDecryptedView::take(const ZipCentralDirectory::Entry &entry, const AesField &field,
                               QList<Replacement> *replacements)
{
    if ((entry.flags & sizesAfterDataFlag) || entry.compressedSize == zip64Marker ||
        entry.uncompressedSize == zip64Marker || entry.localHeaderOffset == zip64Marker)
        return false;
    const qint64 at = entry.localHeaderOffset;
    const QByteArray fixed = readVolume(0, at, localHeaderSize);
    if (fixed.size() != localHeaderSize || qFromLittleEndian<quint32>(fixed.constData()) != localSignature ||
        (qFromLittleEndian<quint16>(fixed.constData() + 6) & sizesAfterDataFlag))
        return false;
    const qint64 nameSize = qFromLittleEndian<quint16>(fixed.constData() + 26);
    const qint64 extraSize = qFromLittleEndian<quint16>(fixed.constData() + 28);
    QByteArray local = readVolume(0, at, localHeaderSize + nameSize + extraSize);
    const auto localField = aesField(local.mid(localHeaderSize + nameSize));
    const qint64 saltSize = field.keySize / 2;
    const qint64 region = at + local.size();
    const qint64 cipherSize = qint64(entry.compressedSize) - saltSize - checkSize - authCodeSize;
    if (local.isEmpty() || !localField || cipherSize < 0 || region + entry.compressedSize > volumes().size(0))
        return false;

    Slot slot;
    slot.keySize = field.keySize;
    slot.salt = readVolume(0, region, saltSize);
    slot.verifier = readVolume(0, region + saltSize, checkSize);
    slot.cipherStart = region + saltSize + checkSize;
    slot.cipherSize = cipherSize;
    slot.authCode = readVolume(0, slot.cipherStart + cipherSize, authCodeSize);
    rewrite(&local, 6, 18, localHeaderSize + nameSize, *localField, quint32(cipherSize));
    Piece data;
    data.size = data.sourceSize = cipherSize;
    data.sourceStart = slot.cipherStart;
    data.cipher = Cipher::WinZipCounter;
    data.keySlot = int(m_slots.size());
    m_slots.append(slot);
    replacements->append({at, local.size() + qint64(entry.compressedSize),
                          {heldBytes(local), data, heldBytes(QByteArray(saltSize + checkSize + authCodeSize, '\0'))}});

    const QByteArray fixedRecord = readVolume(0, entry.recordOffset, directoryRecordSize);
    if (fixedRecord.size() != directoryRecordSize)
        return false;
    const qint64 recordSize = directoryRecordSize + qFromLittleEndian<quint16>(fixedRecord.constData() + 28) +
                              qFromLittleEndian<quint16>(fixedRecord.constData() + 30) +
                              qFromLittleEndian<quint16>(fixedRecord.constData() + 32);
    QByteArray record = readVolume(0, entry.recordOffset, recordSize);
    if (record.isEmpty())
        return false;
    rewrite(&record, 8, 20, directoryRecordSize + entry.rawName.size(), field, quint32(cipherSize));
    replacements->append({entry.recordOffset, recordSize, {heldBytes(record)}});
    return true;
}

// The file as it is, but for the replaced ranges.
bool ZipAesDecryptedView::lay(QList<Replacement> replacements)
{
    std::sort(replacements.begin(), replacements.end(),
              [](const Replacement &a, const Replacement &b) { return a.sourceStart < b.sourceStart; });
    qint64 at = 0;
    for (const Replacement &replacement : std::as_const(replacements)) {
        if (replacement.sourceStart < at)
            return false;
        append(0, plainRange(at, replacement.sourceStart - at));
        for (const Piece &piece : replacement.pieces)
            append(0, piece);
        at = replacement.sourceStart + replacement.sourceSize;
    }
    append(0, plainRange(at, volumes().size(0) - at));
    return true;
}

QByteArray ZipAesDecryptedView::keyFor(int slot)
{
    if (slot < 0 || slot >= m_slots.size())
        return {};
    const Slot &info = m_slots.at(slot);
    const qsizetype derivedSize = 2 * info.keySize + checkSize;
    const auto derive = [&info, derivedSize](const QString &password) {
        const QByteArray secret = password.toUtf8();
        QByteArray derived(derivedSize, Qt::Uninitialized);
        const bool made = PKCS5_PBKDF2_HMAC(secret.constData(), int(secret.size()),
                                            reinterpret_cast<const unsigned char *>(info.salt.constData()),
                                            int(info.salt.size()), derivationRounds, EVP_sha1(), int(derivedSize),
                                            reinterpret_cast<unsigned char *>(derived.data())) == 1;
        return made ? derived : QByteArray();
    };
    const auto opens = [&info](const QByteArray &derived) { return derived.right(checkSize) == info.verifier; };
    const QByteArray derived =
        m_ring->keyFor(slot, info.salt + char(info.keySize), derive, opens, passphrase());
    return derived.left(info.keySize);
}

bool ZipAesDecryptedView::seeCipher(int slot, qint64 at, const char *cipher, qint64 size)
{
    const Slot &info = m_slots.at(slot);
    {
        std::lock_guard lock(m_verdicts->lock);
        if (const auto found = m_verdicts->authentic.constFind(slot); found != m_verdicts->authentic.constEnd())
            return *found;
    }
    std::unique_ptr<Authentication> &progress = m_authentications[slot];
    if (!progress)
        progress = std::make_unique<Authentication>(m_ring->knownKey(slot).mid(info.keySize, info.keySize));
    Authentication &hash = *progress;
    while (hash.hashedUpTo() < at) {
        const qint64 size = std::min(hashChunk, at - hash.hashedUpTo());
        const QByteArray skipped = readVolume(0, info.cipherStart + hash.hashedUpTo(), size);
        if (skipped.size() != size || !hash.add(skipped.constData(), size))
            return false;
    }
    const qint64 fresh = at + size - hash.hashedUpTo();
    if (fresh > 0 && !hash.add(cipher + (size - fresh), fresh))
        return false;
    if (hash.hashedUpTo() < info.cipherSize)
        return true;
    const bool authentic = hash.matches(info.authCode);
    m_authentications.erase(slot);
    std::lock_guard lock(m_verdicts->lock);
    m_verdicts->authentic.insert(slot, authentic);
    return authentic;
}

