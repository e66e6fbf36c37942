#include "platform/engine/formats/SevenZipHeader.h"

#include "platform/engine/formats/ByteCursor.h"
#include "platform/engine/formats/Crc32.h"
#include "platform/engine/formats/SevenZipAesCoder.h"
#include "platform/engine/formats/VolumeSpan.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <lzma.h>
#include <memory>

namespace {

constexpr char signature[] = {'7', 'z', '\xBC', '\xAF', '\x27', '\x1C'};
constexpr qint64 signatureHeaderSize = 32;
// Beyond these the header would describe millions of entries: one pass
// reads such an archive without this scan's help.
constexpr quint64 maximumPackedHeader = quint64(64) << 20;
constexpr quint64 maximumHeader = quint64(256) << 20;
constexpr quint64 maximumCoders = 64;

enum Property : quint64 {
    End = 0x00,
    Header = 0x01,
    ArchiveProperties = 0x02,
    AdditionalStreamsInfo = 0x03,
    MainStreamsInfo = 0x04,
    FilesInfo = 0x05,
    PackInfo = 0x06,
    UnpackInfo = 0x07,
    SubStreamsInfo = 0x08,
    Size = 0x09,
    Crc = 0x0A,
    FolderList = 0x0B,
    CodersUnpackSize = 0x0C,
    NumUnpackStream = 0x0D,
    EmptyStream = 0x0E,
    WinAttributes = 0x15,
    EncodedHeader = 0x17,
};

const QByteArray lzmaMethod = QByteArray::fromHex("030101");

using Coder = SevenZipHeader::Coder;
using Folder = SevenZipHeader::Folder;
using Streams = SevenZipHeader::Streams;
using Status = SevenZipHeader::Status;

// The header's own failure mark: any field that does not parse ends the
// scan, and the archive is read in one pass as before.
class HeaderCursor : public ByteCursor {
public:
    using ByteCursor::ByteCursor;

    // The first byte's leading one bits count the bytes that follow, low
    // byte first; its remaining bits are the highest.
    quint64 number()
    {
        const quint8 first = u8();
        quint64 value = 0;
        for (int i = 0; i < 8; ++i) {
            const quint8 mask = quint8(0x80 >> i);
            if (!(first & mask))
                return value | (quint64(first & (mask - 1)) << (8 * i));
            value |= quint64(u8()) << (8 * i);
        }
        return value;
    }

    // A count of items that each take at least a byte (or a bit) here:
    // more than the header holds means damage, not a large archive.
    quint64 count(quint64 bitsPerItem = 8)
    {
        const quint64 value = number();
        if (value > quint64(remaining()) * 8 / bitsPerItem + 1)
            fail();
        return value;
    }

    QList<bool> bits(quint64 count)
    {
        QList<bool> result;
        quint8 byte = 0;
        for (quint64 i = 0; i < count && !failed(); ++i) {
            if (i % 8 == 0)
                byte = u8();
            result.append(byte & (0x80 >> (i % 8)));
        }
        return result;
    }

    QList<bool> defined(quint64 count)
    {
        if (u8() != 0)
            return QList<bool>(qsizetype(count), true);
        return bits(count);
    }

    void skipDigests(quint64 count)
    {
        for (bool isDefined : defined(count))
            if (isDefined)
                u32();
    }

    void expect(quint64 property)
    {
        if (number() != property)
            fail();
    }

    void fail() { seek(-1); }

