#include "platform/engine/formats/RarHeaderScan.h"

#include "platform/engine/formats/ByteCursor.h"

#include <QFile>
#include <limits>

namespace {

const QByteArray rar4Signature("Rar!\x1a\x07\x00", 7);
const QByteArray rar5Signature("Rar!\x1a\x07\x01\x00", 8);
// Self-extracting archives put their program in front of the signature.
constexpr qint64 signatureSearchLimit = 4 << 20;
// RAR5 caps a block header at 2 MB; RAR4's size field is 16 bits.
constexpr quint64 maximumHeaderSize = 2 << 20;

namespace rar4 {
constexpr quint8 mainHeader = 0x73;
constexpr quint8 fileHeader = 0x74;
constexpr quint8 endOfArchive = 0x7b;
constexpr quint16 longBlock = 0x8000;
constexpr quint16 mainIsVolume = 0x0001;
constexpr quint16 mainIsSolid = 0x0008;
constexpr quint16 mainHeadersEncrypted = 0x0080;
constexpr quint16 fileSplitBefore = 0x0001;
constexpr quint16 fileSplitAfter = 0x0002;
constexpr quint16 fileEncrypted = 0x0004;
constexpr quint16 fileDirectoryMask = 0x00e0;
constexpr quint16 fileLarge = 0x0100;
constexpr quint16 endNextVolume = 0x0001;
constexpr quint16 endHasDataCrc = 0x0002;
constexpr quint16 endHasVolumeNumber = 0x0008;
} // namespace rar4

namespace rar5 {
constexpr quint64 mainHeader = 1;
constexpr quint64 fileHeader = 2;
constexpr quint64 encryptionHeader = 4;
constexpr quint64 endOfArchive = 5;
constexpr quint64 hasExtraArea = 0x1;
constexpr quint64 hasDataArea = 0x2;
constexpr quint64 splitBefore = 0x8;
constexpr quint64 splitAfter = 0x10;
constexpr quint64 mainIsVolume = 0x1;
constexpr quint64 mainHasVolumeNumber = 0x2;
constexpr quint64 mainIsSolid = 0x4;
constexpr quint64 fileIsDirectory = 0x1;
constexpr quint64 fileHasTime = 0x2;
constexpr quint64 fileHasCrc = 0x4;
constexpr quint64 fileSizeUnknown = 0x8;
constexpr quint64 encryptionRecord = 1;
constexpr quint64 endMoreVolumes = 0x1;
} // namespace rar5

} // namespace

bool RarVolumeHeaders::continues() const
{
    if (hasEndBlock)
        return endSaysMoreVolumes;
    return !files.isEmpty() && files.constLast().continuesInNext;
}

// Walks the blocks of one volume from its signature, seeking over data.
class RarHeaderScan::Reader {
public:
    explicit Reader(QIODevice &file) : m_file(file) {}

    RarVolumeHeaders run()
    {
        if (!m_file.isOpen() && !m_file.open(QIODevice::ReadOnly))
            return m_result;
        const QByteArray head = m_file.peek(signatureSearchLimit);
        if (const qsizetype at = head.indexOf(rar5Signature); at >= 0) {
            start(5, at + rar5Signature.size());
            while (m_result.status == RarVolumeHeaders::Status::Readable && rar5Block()) {
            }
        } else if (const qsizetype at4 = head.indexOf(rar4Signature); at4 >= 0) {
            start(4, at4 + rar4Signature.size());
            while (m_result.status == RarVolumeHeaders::Status::Readable && rar4Block()) {
            }
        }
        return m_result;
    }

private:
    void start(int version, qint64 firstBlock)
    {
        m_result.status = RarVolumeHeaders::Status::Readable;
        m_result.version = version;
        m_at = firstBlock;
    }

    bool damaged()
    {
        m_result.status = RarVolumeHeaders::Status::Damaged;
        return false;
    }

    // Moves on past a block's header and data; false at the end of the file.
    bool advance(qint64 headerEnd, quint64 dataSize)
    {
        if (dataSize > quint64(m_file.size()) || headerEnd + qint64(dataSize) > m_file.size())
            return damaged();
        m_at = headerEnd + qint64(dataSize);
        return m_at < m_file.size();
    }

    ByteCursor readAt(qint64 offset, qint64 size)
    {
        if (!m_file.seek(offset))
            return ByteCursor(QByteArray());
        return ByteCursor(m_file.read(size));
    }

    bool rar4Block()
    {
        ByteCursor prefix = readAt(m_at, 7);
        if (prefix.remaining() == 0)
            return false; // old volumes may simply end
        prefix.u16(); // header CRC
        const quint8 type = prefix.u8();
        const quint16 flags = prefix.u16();
        const quint16 headerSize = prefix.u16();
        if (prefix.failed() || headerSize < 7)
            return damaged();
        ByteCursor header = readAt(m_at, headerSize);
        if (header.remaining() < headerSize)
            return damaged();
        header.seek(7);
        quint64 dataSize = (flags & rar4::longBlock) ? header.u32() : 0;
        switch (type) {
        case rar4::mainHeader:
            m_result.isVolume = flags & rar4::mainIsVolume;
            m_result.isSolid = flags & rar4::mainIsSolid;
            if (flags & rar4::mainHeadersEncrypted) {
                m_result.status = RarVolumeHeaders::Status::HeadersEncrypted;
                return false;
            }
            break;
        case rar4::fileHeader:
            if (!rar4File(header, flags, &dataSize))
                return damaged();
            break;
        case rar4::endOfArchive:
            rar4End(header, flags);
            return false;
        }
        if (header.failed())
            return damaged();
        return advance(m_at + headerSize, dataSize);
    }

