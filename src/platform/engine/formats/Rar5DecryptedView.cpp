#include "platform/engine/formats/Rar5DecryptedView.h"

#include "platform/engine/formats/Aes.h"
#include "platform/engine/formats/ByteCursor.h"
#include "platform/engine/formats/Crc32.h"
#include "platform/engine/formats/Rar5Key.h"

#include <QtEndian>

namespace {

const QByteArray signature = QByteArrayLiteral("Rar!\x1a\x07\x01\x00");
constexpr qint64 ivSize = 16;
constexpr qint64 checkValueSize = 12;

enum HeaderType : quint64 { MainHeader = 1, FileHeader = 2, ServiceHeader = 3, EncryptionHeader = 4, EndHeader = 5 };
enum HeaderFlag : quint64 { HasExtra = 0x01, HasData = 0x02, ContinuesFromPrevious = 0x08, ContinuesInNext = 0x10 };
enum FileFlag : quint64 { HasTime = 0x02, HasCrc = 0x04 };
enum ExtraRecord : quint64 { CryptRecord = 1, HashRecord = 2 };
enum CryptFlag : quint64 { HasCheckValue = 0x01, SignedChecksums = 0x02 };
// A header, CRC and size field included, is never this big in practice;
// more means damage, not a header to read.
constexpr qint64 largestHeader = qint64(2) << 20;

void appendVint(QByteArray *to, quint64 value)
{
    do {
        const quint8 low = value & 0x7f;
        value >>= 7;
        to->append(char(value ? low | 0x80 : low));
    } while (value);
}

qint64 roundedUp(qint64 size)
{
    return (size + Aes::blockSize - 1) / Aes::blockSize * Aes::blockSize;
}

// The size field's own length and value, from the bytes after the CRC.
bool headerLength(const QByteArray &start, qint64 *total)
{
    ByteCursor cursor(start);
    cursor.skip(4);
    const quint64 size = cursor.vint();
    if (cursor.failed() || size == 0 || qint64(size) > largestHeader)
        return false;
    *total = cursor.position() + qint64(size);
    return true;
}

} // namespace

struct Rar5DecryptedView::Header {
    QByteArray bytes; // whole and plain, CRC first
    quint64 type = 0;
    quint64 flags = 0;
    quint64 extraSize = 0;
    quint64 dataSize = 0;
    qsizetype fieldsAt = 0; // where the type's own fields start
};

Rar5DecryptedView::Status Rar5DecryptedView::open(const VolumeSet &volumes, const PassphraseSource &ask,
                                                  std::unique_ptr<Rar5DecryptedView> *view)
{
    view->reset();
    if (volumes.count() == 0 || VolumeSpan(volumes).read(0, signature.size()) != signature)
        return Status::Read;
    for (;;) {
        // A wrong password that only the first header's checksum tells:
        // planned again from the start, with the next one.
        auto made = std::unique_ptr<Rar5DecryptedView>(new Rar5DecryptedView(volumes));
        made->setPassphraseSource(ask);
        switch (made->plan()) {
        case Step::PasswordWrong:
            continue;
        case Step::PasswordFailed:
            return Status::PasswordFailed;
        case Step::Unreadable:
            return Status::Unreadable;
        case Step::Done:
            made->setPassphraseSource({});
            if (made->m_anyEncrypted)
                *view = std::move(made);
            return Status::Read;
        }
    }
}

std::unique_ptr<DecryptedView> Rar5DecryptedView::copy() const
{
    return std::unique_ptr<DecryptedView>(new Rar5DecryptedView(*this));
}

Rar5DecryptedView::Step Rar5DecryptedView::plan()
{
    for (qsizetype volume = 0; volume < volumes().count(); ++volume) {
        if (readVolume(volume, 0, signature.size()) != signature)
            return Step::Unreadable;
        if (const Step step = planVolume(volume); step != Step::Done)
            return step;
    }
    return Step::Done;
}

Rar5DecryptedView::Step Rar5DecryptedView::planVolume(qsizetype volume)
{
    append(volume, heldBytes(signature));
    m_headerKey.clear();
    const qint64 size = volumes().size(volume);
    for (qint64 offset = signature.size(); offset < size;) {
        Header header;
        if (const Step step = readHeader(volume, &offset, &header); step != Step::Done)
            return step;
        const qint64 dataStart = offset;
        if (header.dataSize > quint64(size - dataStart))
            return Step::Unreadable;
        offset += qint64(header.dataSize);
        Step step = Step::Done;
        switch (header.type) {
        case EncryptionHeader:
            step = takeEncryption(header);
            break;
        case FileHeader:
            step = planFile(volume, header, dataStart);
            break;
        case ServiceHeader:
            break; // comments, quick-open lists, NTFS streams: nothing libarchive reads
        case EndHeader:
            append(volume, heldBytes(header.bytes));
            return Step::Done;
        default:
            append(volume, heldBytes(header.bytes));
            append(volume, plainRange(dataStart, qint64(header.dataSize)));
        }
        if (step != Step::Done)
            return step;
    }
    return Step::Done;
}

