#include "platform/engine/formats/Rar4DecryptedView.h"

#include "platform/engine/formats/Aes.h"
#include "platform/engine/formats/ByteCursor.h"
#include "platform/engine/formats/Crc32.h"
#include "platform/engine/formats/KeyRing.h"
#include "platform/engine/formats/Rar3Key.h"

#include <QSet>
#include <QtEndian>
#include <algorithm>
#include <archive.h>
#include <mutex>

namespace {

const QByteArray signature("Rar!\x1a\x07\x00", 7);
// Self-extracting archives put their program in front of the signature.
constexpr qint64 signatureSearchLimit = 4 << 20;
constexpr qint64 prefixSize = 7;
constexpr qint64 block = Aes::blockSize;

constexpr quint8 mainHeader = 0x73;
constexpr quint8 fileHeader = 0x74;
// Comments, authenticity, old sub-blocks, recovery records, signatures,
// then RAR 3's service headers, laid out as file headers.
constexpr quint8 firstServiceBlock = 0x75;
constexpr quint8 serviceHeader = 0x7a;
constexpr quint8 endOfArchive = 0x7b;
constexpr quint16 longBlock = 0x8000;
constexpr quint16 mainHeadersEncrypted = 0x0080;
constexpr quint16 fileSplitBefore = 0x0001;
constexpr quint16 fileSplitAfter = 0x0002;
constexpr quint16 fileEncrypted = 0x0004;
constexpr quint16 fileSolid = 0x0010;
constexpr quint16 fileLarge = 0x0100;
constexpr quint16 fileSalt = 0x0400;

// Field offsets of a file header.
constexpr qsizetype packSizeAt = 7;
constexpr qsizetype hostAt = 15;
constexpr qsizetype fileCrcAt = 16;
constexpr qsizetype attributesAt = 28;
constexpr qsizetype highPackSizeAt = 32;
constexpr quint8 unixHost = 3;
constexpr quint32 regularFileMode = 0100644;
constexpr quint8 storedMethod = 0x30;
// Earlier versions encrypt with RAR 2's own cipher.
constexpr quint8 firstAesVersion = 29;

// A trial decoding takes this much of an entry's data, far more than it
// needs for its output; correct data decodes without an error.
constexpr qint64 trialInput = 2 << 20;
constexpr qint64 trialOutput = 1 << 20;
constexpr qint64 checkChunk = 1 << 20;

quint16 headerCrc(const QByteArray &header)
{
    return quint16(Crc32::of(header.constData() + 2, size_t(header.size() - 2)));
}

bool crcHolds(const QByteArray &header)
{
    return header.size() >= prefixSize && qFromLittleEndian<quint16>(header.constData()) == headerCrc(header);
}

// A header that came with a wrong CRC keeps a wrong one, so that libarchive
// still reports it.
void restamp(QByteArray *header, bool sound)
{
    const quint16 crc = headerCrc(*header);
    qToLittleEndian<quint16>(sound ? crc : quint16(~crc), header->data());
}

quint16 flagsOf(const QByteArray &header)
{
    return qFromLittleEndian<quint16>(header.constData() + 3);
}

void setFlags(QByteArray *header, quint16 flags)
{
    qToLittleEndian<quint16>(flags, header->data() + 3);
}

void setPackSize(QByteArray *header, quint64 size)
{
    qToLittleEndian<quint32>(quint32(size), header->data() + packSizeAt);
    if (flagsOf(*header) & fileLarge)
        qToLittleEndian<quint32>(quint32(size >> 32), header->data() + highPackSizeAt);
}

QByteArray madeBlock(quint8 type, quint16 flags, const QByteArray &fields)
{
    QByteArray header(prefixSize, '\0');
    header[2] = char(type);
    setFlags(&header, flags);
    qToLittleEndian<quint16>(quint16(prefixSize + fields.size()), header.data() + 5);
    header += fields;
    restamp(&header, true);
    return header;
}

// Reads a small archive held in memory to its end, or up to the output a
// trial needs; false on any error, a wrong checksum included.
bool decodes(const QByteArray &archiveBytes)
{
    std::unique_ptr<archive, decltype(&archive_read_free)> reader(archive_read_new(), &archive_read_free);
    archive_read_support_format_rar(reader.get());
    archive_entry *entry = nullptr;
    // A name the locale cannot show only warns.
    if (archive_read_open_memory(reader.get(), archiveBytes.constData(), size_t(archiveBytes.size())) != ARCHIVE_OK ||
        archive_read_next_header(reader.get(), &entry) < ARCHIVE_WARN)
        return false;
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    qint64 total = 0;
    la_ssize_t got = 0;
    while (total < trialOutput && (got = archive_read_data(reader.get(), buffer.data(), size_t(buffer.size()))) > 0)
        total += got;
    return got >= 0;
}

} // namespace

