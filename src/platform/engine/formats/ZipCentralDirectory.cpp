#include "platform/engine/formats/ZipCentralDirectory.h"

#include "platform/engine/formats/Crc32.h"

#include <QFile>
#include <QtEndian>

namespace {

constexpr quint32 endSignature = 0x06054b50;
constexpr quint32 zip64LocatorSignature = 0x07064b50;
constexpr quint32 zip64EndSignature = 0x06064b50;
constexpr quint32 fileHeaderSignature = 0x02014b50;
constexpr qint64 endRecordSize = 22;
constexpr qint64 zip64LocatorSize = 20;
constexpr qint64 zip64EndSize = 56;
constexpr qint64 fileHeaderSize = 46;
constexpr qint64 maximumCommentSize = 0xFFFF;
// A directory this large would hold millions of entries; reading it whole
// into memory is where a hostile file would hurt.
constexpr qint64 maximumDirectorySize = 512LL * 1024 * 1024;
constexpr quint16 unicodePathFieldId = 0x7075;
constexpr quint8 unixHost = 3;
constexpr quint16 utf8FlagBit = 1 << 11;

quint16 u16(const char *p) { return qFromLittleEndian<quint16>(p); }
quint32 u32(const char *p) { return qFromLittleEndian<quint32>(p); }
quint64 u64(const char *p) { return qFromLittleEndian<quint64>(p); }

struct DirectoryLocation {
    qint64 offset = 0;   // as the archive states it
    qint64 size = 0;
    qint64 endsAt = 0;   // where the directory must end: the record after it
    quint64 entries = 0;
};

QByteArray readAt(QFile &file, qint64 offset, qint64 size)
{
    if (offset < 0 || size < 0 || offset > file.size() || size > file.size() - offset)
        return {};
    if (!file.seek(offset))
        return {};
    QByteArray bytes = file.read(size);
    return bytes.size() == size ? bytes : QByteArray();
}

// Places an end record may start, last first: a signature whose comment
// fits in the file. A comment may itself contain the signature, so the
// caller tries them in turn.
QList<qint64> endRecordCandidates(QFile &file)
{
    QList<qint64> candidates;
    const qint64 tailSize = std::min(file.size(), endRecordSize + maximumCommentSize);
    const qint64 tailStart = file.size() - tailSize;
    const QByteArray tail = readAt(file, tailStart, tailSize);
    for (qint64 i = tail.size() - endRecordSize; i >= 0; --i) {
        const char *p = tail.constData() + i;
        if (u32(p) == endSignature && i + endRecordSize + u16(p + 20) <= tail.size())
            candidates.append(tailStart + i);
    }
    return candidates;
}

bool readZip64End(QFile &file, qint64 endRecord, DirectoryLocation &location)
{
    const QByteArray locator = readAt(file, endRecord - zip64LocatorSize, zip64LocatorSize);
    if (locator.isEmpty() || u32(locator.constData()) != zip64LocatorSignature)
        return false;
    if (u32(locator.constData() + 4) != 0 || u32(locator.constData() + 16) > 1)
        return false;
    // The stated offset is wrong when a stub precedes the zip; the record
    // normally sits right before its locator.
    qint64 recordAt = endRecord - zip64LocatorSize - zip64EndSize;
    const quint64 stated = u64(locator.constData() + 8);
    QByteArray record = readAt(file, qint64(stated), zip64EndSize);
    if (!record.isEmpty() && u32(record.constData()) == zip64EndSignature)
        recordAt = qint64(stated);
    else
        record = readAt(file, recordAt, zip64EndSize);
    if (record.isEmpty() || u32(record.constData()) != zip64EndSignature)
        return false;
    const char *p = record.constData();
    if (u32(p + 16) != 0 || u32(p + 20) != 0)
        return false;
    location.entries = u64(p + 32);
    location.size = qint64(std::min<quint64>(u64(p + 40), quint64(file.size())));
    location.offset = qint64(std::min<quint64>(u64(p + 48), quint64(file.size())));
    location.endsAt = recordAt;
    return true;
}

std::optional<DirectoryLocation> locateDirectory(QFile &file, qint64 endRecord)
{
    const QByteArray end = readAt(file, endRecord, endRecordSize);
    const char *p = end.constData();
    DirectoryLocation location;
    location.entries = u16(p + 10);
    location.size = u32(p + 12);
    location.offset = u32(p + 16);
    location.endsAt = endRecord;
    const bool needsZip64 = location.entries == 0xFFFF || location.size == 0xFFFFFFFF
        || location.offset == 0xFFFFFFFF;
    if (!readZip64End(file, endRecord, location)) {
        if (needsZip64 || u16(p + 4) != 0 || u16(p + 6) != 0)
            return std::nullopt;
    }
    if (location.size > maximumDirectorySize || location.size > location.endsAt)
        return std::nullopt;
    return location;
}

QByteArray readDirectory(QFile &file, const DirectoryLocation &location, qint64 *at)
{
    const auto startsWithHeader = [](const QByteArray &bytes) {
        return bytes.size() >= 4 && u32(bytes.constData()) == fileHeaderSignature;
    };
    QByteArray directory = readAt(file, location.offset, location.size);
    *at = location.offset;
    if (location.size == 0 || startsWithHeader(directory))
        return directory;
    // Self-extracting archives: offsets count from the start of the zip part,
    // not of the file, but the directory still ends where the end record starts.
    directory = readAt(file, location.endsAt - location.size, location.size);
    *at = location.endsAt - location.size;
    return startsWithHeader(directory) ? directory : QByteArray();
}

bool hasCurrentUnicodePath(const char *extra, qsizetype size, const QByteArray &rawName)
{
    qsizetype i = 0;
    while (i + 4 <= size) {
        const quint16 id = u16(extra + i);
        const quint16 length = u16(extra + i + 2);
        i += 4;
        if (length > size - i)
            return false;
        // A field whose checksum no longer matches the stored name was left
        // behind by a tool that renamed the entry; the stored name rules.
        if (id == unicodePathFieldId && length >= 5 && quint8(extra[i]) == 1
            && u32(extra + i + 1) == Crc32::of(rawName))
            return true;
        i += length;
    }
    return false;
}

std::optional<QList<ZipCentralDirectory::Entry>> parseDirectory(const QByteArray &directory, qint64 at,
                                                                quint64 expectedEntries)
{
    QList<ZipCentralDirectory::Entry> entries;
    const char *data = directory.constData();
    qsizetype i = 0;
    while (i + fileHeaderSize <= directory.size() && u32(data + i) == fileHeaderSignature) {
        const char *h = data + i;
        const qsizetype nameLength = u16(h + 28);
        const qsizetype extraLength = u16(h + 30);
        const qsizetype commentLength = u16(h + 32);
        const qsizetype recordLength = fileHeaderSize + nameLength + extraLength + commentLength;
        if (recordLength > directory.size() - i)
            return std::nullopt;
        ZipCentralDirectory::Entry entry;
        entry.rawName = QByteArray(h + fileHeaderSize, nameLength);
        entry.utf8Flag = (u16(h + 8) & utf8FlagBit) != 0;
        entry.hostSystem = quint8(u16(h + 4) >> 8);
        entry.hasUnicodePathField =
            hasCurrentUnicodePath(h + fileHeaderSize + nameLength, extraLength, entry.rawName);
        entry.flags = u16(h + 8);
        entry.method = u16(h + 10);
        entry.crc = u32(h + 16);
        entry.compressedSize = u32(h + 20);
        entry.uncompressedSize = u32(h + 24);
        entry.localHeaderOffset = u32(h + 42);
        entry.extra = QByteArray(h + fileHeaderSize + nameLength, extraLength);
        entry.recordOffset = at + i;
        entries.append(entry);
        i += recordLength;
    }
    // The count in the end record is only 16 bits wide in plain zips, and
    // some writers let it wrap; it is a check, never a limit.
    if (entries.isEmpty() && expectedEntries != 0)
        return std::nullopt;
    return entries;
}

} // namespace