// A header at offset, decrypted when the headers are: its IV, then the
// header padded to whole blocks. offset moves past it.
Rar5DecryptedView::Step Rar5DecryptedView::readHeader(qsizetype volume, qint64 *offset, Header *header)
{
    const bool encrypted = !m_headerKey.isEmpty();
    const qint64 size = volumes().size(volume);
    const qint64 at = *offset + (encrypted ? ivSize : 0);
    const qint64 peek = encrypted ? Aes::blockSize : qMin<qint64>(14, size - at);
    QByteArray start = readVolume(volume, at, peek);
    const QByteArray iv = encrypted ? readVolume(volume, *offset, ivSize) : QByteArray();
    if (start.isEmpty() || (encrypted && !Aes::decryptCbc(m_headerKey, iv, start.data(), start.size())))
        return Step::Unreadable;
    qint64 total = 0;
    const bool sized = headerLength(start, &total);
    const qint64 stored = encrypted ? roundedUp(total) : total;
    if (!sized || stored > size - at) // with encrypted headers, the first one is where a wrong key shows
        return encrypted && !m_checkedHeaderKey ? Step::PasswordWrong : Step::Unreadable;
    QByteArray bytes = readVolume(volume, at, stored);
    if (bytes.isEmpty() || (encrypted && !Aes::decryptCbc(m_headerKey, iv, bytes.data(), bytes.size())))
        return Step::Unreadable;
    bytes.truncate(total);
    if (qFromLittleEndian<quint32>(bytes.constData()) != Crc32::of(bytes.constData() + 4, size_t(total - 4)))
        return encrypted && !m_checkedHeaderKey ? Step::PasswordWrong : Step::Unreadable;
    m_checkedHeaderKey = m_checkedHeaderKey || encrypted;
    *offset = at + stored;

    ByteCursor cursor(bytes);
    cursor.skip(4);
    cursor.vint();
    header->type = cursor.vint();
    header->flags = cursor.vint();
    header->extraSize = header->flags & HasExtra ? cursor.vint() : 0;
    header->dataSize = header->flags & HasData ? cursor.vint() : 0;
    header->fieldsAt = cursor.position();
    header->bytes = bytes;
    if (cursor.failed() || header->extraSize > quint64(total - header->fieldsAt))
        return Step::Unreadable;
    return Step::Done;
}

// The archive's encryption header: every header after it is encrypted with
// the key of its salt. A check value, when kept, tells a wrong password here.
Rar5DecryptedView::Step Rar5DecryptedView::takeEncryption(const Header &header)
{
    ByteCursor cursor(header.bytes);
    cursor.seek(header.fieldsAt);
    const quint64 version = cursor.vint();
    const quint64 flags = cursor.vint();
    const int count = cursor.u8();
    const QByteArray salt = cursor.bytes(Rar5Key::saltSize);
    const QByteArray check = flags & HasCheckValue ? cursor.bytes(checkValueSize) : QByteArray();
    if (cursor.failed() || version != 0 || count > Rar5Key::maximumCount)
        return Step::Unreadable;
    m_headersEncrypted = m_anyEncrypted = true;
    const QByteArray id = salt + char(count);
    if (id == m_headerKeyId) { // every volume of a set has its own header, mostly with the same salt
        m_headerKey = m_headerKeyValue;
        return Step::Done;
    }
    for (;;) {
        const char *next = passphrase() ? passphrase()() : nullptr;
        if (!next)
            return Step::PasswordFailed;
        const QString password = QString::fromUtf8(next);
        const Rar5Key keys = Rar5Key::derive(password, salt, count);
        if (!keys.isValid())
            return Step::Unreadable;
        if (!check.isEmpty() && Rar5Key::checkIntact(check) && keys.check() != check.left(Rar5Key::checkSize))
            continue;
        m_headerKey = m_headerKeyValue = keys.key();
        m_headerKeyId = id;
        m_ring->addPassword(password);
        return Step::Done;
    }
}

struct Rar5DecryptedView::FileFields {
    quint64 fileFlags = 0;
    quint64 unpackedSize = 0;
    quint64 attributes = 0;
    quint32 mtime = 0;
    quint32 crc = 0;
    quint64 compression = 0;
    quint64 hostOs = 0;
    QByteArray name;
    QList<QByteArray> records; // the extra area's, each whole
};