// Shared by every copy of the view, whose workers may check keys at once:
// the passwords and keys, and which passwords have been shown to open an
// entry.
struct Rar4DecryptedView::Shared {
    KeyRing keys;
    std::mutex lock;
    QSet<QString> opened;
};

// One block as found in a volume, its header decrypted.
struct Rar4DecryptedView::Block {
    QByteArray header;
    qint64 start = 0; // where the block is stored, salt included
    qint64 dataStart = 0;
    quint64 dataSize = 0;
    bool sound = true;

    quint8 type() const { return quint8(header.at(2)); }
    quint16 flags() const { return flagsOf(header); }
};

// Lays out the view's parts, one volume after the other.
class Rar4DecryptedView::Builder {
public:
    Builder(Rar4DecryptedView *view, const QString &password) : m_view(view), m_password(password) {}

    bool foundEncryption() const { return m_headersEncrypted || m_foundEncryption; }

    Status addVolume(qsizetype volume)
    {
        m_volume = volume;
        m_size = m_view->volumes().size(volume);
        const qsizetype at = m_view->readVolume(volume, 0, std::min(m_size, signatureSearchLimit)).indexOf(signature);
        if (at < 0)
            return Status::Unreadable;
        m_view->append(volume, heldBytes(signature));
        m_at = at + signature.size();
        if (const Status status = addMainHeader(); status != Status::Read)
            return status;
        // Old volumes may simply end, without an end block.
        while (m_at < m_size) {
            Block found;
            if (const Status status = nextBlock(&found); status != Status::Read)
                return status;
            if (!addBlock(found))
                return Status::Unreadable;
            if (found.type() == endOfArchive)
                break;
        }
        return Status::Read;
    }

private:
    Status addMainHeader()
    {
        Block main;
        if (!plainBlock(&main) || main.type() != mainHeader)
            return Status::Unreadable;
        m_headersEncrypted = main.flags() & mainHeadersEncrypted;
        if (m_headersEncrypted != m_view->m_headersEncrypted && m_volume > 0)
            return Status::Unreadable;
        m_view->m_headersEncrypted = m_headersEncrypted;
        if (m_headersEncrypted && m_password.isEmpty())
            return Status::PasswordNeeded;
        setFlags(&main.header, main.flags() & ~mainHeadersEncrypted);
        restamp(&main.header, main.sound);
        m_view->append(m_volume, heldBytes(main.header));
        m_at = main.dataStart + qint64(main.dataSize);
        return Status::Read;
    }

    Status nextBlock(Block *found)
    {
        if (!m_headersEncrypted)
            return plainBlock(found) ? Status::Read : Status::Unreadable;
        const Status failed = m_firstEncryptedHeader ? Status::PasswordWrong : Status::Unreadable;
        if (!encryptedBlock(found))
            return failed;
        m_firstEncryptedHeader = false;
        return Status::Read;
    }

    bool plainBlock(Block *found)
    {
        const QByteArray prefix = m_view->readVolume(m_volume, m_at, prefixSize);
        if (prefix.isEmpty())
            return false;
        found->start = m_at;
        found->header = m_view->readVolume(m_volume, m_at, qFromLittleEndian<quint16>(prefix.constData() + 5));
        found->dataStart = m_at + found->header.size();
        return measureData(found);
    }

    // A salt, then the header encrypted on its own and padded to whole
    // blocks: its first block tells its size.
    bool encryptedBlock(Block *found)
    {
        const QByteArray salt = m_view->readVolume(m_volume, m_at, Rar3Key::saltSize);
        QByteArray first = m_view->readVolume(m_volume, m_at + salt.size(), block);
        if (salt.isEmpty() || first.isEmpty())
            return false;
        const Rar3Key &key = headerKey(salt);
        if (key.isNull() || !Aes::decryptCbc(key.key(), key.iv(), first.data(), block))
            return false;
        const qint64 size = qFromLittleEndian<quint16>(first.constData() + 5);
        const qint64 padded = (size + block - 1) / block * block;
        QByteArray header = m_view->readVolume(m_volume, m_at + salt.size(), padded);
        if (header.isEmpty() || !Aes::decryptCbc(key.key(), key.iv(), header.data(), padded))
            return false;
        header.truncate(size);
        found->start = m_at;
        found->header = header;
        found->dataStart = m_at + salt.size() + padded;
        return measureData(found) && found->sound;
    }