    QByteArray slice(qsizetype from, qsizetype to) const { return data().mid(from, to - from); }
};

Folder readFolder(HeaderCursor &cursor)
{
    Folder folder;
    const quint64 coders = cursor.number();
    if (coders == 0 || coders > maximumCoders)
        cursor.fail();
    for (quint64 i = 0; i < coders && !cursor.failed(); ++i) {
        const quint8 flags = cursor.u8();
        if (flags & 0x80) // alternative methods: never written
            cursor.fail();
        Coder coder;
        coder.method = cursor.bytes(flags & 0x0F);
        if (flags & 0x10) {
            coder.inStreams = cursor.number();
            coder.outStreams = cursor.number();
        }
        if (coder.inStreams > maximumCoders || coder.outStreams > maximumCoders)
            cursor.fail();
        if (flags & 0x20)
            coder.properties = cursor.bytes(cursor.count());
        folder.coders.append(coder);
    }
    const quint64 inStreams = folder.inStreams(), outStreams = folder.outStreams();
    if (outStreams == 0 || inStreams + 1 < outStreams)
        cursor.fail();
    for (quint64 i = 0; i + 1 < outStreams && !cursor.failed(); ++i) {
        const quint64 in = cursor.number();
        folder.bindPairs.append({in, cursor.number()});
    }
    const quint64 packed = inStreams + 1 - outStreams;
    for (quint64 i = 0; packed > 1 && i < packed && !cursor.failed(); ++i)
        folder.packedStreams.append(cursor.number());
    if (packed == 1) { // the one input no coder's output feeds
        for (quint64 in = 0; in < inStreams; ++in)
            if (std::none_of(folder.bindPairs.cbegin(), folder.bindPairs.cend(),
                             [in](const SevenZipHeader::BindPair &pair) { return pair.in == in; }))
                folder.packedStreams.append(in);
    }
    return folder;
}

void readPackInfo(HeaderCursor &cursor, Streams &streams)
{
    streams.packPosition = cursor.number();
    const quint64 count = cursor.count();
    for (quint64 property = cursor.number(); property != End && !cursor.failed(); property = cursor.number()) {
        if (property == Size) {
            for (quint64 i = 0; i < count && !cursor.failed(); ++i)
                streams.packSizes.append(cursor.number());
        } else if (property == Crc) {
            cursor.skipDigests(count);
        } else {
            cursor.fail();
        }
    }
}

void readUnpackInfo(HeaderCursor &cursor, Streams &streams)
{
    cursor.expect(FolderList);
    const quint64 count = cursor.count();
    if (cursor.u8() != 0) // folders kept elsewhere: never written
        cursor.fail();
    for (quint64 i = 0; i < count && !cursor.failed(); ++i)
        streams.folders.append(readFolder(cursor));
    cursor.expect(CodersUnpackSize);
    for (Folder &folder : streams.folders)
        for (quint64 i = 0; i < folder.outStreams() && !cursor.failed(); ++i)
            folder.unpackSizes.append(cursor.number());
    for (quint64 property = cursor.number(); property != End && !cursor.failed(); property = cursor.number()) {
        if (property != Crc) {
            cursor.fail();
            break;
        }
        const QList<bool> defined = cursor.defined(count);
        for (qsizetype i = 0; i < defined.size(); ++i) {
            streams.folders[i].crcDefined = defined[i];
            if (defined[i])
                streams.folders[i].crc = cursor.u32();
        }
    }
}

// Only how many entries each folder holds matters here; their sizes and
// checksums are skipped.
void readSubStreamsInfo(HeaderCursor &cursor, Streams &streams)
{
    quint64 property = cursor.number();
    if (property == NumUnpackStream) {
        for (Folder &folder : streams.folders)
            folder.unpackStreams = cursor.count();
        property = cursor.number();
    }
    if (property == Size) {
        for (const Folder &folder : std::as_const(streams.folders))
            for (quint64 i = 1; i < folder.unpackStreams && !cursor.failed(); ++i)
                cursor.number();
        property = cursor.number();
    }
    if (property == Crc) {
        quint64 digests = 0;
        for (const Folder &folder : std::as_const(streams.folders))
            if (folder.unpackStreams != 1 || !folder.crcDefined)
                digests += folder.unpackStreams;
        cursor.skipDigests(digests);
        property = cursor.number();
    }
    if (property != End)
        cursor.fail();
}

Streams readStreams(HeaderCursor &cursor)
{
    Streams streams;
    quint64 property = cursor.number();
    if (property == PackInfo) {
        readPackInfo(cursor, streams);
        property = cursor.number();
    }
    if (property == UnpackInfo) {
        readUnpackInfo(cursor, streams);
        property = cursor.number();
    }
    if (property == SubStreamsInfo) {
        const qsizetype from = cursor.position() - 1;
        readSubStreamsInfo(cursor, streams);
        streams.subStreams = cursor.slice(from, cursor.position());
        property = cursor.number();
    }
    if (property != End)
        cursor.fail();
    return streams;
}

struct LzmaEnd {
    void operator()(lzma_stream *stream) const
    {
        lzma_end(stream);
        delete stream;
    }
};

QByteArray decodeLzma(const QByteArray &properties, const QByteArray &packed, quint64 size)
{
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, reinterpret_cast<const uint8_t *>(properties.constData()),
                               size_t(properties.size())) != LZMA_OK)
        return {};
    std::unique_ptr<void, decltype(&free)> options(filters[0].options, &free);
    std::unique_ptr<lzma_stream, LzmaEnd> stream(new lzma_stream(LZMA_STREAM_INIT));
    if (lzma_raw_decoder(stream.get(), filters) != LZMA_OK)
        return {};
    QByteArray decoded(qsizetype(size), Qt::Uninitialized);
    stream->next_in = reinterpret_cast<const uint8_t *>(packed.constData());
    stream->avail_in = size_t(packed.size());
    stream->next_out = reinterpret_cast<uint8_t *>(decoded.data());
    stream->avail_out = size_t(decoded.size());
    // Without an end mark the stream ends where its known size does.
    lzma_ret status = LZMA_OK;
    while (stream->avail_out > 0 && status == LZMA_OK)
        status = lzma_code(stream.get(), LZMA_FINISH);
    return stream->avail_out == 0 ? decoded : QByteArray();
}