    // The cursor stands after the packed size.
    bool rar4File(ByteCursor &header, quint16 flags, quint64 *dataSize)
    {
        RarFilePart part;
        quint64 unpacked = header.u32();
        constexpr quint8 unixHost = 3;
        part.fromUnix = header.u8() == unixHost;
        part.crc = header.u32();
        part.hasCrc = true;
        header.skip(4 + 1 + 1); // time, version, method
        const quint16 nameSize = header.u16();
        header.u32(); // attributes
        if (flags & rar4::fileLarge) {
            *dataSize |= quint64(header.u32()) << 32;
            unpacked |= quint64(header.u32()) << 32;
        }
        part.name = header.bytes(nameSize);
        part.unpackedSize = unpacked;
        part.sizeKnown = (flags & rar4::fileLarge) ? unpacked != std::numeric_limits<quint64>::max()
                                                   : unpacked != 0xffffffffU;
        part.isDirectory = (flags & rar4::fileDirectoryMask) == rar4::fileDirectoryMask;
        part.continuesFromPrevious = flags & rar4::fileSplitBefore;
        part.continuesInNext = flags & rar4::fileSplitAfter;
        part.encrypted = flags & rar4::fileEncrypted;
        if (header.failed())
            return false;
        m_result.files.append(part);
        return true;
    }

    void rar4End(ByteCursor &header, quint16 flags)
    {
        m_result.hasEndBlock = true;
        m_result.endSaysMoreVolumes = flags & rar4::endNextVolume;
        if (flags & rar4::endHasDataCrc)
            header.u32();
        if (flags & rar4::endHasVolumeNumber) {
            const quint16 number = header.u16();
            if (!header.failed())
                m_result.volumeNumber = number;
        }
    }

    bool rar5Block()
    {
        ByteCursor prefix = readAt(m_at, 4 + 3);
        if (prefix.remaining() == 0)
            return false;
        prefix.u32(); // header CRC
        const quint64 headerSize = prefix.vint();
        if (prefix.failed() || headerSize == 0 || headerSize > maximumHeaderSize)
            return damaged();
        const qint64 headerStart = m_at + prefix.position();
        ByteCursor header = readAt(headerStart, qint64(headerSize));
        if (header.remaining() < qsizetype(headerSize))
            return damaged();
        const quint64 type = header.vint();
        const quint64 flags = header.vint();
        const quint64 extraSize = (flags & rar5::hasExtraArea) ? header.vint() : 0;
        const quint64 dataSize = (flags & rar5::hasDataArea) ? header.vint() : 0;
        if (header.failed() || extraSize > headerSize)
            return damaged();
        switch (type) {
        case rar5::mainHeader:
            rar5Main(header);
            break;
        case rar5::fileHeader:
            if (!rar5File(header, flags, extraSize))
                return damaged();
            break;
        case rar5::encryptionHeader:
            m_result.status = RarVolumeHeaders::Status::HeadersEncrypted;
            return false;
        case rar5::endOfArchive:
            m_result.hasEndBlock = true;
            m_result.endSaysMoreVolumes = header.vint() & rar5::endMoreVolumes;
            return false;
        }
        return advance(headerStart + qint64(headerSize), dataSize);
    }

    void rar5Main(ByteCursor &header)
    {
        const quint64 archiveFlags = header.vint();
        m_result.isVolume = archiveFlags & rar5::mainIsVolume;
        m_result.isSolid = archiveFlags & rar5::mainIsSolid;
        if (archiveFlags & rar5::mainHasVolumeNumber) {
            const quint64 number = header.vint();
            if (!header.failed() && number < quint64(std::numeric_limits<int>::max()))
                m_result.volumeNumber = int(number);
        } else if (m_result.isVolume) {
            m_result.volumeNumber = 0; // only the first volume leaves it out
        }
    }

    bool rar5File(ByteCursor header, quint64 flags, quint64 extraSize)
    {
        RarFilePart part;
        const quint64 fileFlags = header.vint();
        part.unpackedSize = header.vint();
        part.sizeKnown = !(fileFlags & rar5::fileSizeUnknown);
        part.isDirectory = fileFlags & rar5::fileIsDirectory;
        header.vint(); // attributes
        if (fileFlags & rar5::fileHasTime)
            header.skip(4);
        if (fileFlags & rar5::fileHasCrc) {
            part.hasCrc = true;
            part.crc = header.u32();
        }
        header.vint(); // compression
        header.vint(); // host system
        part.name = header.bytes(header.vint());
        part.continuesFromPrevious = flags & rar5::splitBefore;
        part.continuesInNext = flags & rar5::splitAfter;
        if (header.failed() || quint64(header.remaining()) < extraSize)
            return false;
        header.skip(quint64(header.remaining()) - extraSize);
        part.encrypted = hasEncryptionRecord(header);
        m_result.files.append(part);
        return true;
    }

    static bool hasEncryptionRecord(ByteCursor &extra)
    {
        while (extra.remaining() > 0 && !extra.failed()) {
            const quint64 size = extra.vint();
            if (size == 0 || size > quint64(extra.remaining()))
                return false;
            ByteCursor record(extra.bytes(size));
            if (record.vint() == rar5::encryptionRecord)
                return true;
        }
        return false;
    }

    QIODevice &m_file;
    qint64 m_at = 0;
    RarVolumeHeaders m_result;
};

RarVolumeHeaders RarHeaderScan::scan(const QString &path)
{
    QFile file(path);
    return Reader(file).run();
}

RarVolumeHeaders RarHeaderScan::scan(QIODevice &volume)
{
    return Reader(volume).run();
}