    const Rar3Key &headerKey(const QByteArray &salt)
    {
        auto known = m_headerKeys.find(salt);
        if (known == m_headerKeys.end())
            known = m_headerKeys.insert(salt, Rar3Key::derive(m_password, salt));
        return *known;
    }

    bool measureData(Block *found) const
    {
        const QByteArray &header = found->header;
        if (header.size() < prefixSize || header.size() < qFromLittleEndian<quint16>(header.constData() + 5))
            return false;
        found->sound = crcHolds(header);
        found->dataSize = 0;
        if (found->flags() & longBlock) {
            if (header.size() < packSizeAt + 4)
                return false;
            found->dataSize = qFromLittleEndian<quint32>(header.constData() + packSizeAt);
        }
        const bool hasHighSize = found->type() == fileHeader || found->type() == serviceHeader;
        if (hasHighSize && (found->flags() & fileLarge)) {
            if (header.size() < highPackSizeAt + 4)
                return false;
            found->dataSize |= quint64(qFromLittleEndian<quint32>(header.constData() + highPackSizeAt)) << 32;
        }
        return found->dataSize <= quint64(m_size - found->dataStart);
    }

    bool addBlock(const Block &found)
    {
        m_at = found.dataStart + qint64(found.dataSize);
        if (found.type() >= firstServiceBlock && found.type() <= serviceHeader)
            return true;
        if (found.type() == fileHeader && !countFile(found))
            return false;
        if (found.type() == fileHeader && (found.flags() & fileEncrypted))
            return addEncryptedFile(found);
        if (m_headersEncrypted)
            m_view->append(m_volume, heldBytes(found.header));
        else
            m_view->append(m_volume, plainRange(found.start, found.header.size()));
        m_view->append(m_volume, plainRange(found.dataStart, qint64(found.dataSize)));
        return true;
    }

    // A split file's CRC is its whole data's in its last part only.
    bool countFile(const Block &found)
    {
        if (found.header.size() < fileCrcAt + 4)
            return false;
        if (!(found.flags() & fileSplitBefore) || m_entries == 0)
            ++m_entries;
        if (!(found.flags() & fileSplitAfter))
            m_view->m_fileCrcs.insert(m_entries - 1, qFromLittleEndian<quint32>(found.header.constData() + fileCrcAt));
        return true;
    }

    bool addEncryptedFile(const Block &found)
    {
        ByteCursor fields(found.header);
        fields.seek(prefixSize + 4);
        const quint32 unpackedLow = fields.u32();
        fields.skip(1); // host system
        const quint32 crc = fields.u32();
        fields.skip(4); // time
        const quint8 version = fields.u8();
        const quint8 method = fields.u8();
        const quint16 nameSize = fields.u16();
        fields.skip(4); // attributes
        quint64 unpacked = unpackedLow;
        if (found.flags() & fileLarge) {
            fields.skip(4);
            unpacked |= quint64(fields.u32()) << 32;
        }
        fields.skip(nameSize);
        const qsizetype saltAt = fields.position();
        const QByteArray salt = (found.flags() & fileSalt) ? fields.bytes(Rar3Key::saltSize) : QByteArray();
        if (fields.failed() || version < firstAesVersion || found.dataSize % block != 0)
            return false;
        m_foundEncryption = true;

        Slot slot;
        slot.volume = m_volume;
        slot.sourceStart = found.dataStart;
        slot.sourceSize = qint64(found.dataSize);
        slot.salt = salt;
        slot.crc = crc;
        if (!measureShownData(found.flags(), method == storedMethod, unpacked, &slot))
            return false;
        slot.check = checkFor(found.flags(), method == storedMethod);
        slot.header = found.header;
        slot.header.remove(saltAt, salt.size());
        qToLittleEndian<quint16>(quint16(slot.header.size()), slot.header.data() + 5);
        setFlags(&slot.header, found.flags() & ~(fileEncrypted | fileSalt));
        setPackSize(&slot.header, quint64(slot.shownSize));
        restamp(&slot.header, found.sound);
        m_view->append(m_volume, heldBytes(slot.header));
        if (slot.sourceSize > 0)
            m_view->addSlot(slot);
        return true;
    }