// The coder of a folder with this method, -1 for none.
qsizetype coderIndex(const Folder &folder, const QByteArray &method)
{
    for (qsizetype i = 0; i < folder.coders.size(); ++i)
        if (folder.coders.at(i).method == method)
            return i;
    return -1;
}

// A packed header is LZMA, AES, or LZMA fed by AES (names hidden under the
// password); other methods are left to libarchive. Each of these coders has
// one output, numbered as the coder.
Status decodeHeader(VolumeSpan &file, const Streams &streams, const QString &password, QByteArray *header)
{
    if (streams.folders.size() != 1 || streams.packSizes.size() != 1)
        return Status::Unreadable;
    const Folder &folder = streams.folders.constFirst();
    const qsizetype aes = coderIndex(folder, SevenZipAesCoder::methodId);
    const qsizetype lzma = coderIndex(folder, lzmaMethod);
    if (folder.coders.size() != (aes >= 0) + (lzma >= 0) || folder.unpackSizes.size() != folder.coders.size() ||
        folder.decodedSize() > maximumHeader || streams.packSizes.constFirst() > maximumPackedHeader)
        return Status::Unreadable;
    const quint64 at = signatureHeaderSize + streams.packPosition;
    if (at > quint64(file.size()))
        return Status::Unreadable;
    *header = file.read(qint64(at), qint64(streams.packSizes.constFirst()));
    if (aes >= 0) {
        if (password.isEmpty())
            return Status::PasswordNeeded;
        const auto coder = SevenZipAesCoder::fromProperties(folder.coders.at(aes).properties);
        if (!coder || !coder->decrypt(coder->key(password), header) ||
            folder.unpackSizes.at(aes) > quint64(header->size()))
            return Status::Unreadable;
        header->truncate(qsizetype(folder.unpackSizes.at(aes)));
    }
    if (lzma >= 0)
        *header = decodeLzma(folder.coders.at(lzma).properties, *header, folder.unpackSizes.at(lzma));
    // Decrypted with the wrong key, the data decodes to nothing, or to
    // something the folder's checksum rejects.
    if (header->isEmpty() || (folder.crcDefined && Crc32::of(*header) != folder.crc)) {
        header->clear();
        return aes >= 0 ? Status::PasswordWrong : Status::Unreadable;
    }
    return Status::Read;
}

SevenZipHeader::Files readFiles(HeaderCursor &cursor)
{
    SevenZipHeader::Files files;
    const qsizetype from = cursor.position() - 1;
    files.count = cursor.count(1);
    files.emptyStream = QList<bool>(qsizetype(files.count), false);
    files.attributes = QList<quint32>(qsizetype(files.count), 0);
    for (quint64 property = cursor.number(); property != End && !cursor.failed(); property = cursor.number()) {
        HeaderCursor data(cursor.bytes(cursor.count()));
        if (property == EmptyStream) {
            files.emptyStream = data.bits(files.count);
        } else if (property == WinAttributes) {
            const QList<bool> defined = data.defined(files.count);
            if (data.u8() != 0) // kept elsewhere: never written
                cursor.fail();
            for (qsizetype i = 0; i < defined.size(); ++i)
                if (defined[i])
                    files.attributes[i] = data.u32();
        }
        if (data.failed())
            cursor.fail();
    }
    files.stored = cursor.slice(from, cursor.position());
    return files;
}