namespace {

using FileFields = Rar5DecryptedView::FileFields;

bool parseFields(ByteCursor &cursor, qsizetype extraStart, FileFields *fields)
{
    fields->fileFlags = cursor.vint();
    fields->unpackedSize = cursor.vint();
    fields->attributes = cursor.vint();
    fields->mtime = fields->fileFlags & HasTime ? cursor.u32() : 0;
    fields->crc = fields->fileFlags & HasCrc ? cursor.u32() : 0;
    fields->compression = cursor.vint();
    fields->hostOs = cursor.vint();
    fields->name = cursor.bytes(cursor.vint());
    if (cursor.failed() || cursor.position() > extraStart)
        return false;
    cursor.seek(extraStart);
    while (cursor.remaining() > 0) {
        const qsizetype at = cursor.position();
        const quint64 size = cursor.vint();
        cursor.skip(size);
        if (cursor.failed())
            return false;
        fields->records.append(cursor.data().mid(at, cursor.position() - at));
    }
    return true;
}

quint64 recordType(const QByteArray &record)
{
    ByteCursor cursor(record);
    cursor.vint();
    return cursor.vint();
}

QByteArray encodeFields(const FileFields &fields)
{
    QByteArray out;
    appendVint(&out, fields.fileFlags);
    appendVint(&out, fields.unpackedSize);
    appendVint(&out, fields.attributes);
    char word[4];
    if (fields.fileFlags & HasTime)
        out.append(word, (qToLittleEndian(fields.mtime, word), 4));
    if (fields.fileFlags & HasCrc)
        out.append(word, (qToLittleEndian(fields.crc, word), 4));
    appendVint(&out, fields.compression);
    appendVint(&out, fields.hostOs);
    appendVint(&out, quint64(fields.name.size()));
    return out + fields.name;
}

} // namespace

QByteArray Rar5DecryptedView::encodeHeader(const QByteArray &body)
{
    QByteArray sized;
    appendVint(&sized, quint64(body.size()));
    sized += body;
    char crc[4];
    qToLittleEndian(Crc32::of(sized), crc);
    return QByteArray(crc, 4) + sized;
}

namespace {

struct Encryption {
    quint64 flags = 0;
    QByteArray salt;
    int count = 0;
    QByteArray iv;
    QByteArray check; // empty when not kept, or not intact
};

std::optional<Encryption> encryptionOf(const QByteArray &bytes)
{
    ByteCursor record(bytes);
    record.vint();
    record.vint();
    const quint64 version = record.vint();
    Encryption encryption;
    encryption.flags = record.vint();
    encryption.count = record.u8();
    encryption.salt = record.bytes(Rar5Key::saltSize);
    encryption.iv = record.bytes(ivSize);
    if (encryption.flags & HasCheckValue) {
        const QByteArray check = record.bytes(checkValueSize);
        if (Rar5Key::checkIntact(check))
            encryption.check = check.left(Rar5Key::checkSize);
    }
    if (record.failed() || version != 0 || encryption.count > Rar5Key::maximumCount)
        return std::nullopt;
    return encryption;
}

} // namespace

// A file's header without its encryption record (and without a checksum
// signed with the key, which libarchive would take for a wrong one), then
// its data, decrypted. A stored file shows as long as it is, not as the
// whole blocks it was encrypted in.
Rar5DecryptedView::Step Rar5DecryptedView::planFile(qsizetype volume, const Header &header, qint64 dataStart)
{
    ByteCursor cursor(header.bytes);
    cursor.seek(header.fieldsAt);
    FileFields fields;
    if (!parseFields(cursor, header.bytes.size() - qsizetype(header.extraSize), &fields))
        return Step::Unreadable;
    const int entry = header.flags & ContinuesFromPrevious ? m_entries - 1 : m_entries++;
    const auto found = std::find_if(fields.records.cbegin(), fields.records.cend(),
                                    [](const QByteArray &record) { return recordType(record) == CryptRecord; });
    if (found == fields.records.cend()) {
        append(volume, heldBytes(header.bytes));
        append(volume, plainRange(dataStart, qint64(header.dataSize)));
        return Step::Done;
    }
    const std::optional<Encryption> encryption = encryptionOf(*found);
    if (!encryption || header.dataSize % Aes::blockSize)
        return Step::Unreadable;
    m_anyEncrypted = true;
    const int slot = int(m_slots.size());
    m_slots.append(Slot{encryption->salt, encryption->count, encryption->check});
    const QByteArray extra = keptRecords(fields, entry, encryption->flags & SignedChecksums);
    if ((encryption->flags & SignedChecksums) && (fields.fileFlags & HasCrc)) {
        fields.fileFlags &= ~quint64(HasCrc);
        if (!(header.flags & ContinuesInNext))
            m_signedCrcs.insert(entry, SignedCrc{slot, fields.crc});
    }
    Piece data;
    data.size = data.sourceSize = qint64(header.dataSize);
    data.sourceStart = dataStart;
    data.cipher = Cipher::Cbc;
    data.iv = encryption->iv;
    data.keySlot = slot;
    const QByteArray key = keyFor(slot);
    if (key.isEmpty())
        return Step::PasswordFailed;
    const bool stored = ((fields.compression >> 7) & 7) == 0;
    if (!(header.flags & (ContinuesFromPrevious | ContinuesInNext)))
        data.size = stored ? qMin(qint64(fields.unpackedSize), data.size) : compressedLength(volume, data, key);
    append(volume, heldBytes(fileHeader(header.flags, fields, extra, quint64(data.size))));
    append(volume, data);
    return Step::Done;
}