    // Stored data shows as long as the file, without the padding that
    // libarchive would write out; compressed data ends where its decoder
    // stops, the padding after it skipped.
    bool measureShownData(quint16 flags, bool stored, quint64 unpacked, Slot *slot)
    {
        const quint64 before = (flags & fileSplitBefore) ? m_splitShown : 0;
        slot->shownSize = slot->sourceSize;
        if (stored && !(flags & fileSplitAfter)) {
            if (unpacked < before || unpacked - before > quint64(slot->sourceSize) ||
                unpacked - before + block <= quint64(slot->sourceSize))
                return false;
            slot->shownSize = qint64(unpacked - before);
        }
        m_splitShown = before + quint64(slot->shownSize);
        return true;
    }

    Check checkFor(quint16 flags, bool stored) const
    {
        if (m_headersEncrypted)
            return Check::HeaderPassword;
        if ((flags & (fileSplitBefore | fileSplitAfter)) || (!stored && (flags & fileSolid)))
            return Check::SamePassword;
        return stored ? Check::StoredCrc : Check::TrialDecoding;
    }

    Rar4DecryptedView *m_view;
    QString m_password;
    qsizetype m_volume = 0;
    qint64 m_size = 0;
    qint64 m_at = 0;
    bool m_headersEncrypted = false;
    bool m_firstEncryptedHeader = true;
    bool m_foundEncryption = false;
    QHash<QByteArray, Rar3Key> m_headerKeys;
    int m_entries = 0;
    quint64 m_splitShown = 0; // of a stored file split across volumes, in the volumes so far
};

Rar4DecryptedView::Rar4DecryptedView(const VolumeSet &volumes)
    : PieceView(volumes), m_shared(std::make_shared<Shared>())
{
}

Rar4DecryptedView::Status Rar4DecryptedView::open(const VolumeSet &volumes, const QString &password,
                                                  std::unique_ptr<Rar4DecryptedView> *view)
{
    view->reset();
    auto made = std::unique_ptr<Rar4DecryptedView>(new Rar4DecryptedView(volumes));
    Builder builder(made.get(), password);
    for (qsizetype volume = 0; volume < volumes.count(); ++volume)
        if (const Status status = builder.addVolume(volume); status != Status::Read)
            return status;
    if (!builder.foundEncryption())
        return Status::Read;
    if (made->m_headersEncrypted)
        made->m_headerPassword = password;
    if (!password.isEmpty())
        made->m_shared->keys.addPassword(password);
    const auto reference = std::find_if(made->m_slots.cbegin(), made->m_slots.cend(), [](const Slot &slot) {
        return slot.check == Check::StoredCrc || slot.check == Check::TrialDecoding;
    });
    made->m_referenceSlot = reference == made->m_slots.cend() ? -1 : int(reference - made->m_slots.cbegin());
    *view = std::move(made);
    return Status::Read;
}

std::unique_ptr<DecryptedView> Rar4DecryptedView::copy() const
{
    return std::unique_ptr<DecryptedView>(new Rar4DecryptedView(*this));
}

void Rar4DecryptedView::addSlot(const Slot &slot)
{
    const int index = int(m_slots.size());
    m_slots.append(slot);
    Piece piece;
    piece.size = slot.shownSize;
    piece.sourceStart = slot.sourceStart;
    piece.sourceSize = slot.sourceSize;
    piece.cipher = Cipher::Cbc;
    piece.keySlot = index;
    append(slot.volume, piece);
}

QByteArray Rar4DecryptedView::ivFor(int slot)
{
    return m_ivs.value(slot);
}

// The key material of a slot is its key, its IV and the password they came
// from, so that a check can tell which password it is trying.
QByteArray Rar4DecryptedView::keyFor(int slot)
{
    const Slot &entry = m_slots.at(slot);
    const QByteArray derivation = QByteArrayLiteral("rar3:") + entry.salt;
    const auto derive = [&entry](const QString &password) {
        const Rar3Key key = Rar3Key::derive(password, entry.salt);
        return key.isNull() ? QByteArray() : key.key() + key.iv() + password.toUtf8();
    };
    const auto opens = [this, &entry](const QByteArray &material) { return this->opens(entry, material); };
    const QByteArray material = m_shared->keys.keyFor(slot, derivation, derive, opens, passphrase());
    if (material.size() < Rar3Key::keySize + block)
        return {};
    m_ivs.insert(slot, material.mid(Rar3Key::keySize, block));
    return material.left(Rar3Key::keySize);
}