// Properties of the archive and streams kept for other uses are skipped;
// only the main streams and the files matter for reading it.
bool readHeader(HeaderCursor &cursor, Streams *streams, SevenZipHeader::Files *files)
{
    cursor.expect(Header);
    quint64 property = cursor.number();
    if (property == ArchiveProperties) {
        for (quint64 type = cursor.number(); type != End && !cursor.failed(); type = cursor.number())
            cursor.skip(cursor.count());
        property = cursor.number();
    }
    if (property == AdditionalStreamsInfo) {
        readStreams(cursor);
        property = cursor.number();
    }
    if (property == MainStreamsInfo) {
        *streams = readStreams(cursor);
        property = cursor.number();
    }
    if (property == FilesInfo) {
        *files = readFiles(cursor);
        property = cursor.number();
    }
    return property == End && !cursor.failed() && files->count <= quint64(std::numeric_limits<int>::max());
}

bool isLink(quint32 attributes)
{
    constexpr quint32 unixExtension = 0x8000;
    constexpr quint32 typeMask = 0170000, linkType = 0120000;
    return (attributes & unixExtension) && ((attributes >> 16) & typeMask) == linkType;
}

void putNumber(QByteArray &out, quint64 value)
{
    int extra = 0;
    while (extra < 8 && value >= (quint64(1) << (7 * (extra + 1))))
        ++extra;
    const quint8 marks = quint8(0xFF00 >> extra);
    out.append(char(extra == 8 ? 0xFF : marks | quint8(value >> (8 * extra))));
    for (int i = 0; i < extra; ++i)
        out.append(char(value >> (8 * i)));
}

void putFolder(QByteArray &out, const Folder &folder)
{
    putNumber(out, quint64(folder.coders.size()));
    for (const Coder &coder : folder.coders) {
        const bool complex = coder.inStreams != 1 || coder.outStreams != 1;
        out.append(char(coder.method.size() | (complex ? 0x10 : 0) | (coder.properties.isEmpty() ? 0 : 0x20)));
        out.append(coder.method);
        if (complex) {
            putNumber(out, coder.inStreams);
            putNumber(out, coder.outStreams);
        }
        if (!coder.properties.isEmpty()) {
            putNumber(out, quint64(coder.properties.size()));
            out.append(coder.properties);
        }
    }
    for (const SevenZipHeader::BindPair &pair : folder.bindPairs) {
        putNumber(out, pair.in);
        putNumber(out, pair.out);
    }
    if (folder.packedStreams.size() > 1)
        for (quint64 in : folder.packedStreams)
            putNumber(out, in);
}

void putStreams(QByteArray &out, const Streams &streams)
{
    out.append(char(PackInfo));
    putNumber(out, streams.packPosition);
    putNumber(out, quint64(streams.packSizes.size()));
    out.append(char(Size));
    for (quint64 size : streams.packSizes)
        putNumber(out, size);
    out.append(char(End));
    out.append(char(UnpackInfo));
    out.append(char(FolderList));
    putNumber(out, quint64(streams.folders.size()));
    out.append(char(0));
    for (const Folder &folder : streams.folders)
        putFolder(out, folder);
    out.append(char(CodersUnpackSize));
    for (const Folder &folder : streams.folders)
        for (quint64 size : folder.unpackSizes)
            putNumber(out, size);
    QByteArray crcs(1, char(1)); // all defined, unless one is not
    QByteArray bits((streams.folders.size() + 7) / 8, '\0');
    bool allDefined = true;
    for (qsizetype i = 0; i < streams.folders.size(); ++i) {
        if (!streams.folders[i].crcDefined) {
            allDefined = false;
            continue;
        }
        bits[i / 8] = char(bits[i / 8] | (0x80 >> (i % 8)));
        char value[4];
        qToLittleEndian<quint32>(streams.folders[i].crc, value);
        crcs.append(value, 4);
    }
    if (!allDefined)
        crcs = QByteArray(1, char(0)) + bits + crcs.mid(1);
    out.append(char(Crc));
    out.append(crcs);
    out.append(char(End));
    out.append(streams.subStreams);
    out.append(char(End));
}

} // namespace

quint64 SevenZipHeader::Folder::inStreams() const
{
    quint64 count = 0;
    for (const Coder &coder : coders)
        count += coder.inStreams;
    return count;
}

quint64 SevenZipHeader::Folder::outStreams() const
{
    quint64 count = 0;
    for (const Coder &coder : coders)
        count += coder.outStreams;
    return count;
}

quint64 SevenZipHeader::Folder::decodedSize() const
{
    for (qsizetype i = 0; i < unpackSizes.size(); ++i)
        if (std::none_of(bindPairs.cbegin(), bindPairs.cend(),
                         [i](const BindPair &pair) { return pair.out == quint64(i); }))
            return unpackSizes[i];
    return 0;
}