// The extra records libarchive may read: not the encryption record, nor a
// hash signed with the key (left unchecked).
QByteArray Rar5DecryptedView::keptRecords(const FileFields &fields, int entry, bool signedChecksums)
{
    QByteArray kept;
    for (const QByteArray &record : fields.records) {
        const quint64 type = recordType(record);
        if (type == HashRecord && signedChecksums)
            m_unchecked.insert(entry);
        else if (type != CryptRecord)
            kept += record;
    }
    return kept;
}

QByteArray Rar5DecryptedView::fileHeader(quint64 flags, const FileFields &fields, const QByteArray &extra,
                                         quint64 dataSize)
{
    const quint64 flagsOut = (flags & ~quint64(HasExtra)) | (extra.isEmpty() ? 0 : quint64(HasExtra));
    QByteArray body;
    appendVint(&body, FileHeader);
    appendVint(&body, flagsOut);
    if (flagsOut & HasExtra)
        appendVint(&body, quint64(extra.size()));
    if (flagsOut & HasData)
        appendVint(&body, dataSize);
    body += encodeFields(fields) + extra;
    return encodeHeader(body);
}

// The padding after a compressed file's last block would be read as one
// more block: the blocks are walked, each header's size and checksum, to
// where the last one ends. Anything that does not walk keeps the whole
// length, and libarchive reports the damage when it gets there.
qint64 Rar5DecryptedView::compressedLength(qsizetype volume, const Piece &data, const QByteArray &key)
{
    qint64 at = 0;
    while (at < data.sourceSize) {
        const QByteArray head = decrypted(volume, data, key, at, qMin<qint64>(5, data.sourceSize - at));
        if (head.size() < 3)
            return data.sourceSize;
        const quint8 flags = quint8(head.at(0));
        const int sizeBytes = ((flags >> 3) & 3) + 1;
        if (sizeBytes > 3 || head.size() < 2 + sizeBytes)
            return data.sourceSize;
        quint8 check = 0x5a ^ flags;
        qint64 size = 0;
        for (int i = 0; i < sizeBytes; ++i) {
            check ^= quint8(head.at(2 + i));
            size |= qint64(quint8(head.at(2 + i))) << (8 * i);
        }
        if (check != quint8(head.at(1)))
            return data.sourceSize;
        at += 2 + sizeBytes + size;
        if (flags & 0x40)
            return at <= data.sourceSize ? at : data.sourceSize;
    }
    return data.sourceSize;
}

QByteArray Rar5DecryptedView::keyFor(int slot)
{
    if (slot < 0 || slot >= m_slots.size())
        return {};
    const Slot &info = m_slots.at(slot);
    const auto derive = [&info](const QString &password) {
        return Rar5Key::derive(password, info.salt, info.count).packed();
    };
    const auto opens = [&info](const QByteArray &packed) {
        return info.check.isEmpty() || Rar5Key::unpacked(packed).check() == info.check;
    };
    const QByteArray packed = m_ring->keyFor(slot, info.salt + char(info.count), derive, opens, passphrase());
    return Rar5Key::unpacked(packed).key();
}

std::optional<bool> Rar5DecryptedView::crcMatches(int entry, quint32 crc)
{
    const auto found = m_signedCrcs.constFind(entry);
    if (found == m_signedCrcs.constEnd())
        return std::nullopt;
    const Rar5Key keys = Rar5Key::unpacked(m_ring->knownKey(found->slot));
    if (!keys.isValid())
        return std::nullopt;
    return keys.signedCrc(crc) == found->stored;
}