bool Rar4DecryptedView::opens(const Slot &slot, const QByteArray &material)
{
    const QByteArray key = material.left(Rar3Key::keySize);
    const QByteArray iv = material.mid(Rar3Key::keySize, block);
    const QString password = QString::fromUtf8(material.mid(Rar3Key::keySize + block));
    bool opened = false;
    switch (slot.check) {
    case Check::HeaderPassword:
        opened = password == m_headerPassword;
        break;
    case Check::StoredCrc:
        opened = storedCrcMatches(slot, key, iv);
        break;
    case Check::TrialDecoding:
        opened = decodesAlone(slot, key, iv);
        break;
    case Check::SamePassword:
        opened = opensTheSet(password);
        break;
    }
    if (opened) {
        std::lock_guard lock(m_shared->lock);
        m_shared->opened.insert(password);
    }
    return opened;
}

// A continuation cannot be checked alone: the password must open what
// comes first, or, when that has not been read yet, the set's first entry
// that can be checked. A set with none takes the password on trust; the
// entry's CRC is still checked as it is extracted.
bool Rar4DecryptedView::opensTheSet(const QString &password)
{
    {
        std::lock_guard lock(m_shared->lock);
        if (m_shared->opened.contains(password))
            return true;
    }
    if (m_referenceSlot < 0)
        return true;
    const Slot &reference = m_slots.at(m_referenceSlot);
    const Rar3Key key = Rar3Key::derive(password, reference.salt);
    if (key.isNull())
        return false;
    return reference.check == Check::StoredCrc ? storedCrcMatches(reference, key.key(), key.iv())
                                               : decodesAlone(reference, key.key(), key.iv());
}

bool Rar4DecryptedView::storedCrcMatches(const Slot &slot, const QByteArray &key, const QByteArray &iv)
{
    QByteArray chain = iv;
    quint32 crc = 0;
    for (qint64 done = 0; done < slot.shownSize;) {
        const qint64 size = std::min(checkChunk, slot.sourceSize - done);
        QByteArray chunk = readVolume(slot.volume, slot.sourceStart + done, size);
        if (chunk.isEmpty())
            return false;
        const QByteArray next = chunk.right(block);
        if (!Aes::decryptCbc(key, chain, chunk.data(), size))
            return false;
        crc = Crc32::of(chunk.constData(), size_t(std::min(size, slot.shownSize - done)), crc);
        chain = next;
        done += size;
    }
    return crc == slot.crc;
}

// The entry alone in a small archive held in memory, read by libarchive
// itself: with a wrong key the data is noise that its decoder rejects, or
// that fails the entry's CRC.
bool Rar4DecryptedView::decodesAlone(const Slot &slot, const QByteArray &key, const QByteArray &iv)
{
    const QByteArray data = decryptedPrefix(slot, key, iv, trialInput);
    if (data.isEmpty())
        return false;
    QByteArray header = slot.header;
    setFlags(&header, flagsOf(header) & ~(fileSplitBefore | fileSplitAfter | fileSolid));
    setPackSize(&header, quint64(data.size()));
    // A plain file whatever system wrote it: libarchive refuses some
    // systems' attributes, and would read a link's target from the data.
    header[hostAt] = char(unixHost);
    qToLittleEndian<quint32>(regularFileMode, header.data() + attributesAt);
    restamp(&header, true);
    const QByteArray main = madeBlock(mainHeader, 0, QByteArray(6, '\0'));
    const QByteArray end = madeBlock(endOfArchive, 0, {});
    return decodes(signature + main + header + data + end);
}

// Up to limit bytes of the slot's data as shown, decrypted; empty when it
// cannot be read.
QByteArray Rar4DecryptedView::decryptedPrefix(const Slot &slot, const QByteArray &key, const QByteArray &iv,
                                              qint64 limit)
{
    const qint64 size = std::min(slot.shownSize, limit);
    const qint64 padded = std::min((size + block - 1) / block * block, slot.sourceSize);
    QByteArray data = readVolume(slot.volume, slot.sourceStart, padded);
    if (data.isEmpty() || !Aes::decryptCbc(key, iv, data.data(), padded))
        return {};
    data.truncate(size);
    return data;
}
