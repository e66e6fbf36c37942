#include "platform/engine/formats/SevenZipDecryptedView.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr qint64 startSize = 32;
constexpr qint64 blockSize = 16;
// libarchive asks for blocks of its own size; a bigger request is served in
// pieces, so one read never holds much of the archive.
constexpr qint64 largestRead = qint64(1) << 20;

using Folder = SevenZipHeader::Folder;

bool hasAes(const Folder &folder)
{
    return std::any_of(folder.coders.cbegin(), folder.coders.cend(),
                       [](const SevenZipHeader::Coder &coder) { return coder.method == SevenZipAesCoder::methodId; });
}

// The first input and output stream of a coder, counted over the folder.
std::pair<quint64, quint64> streamsOf(const Folder &folder, qsizetype coder)
{
    quint64 in = 0, out = 0;
    for (qsizetype i = 0; i < coder; ++i) {
        in += folder.coders.at(i).inStreams;
        out += folder.coders.at(i).outStreams;
    }
    return {in, out};
}

} // namespace

SevenZipDecryptedView::Status SevenZipDecryptedView::open(const VolumeSet &volumes, const QString &password,
                                                          std::unique_ptr<SevenZipDecryptedView> *view)
{
    view->reset();
    SevenZipHeader header;
    if (const Status status = SevenZipHeader::read(volumes, password, &header); status != Status::Read)
        return status;
    const QList<Folder> &folders = header.streams().folders;
    if (!header.headerWasEncrypted() && std::none_of(folders.cbegin(), folders.cend(), hasAes))
        return Status::Read;
    if (password.isEmpty())
        return Status::PasswordNeeded;
    auto made = std::unique_ptr<SevenZipDecryptedView>(new SevenZipDecryptedView);
    made->m_file = std::make_unique<VolumeSpan>(volumes);
    if (!made->plan(header, password))
        return Status::Unreadable;
    *view = std::move(made);
    return Status::Read;
}

std::unique_ptr<SevenZipDecryptedView> SevenZipDecryptedView::clone() const
{
    auto copy = std::unique_ptr<SevenZipDecryptedView>(new SevenZipDecryptedView);
    copy->m_file = std::make_unique<VolumeSpan>(m_file->volumes());
    copy->m_source = m_source;
    copy->m_encryptedFolders = m_encryptedFolders;
    copy->m_segments = m_segments;
    copy->m_streams = m_streams;
    copy->m_start = m_start;
    copy->m_header = m_header;
    copy->m_packedEnd = m_packedEnd;
    copy->m_size = m_size;
    copy->m_keys = m_keys;
    return copy;
}

// The packed streams keep their order; those an AES coder read shrink to
// what it put out, and the header after them says so.
bool SevenZipDecryptedView::plan(const SevenZipHeader &header, const QString &password)
{
    m_source = header;
    m_streams = header.streams();
    qint64 source = startSize + qint64(m_streams.packPosition);
    for (quint64 size : std::as_const(m_streams.packSizes)) {
        Segment segment;
        segment.sourceStart = source;
        segment.sourceSize = segment.size = qint64(size);
        m_segments.append(segment);
        source += qint64(size);
    }
    if (source > m_file->size())
        return false;
    qsizetype firstPacked = 0;
    for (Folder &folder : m_streams.folders) {
        m_encryptedFolders.append(hasAes(folder));
        while (hasAes(folder))
            if (!takeOutAes(&folder, firstPacked, password))
                return false;
        firstPacked += folder.packedStreams.size();
    }
    qint64 viewAt = startSize;
    for (qsizetype i = 0; i < m_segments.size(); ++i) {
        m_segments[i].viewStart = viewAt;
        m_streams.packSizes[i] = quint64(m_segments[i].size);
        viewAt += m_segments[i].size;
    }
    m_streams.packPosition = 0;
    m_packedEnd = viewAt;
    m_header = header.encode(m_streams);
    m_start = SevenZipHeader::startHeader(quint64(m_packedEnd - startSize), m_header);
    m_size = m_packedEnd + m_header.size();
    return true;
}

