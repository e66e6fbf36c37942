#include "platform/engine/formats/SevenZipHeaderScan.h"

#include "platform/engine/formats/ByteCursor.h"
#include "platform/engine/formats/Crc32.h"
#include "platform/engine/formats/SevenZipAesCoder.h"

#include <QFile>
#include <QtEndian>
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

struct Coder {
    QByteArray method;
    QByteArray properties;
};

struct Folder {
    QList<Coder> coders;
    quint64 outStreams = 0;
    QList<quint64> boundOutputs; // fed to another coder, not the folder's result
    QList<quint64> unpackSizes;
    bool crcDefined = false;
    quint32 crc = 0;
    quint64 unpackStreams = 1;
};

struct Streams {
    quint64 packPosition = 0;
    QList<quint64> packSizes;
    QList<Folder> folders;
};

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
};

Folder readFolder(HeaderCursor &cursor)
{
    Folder folder;
    const quint64 coders = cursor.number();
    if (coders == 0 || coders > maximumCoders)
        cursor.fail();
    quint64 inStreams = 0;
    for (quint64 i = 0; i < coders && !cursor.failed(); ++i) {
        const quint8 flags = cursor.u8();
        if (flags & 0x80) // alternative methods: never written
            cursor.fail();
        Coder coder;
        coder.method = cursor.bytes(flags & 0x0F);
        quint64 in = 1, out = 1;
        if (flags & 0x10) {
            in = cursor.number();
            out = cursor.number();
        }
        if (in > maximumCoders || out > maximumCoders)
            cursor.fail();
        if (flags & 0x20)
            coder.properties = cursor.bytes(cursor.count());
        inStreams += in;
        folder.outStreams += out;
        folder.coders.append(coder);
    }
    if (folder.outStreams == 0 || inStreams + 1 < folder.outStreams)
        cursor.fail();
    const quint64 bindPairs = folder.outStreams - 1;
    for (quint64 i = 0; i < bindPairs && !cursor.failed(); ++i) {
        cursor.number();
        folder.boundOutputs.append(cursor.number());
    }
    const quint64 packed = inStreams - bindPairs;
    for (quint64 i = 0; packed > 1 && i < packed && !cursor.failed(); ++i)
        cursor.number();
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
        for (quint64 i = 0; i < folder.outStreams && !cursor.failed(); ++i)
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
        readSubStreamsInfo(cursor, streams);
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

// The one output no other coder takes in.
quint64 decodedSize(const Folder &folder)
{
    for (qsizetype i = 0; i < folder.unpackSizes.size(); ++i)
        if (!folder.boundOutputs.contains(quint64(i)))
            return folder.unpackSizes[i];
    return 0;
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
SevenZipHeaderScan::Status decodeHeader(QFile &file, const Streams &streams, const QString &password,
                                        QByteArray *header)
{
    using Status = SevenZipHeaderScan::Status;
    if (streams.folders.size() != 1 || streams.packSizes.size() != 1)
        return Status::Unreadable;
    const Folder &folder = streams.folders.constFirst();
    const qsizetype aes = coderIndex(folder, SevenZipAesCoder::methodId);
    const qsizetype lzma = coderIndex(folder, lzmaMethod);
    if (folder.coders.size() != (aes >= 0) + (lzma >= 0) || folder.unpackSizes.size() != folder.coders.size() ||
        decodedSize(folder) > maximumHeader || streams.packSizes.constFirst() > maximumPackedHeader)
        return Status::Unreadable;
    const quint64 at = signatureHeaderSize + streams.packPosition;
    if (at > quint64(file.size()) || !file.seek(qint64(at)))
        return Status::Unreadable;
    *header = file.read(qint64(streams.packSizes.constFirst()));
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

struct Files {
    quint64 count = 0;
    QList<bool> emptyStream;
    QList<quint32> attributes; // 0 where none is stored
};

Files readFiles(HeaderCursor &cursor)
{
    Files files;
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
    return files;
}

bool isLink(quint32 attributes)
{
    constexpr quint32 unixExtension = 0x8000;
    constexpr quint32 typeMask = 0170000, linkType = 0120000;
    return (attributes & unixExtension) && ((attributes >> 16) & typeMask) == linkType;
}

std::optional<SevenZipHeaderScan::Layout> layoutOf(const Streams &streams, const Files &files)
{
    SevenZipHeaderScan::Layout layout;
    layout.entryCount = int(files.count);
    qsizetype folder = 0;
    quint64 leftInFolder = streams.folders.isEmpty() ? 0 : streams.folders.constFirst().unpackStreams;
    for (qsizetype entry = 0; entry < qsizetype(files.count); ++entry) {
        if (files.emptyStream[entry])
            continue;
        while (leftInFolder == 0 && ++folder < streams.folders.size())
            leftInFolder = streams.folders[folder].unpackStreams;
        if (folder >= streams.folders.size())
            return std::nullopt; // more entries with data than the folders hold
        layout.storesLinks = layout.storesLinks || isLink(files.attributes[entry]);
        if (--leftInFolder == 0) {
            layout.folderEnds.append(int(entry));
            layout.folderSizes.append(decodedSize(streams.folders[folder]));
        }
    }
    for (++folder; folder < streams.folders.size(); ++folder)
        if (streams.folders[folder].unpackStreams != 0)
            return std::nullopt;
    if (leftInFolder != 0)
        return std::nullopt;
    return layout;
}

std::optional<SevenZipHeaderScan::Layout> readHeader(HeaderCursor &cursor)
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
    Streams streams;
    if (property == MainStreamsInfo) {
        streams = readStreams(cursor);
        property = cursor.number();
    }
    Files files;
    if (property == FilesInfo) {
        files = readFiles(cursor);
        property = cursor.number();
    }
    if (property != End || cursor.failed() || files.count > quint64(std::numeric_limits<int>::max()))
        return std::nullopt;
    return layoutOf(streams, files);
}

} // namespace

SevenZipHeaderScan::Status SevenZipHeaderScan::read(const QString &archivePath, const QString &password, Layout *layout)
{
    QFile file(archivePath);
    if (!file.open(QIODevice::ReadOnly))
        return Status::Unreadable;
    const QByteArray start = file.read(signatureHeaderSize);
    if (start.size() != signatureHeaderSize || !start.startsWith(QByteArrayView(signature, sizeof signature)))
        return Status::Unreadable;
    const quint64 offset = qFromLittleEndian<quint64>(start.constData() + 12);
    const quint64 size = qFromLittleEndian<quint64>(start.constData() + 20);
    const quint32 crc = qFromLittleEndian<quint32>(start.constData() + 28);
    const quint64 fileSize = quint64(file.size());
    if (size == 0 || size > maximumPackedHeader || offset > fileSize || size > fileSize - signatureHeaderSize - offset)
        return Status::Unreadable;
    file.seek(qint64(signatureHeaderSize + offset));
    QByteArray header = file.read(qint64(size));
    if (header.size() != qsizetype(size) || Crc32::of(header) != crc)
        return Status::Unreadable;
    if (header.at(0) == char(EncodedHeader)) {
        HeaderCursor encoded(header);
        encoded.expect(EncodedHeader);
        const Streams streams = readStreams(encoded);
        if (encoded.failed())
            return Status::Unreadable;
        if (const Status status = decodeHeader(file, streams, password, &header); status != Status::Read)
            return status;
    }
    HeaderCursor cursor(header);
    const std::optional<Layout> read = readHeader(cursor);
    if (!read)
        return Status::Unreadable;
    *layout = *read;
    return Status::Read;
}

std::optional<SevenZipHeaderScan::Layout> SevenZipHeaderScan::read(const QString &archivePath)
{
    Layout layout;
    if (read(archivePath, QString(), &layout) != Status::Read)
        return std::nullopt;
    return layout;
}