std::optional<QList<ZipCentralDirectory::Entry>> ZipCentralDirectory::read(const QString &archivePath)
{
    QFile file(archivePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const qint64 endRecord : endRecordCandidates(file)) {
        const std::optional<DirectoryLocation> location = locateDirectory(file, endRecord);
        if (!location)
            continue;
        qint64 at = 0;
        const QByteArray directory = readDirectory(file, *location, &at);
        if (directory.isEmpty() && location->size != 0)
            continue;
        if (auto entries = parseDirectory(directory, at, location->entries))
            return entries;
    }
    return std::nullopt;
}

QList<QByteArray> ZipCentralDirectory::legacyNames(const QList<Entry> &entries)
{
    QList<QByteArray> names;
    for (const Entry &entry : entries) {
        if (!entry.isUnicode())
            names.append(entry.rawName);
    }
    return names;
}

ZipCentralDirectory::Host ZipCentralDirectory::legacyNamesFrom(const QList<Entry> &entries)
{
    const auto hasHighBytes = [](const QByteArray &name) {
        return std::any_of(name.begin(), name.end(), [](char c) { return quint8(c) >= 0x80; });
    };
    // Hosts of names in plain ASCII do not matter: those names decode alike
    // in every code page.
    qsizetype windows = 0, fromUnix = 0, others = 0;
    for (const Entry &entry : entries) {
        if (entry.isUnicode() || !hasHighBytes(entry.rawName))
            continue;
        (entry.isFromWindowsHost() ? windows : entry.hostSystem == unixHost ? fromUnix : others) += 1;
    }
    if (windows > fromUnix + others)
        return Host::Windows;
    if (fromUnix > windows + others)
        return Host::Unix;
    return Host::Other;
}