Status SevenZipHeader::read(const VolumeSet &volumes, const QString &password, SevenZipHeader *header)
{
    VolumeSpan file(volumes);
    const QByteArray start = file.read(0, signatureHeaderSize);
    if (start.size() != signatureHeaderSize || !start.startsWith(QByteArrayView(signature, sizeof signature)))
        return Status::Unreadable;
    const quint64 offset = qFromLittleEndian<quint64>(start.constData() + 12);
    const quint64 size = qFromLittleEndian<quint64>(start.constData() + 20);
    const quint32 crc = qFromLittleEndian<quint32>(start.constData() + 28);
    const quint64 fileSize = quint64(file.size());
    if (size == 0 || size > maximumPackedHeader || offset > fileSize || size > fileSize - signatureHeaderSize - offset)
        return Status::Unreadable;
    QByteArray bytes = file.read(qint64(signatureHeaderSize + offset), qint64(size));
    if (bytes.size() != qsizetype(size) || Crc32::of(bytes) != crc)
        return Status::Unreadable;
    SevenZipHeader read;
    if (bytes.at(0) == char(EncodedHeader)) {
        HeaderCursor encoded(bytes);
        encoded.expect(EncodedHeader);
        const Streams streams = readStreams(encoded);
        if (encoded.failed())
            return Status::Unreadable;
        if (const Status status = decodeHeader(file, streams, password, &bytes); status != Status::Read)
            return status;
        read.m_headerEncrypted =
            std::any_of(streams.folders.cbegin(), streams.folders.cend(), [](const Folder &folder) {
                return std::any_of(folder.coders.cbegin(), folder.coders.cend(),
                                   [](const Coder &coder) { return coder.method == SevenZipAesCoder::methodId; });
            });
    }
    HeaderCursor cursor(bytes);
    if (!readHeader(cursor, &read.m_streams, &read.m_files))
        return Status::Unreadable;
    *header = read;
    return Status::Read;
}

std::optional<SevenZipHeader> SevenZipHeader::read(const VolumeSet &volumes)
{
    SevenZipHeader header;
    if (read(volumes, QString(), &header) != Status::Read)
        return std::nullopt;
    return header;
}

std::optional<SevenZipHeader::Layout> SevenZipHeader::layout() const
{
    Layout layout;
    layout.entryCount = int(m_files.count);
    const QList<Folder> &folders = m_streams.folders;
    qsizetype folder = 0;
    quint64 leftInFolder = folders.isEmpty() ? 0 : folders.constFirst().unpackStreams;
    for (qsizetype entry = 0; entry < qsizetype(m_files.count); ++entry) {
        if (m_files.emptyStream[entry])
            continue;
        while (leftInFolder == 0 && ++folder < folders.size())
            leftInFolder = folders[folder].unpackStreams;
        if (folder >= folders.size())
            return std::nullopt; // more entries with data than the folders hold
        layout.storesLinks = layout.storesLinks || isLink(m_files.attributes[entry]);
        if (--leftInFolder == 0) {
            layout.folderEnds.append(int(entry));
            layout.folderSizes.append(folders[folder].decodedSize());
        }
    }
    for (++folder; folder < folders.size(); ++folder)
        if (folders[folder].unpackStreams != 0)
            return std::nullopt;
    if (leftInFolder != 0)
        return std::nullopt;
    return layout;
}

QByteArray SevenZipHeader::encode(const Streams &streams) const
{
    QByteArray out(1, char(Header));
    if (!streams.folders.isEmpty() || !streams.packSizes.isEmpty()) {
        out.append(char(MainStreamsInfo));
        putStreams(out, streams);
    }
    out.append(m_files.stored);
    out.append(char(End));
    return out;
}

QByteArray SevenZipHeader::startHeader(quint64 packedSize, const QByteArray &header)
{
    QByteArray start(signature, sizeof signature);
    start.append(char(0));
    start.append(char(4));
    char fields[20];
    qToLittleEndian<quint64>(packedSize, fields);
    qToLittleEndian<quint64>(quint64(header.size()), fields + 8);
    qToLittleEndian<quint32>(Crc32::of(header), fields + 16);
    char crc[4];
    qToLittleEndian<quint32>(Crc32::of(fields, sizeof fields), crc);
    start.append(crc, 4);
    start.append(fields, sizeof fields);
    return start;
}