// The coder that AES fed now reads the packed stream itself, and every
// stream number after AES's own moves down by one. AES must read a packed
// stream directly, as 7-Zip always writes it.
bool SevenZipDecryptedView::takeOutAes(Folder *folder, qsizetype firstPacked, const QString &password)
{
    const auto coders = folder->coders;
    const qsizetype coder =
        std::find_if(coders.cbegin(), coders.cend(),
                     [](const SevenZipHeader::Coder &c) { return c.method == SevenZipAesCoder::methodId; }) -
        coders.cbegin();
    const auto [firstIn, firstOut] = streamsOf(*folder, coder);
    // Copies: the lambda below captures out, and clang captures no structured binding.
    const quint64 in = firstIn, out = firstOut;
    const qsizetype packed = folder->packedStreams.indexOf(in);
    const auto aes = SevenZipAesCoder::fromProperties(coders.at(coder).properties);
    if (packed < 0 || firstPacked + packed >= m_segments.size() || !aes || out >= quint64(folder->unpackSizes.size()))
        return false;
    Segment &segment = m_segments[firstPacked + packed];
    if (segment.sourceSize % blockSize != 0 || folder->unpackSizes.at(out) > quint64(segment.sourceSize))
        return false;
    segment.size = qint64(folder->unpackSizes.at(out));
    segment.aes = aes;
    QByteArray &key = m_keys[aes->keyIdentity()];
    if (key.isEmpty())
        key = aes->key(password);
    segment.key = key;

    const qsizetype fed = std::find_if(folder->bindPairs.cbegin(), folder->bindPairs.cend(),
                                       [out](const SevenZipHeader::BindPair &pair) { return pair.out == out; }) -
                          folder->bindPairs.cbegin();
    if (fed == folder->bindPairs.size()) {
        if (folder->coders.size() != 1)
            return false;
        folder->coders[0] = SevenZipHeader::Coder{QByteArray(1, '\0'), {}, 1, 1}; // decrypted: stored as it is
        return true;
    }
    folder->packedStreams[packed] = folder->bindPairs.at(fed).in;
    folder->bindPairs.removeAt(fed);
    for (SevenZipHeader::BindPair &pair : folder->bindPairs) {
        pair.in -= pair.in > in;
        pair.out -= pair.out > out;
    }
    for (quint64 &stream : folder->packedStreams)
        stream -= stream > in;
    folder->unpackSizes.removeAt(qsizetype(out));
    folder->coders.removeAt(coder);
    return true;
}

qint64 SevenZipDecryptedView::read(qint64 offset, char *data, qint64 size)
{
    if (offset < 0 || size < 0)
        return -1;
    if (offset >= m_size)
        return 0;
    size = std::min({size, m_size - offset, largestRead});
    if (offset < startSize) {
        size = std::min(size, startSize - offset);
        std::memcpy(data, m_start.constData() + offset, size_t(size));
        return size;
    }
    if (offset >= m_packedEnd) {
        std::memcpy(data, m_header.constData() + (offset - m_packedEnd), size_t(size));
        return size;
    }
    const auto after = std::upper_bound(m_segments.cbegin(), m_segments.cend(), offset,
                                        [](qint64 at, const Segment &segment) { return at < segment.viewStart; });
    const Segment &segment = *(after - 1);
    const qint64 at = offset - segment.viewStart;
    return readSegment(segment, at, data, std::min(size, segment.size - at));
}

// CBC: each block decrypts with the cipher block before it, so any range
// can be read on its own.
qint64 SevenZipDecryptedView::readSegment(const Segment &segment, qint64 at, char *data, qint64 size)
{
    if (!segment.aes)
        return m_file->read(segment.sourceStart + at, data, size) ? size : -1;
    const qint64 first = at / blockSize * blockSize;
    const qint64 end = std::min((at + size + blockSize - 1) / blockSize * blockSize, segment.sourceSize);
    const qint64 from = segment.sourceStart + first - (first > 0 ? blockSize : 0);
    QByteArray cipher = m_file->read(from, segment.sourceStart + end - from);
    if (cipher.size() != segment.sourceStart + end - from)
        return -1;
    const QByteArray before = first > 0 ? cipher.left(blockSize) : QByteArray();
    if (first > 0)
        cipher.remove(0, blockSize);
    if (!segment.aes->decrypt(segment.key, &cipher, before))
        return -1;
    std::memcpy(data, cipher.constData() + (at - first), size_t(size));
    return size;
}
