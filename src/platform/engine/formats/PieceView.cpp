#include "platform/engine/formats/PieceView.h"

#include "platform/engine/formats/Aes.h"

#include <algorithm>
#include <cstring>

namespace {

// libarchive asks for blocks of its own size; a bigger request is served in
// pieces, so one read never holds much of the archive.
constexpr qint64 largestRead = qint64(1) << 20;

} // namespace

PieceView::PieceView(const VolumeSet &volumes) : m_file(volumes) {}

PieceView::PieceView(const PieceView &other)
    : DecryptedView(other), m_file(other.m_file.volumes()), m_parts(other.m_parts), m_keys(other.m_keys)
{
}

PieceView::Piece PieceView::heldBytes(const QByteArray &bytes)
{
    Piece piece;
    piece.size = bytes.size();
    piece.bytes = bytes;
    return piece;
}

PieceView::Piece PieceView::plainRange(qint64 sourceStart, qint64 size)
{
    Piece piece;
    piece.size = piece.sourceSize = size;
    piece.sourceStart = sourceStart;
    return piece;
}

void PieceView::append(qsizetype part, Piece piece)
{
    if (m_parts.size() <= part)
        m_parts.resize(part + 1);
    QList<Piece> &pieces = m_parts[part];
    piece.start = pieces.isEmpty() ? 0 : pieces.constLast().start + pieces.constLast().size;
    if (piece.size > 0)
        pieces.append(std::move(piece));
}

qint64 PieceView::partSize(qsizetype part) const
{
    if (part < 0 || part >= m_parts.size())
        return 0;
    const QList<Piece> &pieces = m_parts.at(part);
    return pieces.isEmpty() ? 0 : pieces.constLast().start + pieces.constLast().size;
}

qint64 PieceView::read(qsizetype part, qint64 offset, char *data, qint64 size)
{
    if (part < 0 || part >= m_parts.size() || offset < 0 || size < 0)
        return -1;
    const QList<Piece> &pieces = m_parts.at(part);
    if (offset >= partSize(part))
        return 0;
    const auto after = std::upper_bound(pieces.cbegin(), pieces.cend(), offset,
                                        [](qint64 at, const Piece &piece) { return at < piece.start; });
    const Piece &piece = *(after - 1);
    const qint64 at = offset - piece.start;
    return readPiece(part, piece, at, data, std::min({size, piece.size - at, largestRead}));
}

QByteArray PieceView::readVolume(qsizetype volume, qint64 offset, qint64 size)
{
    const VolumeSet &volumes = m_file.volumes();
    if (volume < 0 || volume >= volumes.count() || offset < 0 || size < 0 || offset + size > volumes.size(volume))
        return {};
    return m_file.read(volumes.offsetOf(volume) + offset, size);
}

// CBC: each block decrypts with the cipher block before it, so any range
// can be read on its own.
qint64 PieceView::readPiece(qsizetype part, const Piece &piece, qint64 at, char *data, qint64 size)
{
    if (piece.sourceSize == 0) {
        std::memcpy(data, piece.bytes.constData() + at, size_t(size));
        return size;
    }
    if (piece.cipher == Cipher::None) {
        const QByteArray plain = readVolume(part, piece.sourceStart + at, size);
        std::memcpy(data, plain.constData(), size_t(plain.size()));
        return plain.size() == size ? size : -1;
    }
    auto key = m_keys.constFind(piece.keySlot);
    if (key == m_keys.constEnd())
        key = m_keys.insert(piece.keySlot, keyFor(piece.keySlot));
    if (piece.cipher == Cipher::WinZipCounter)
        return counterDecrypted(part, piece, *key, at, data, size) ? size : -1;
    const QByteArray plain = decrypted(part, piece, *key, at, size);
    std::memcpy(data, plain.constData(), size_t(plain.size()));
    return plain.size() == size ? size : -1;
}

QByteArray PieceView::decrypted(qsizetype volume, const Piece &piece, const QByteArray &key, qint64 at, qint64 size)
{
    if (piece.cipher == Cipher::WinZipCounter) {
        QByteArray plain(size, Qt::Uninitialized);
        return counterDecrypted(volume, piece, key, at, plain.data(), size) ? plain : QByteArray();
    }
    constexpr qint64 block = Aes::blockSize;
    const qint64 first = at / block * block;
    const qint64 end = std::min((at + size + block - 1) / block * block, piece.sourceSize);
    if (key.isEmpty() || at < 0 || size <= 0 || at + size > end)
        return {};
    const qint64 from = piece.sourceStart + first - (first > 0 ? block : 0);
    QByteArray cipher = readVolume(volume, from, piece.sourceStart + end - from);
    if (cipher.isEmpty())
        return {};
    const QByteArray iv = first > 0 ? cipher.left(block) : piece.iv.isEmpty() ? ivFor(piece.keySlot) : piece.iv;
    const qint64 skip = first > 0 ? block : 0;
    if (!Aes::decryptCbc(key, iv, cipher.data() + skip, cipher.size() - skip))
        return {};
    return cipher.mid(skip + (at - first), size);
}

// Counter mode decrypts any block alone: the data is read straight into
// place, and only a block cut by the start of the range is read whole.
bool PieceView::counterDecrypted(qsizetype volume, const Piece &piece, const QByteArray &key, qint64 at, char *data,
                                 qint64 size)
{
    constexpr qint64 block = Aes::blockSize;
    if (key.isEmpty() || at < 0 || size <= 0 || at + size > piece.sourceSize)
        return false;
    const qint64 cut = at % block;
    if (cut != 0) {
        const qint64 head = std::min(size, block - cut);
        char first[block];
        if (!counterDecrypted(volume, piece, key, at - cut, first, std::min(block, piece.sourceSize - at + cut)))
            return false;
        std::memcpy(data, first + cut, size_t(head));
        return head == size || counterDecrypted(volume, piece, key, at + head, data + head, size - head);
    }
    const VolumeSet &set = m_file.volumes();
    return volume >= 0 && volume < set.count() && piece.sourceStart + at + size <= set.size(volume) &&
           m_file.read(set.offsetOf(volume) + piece.sourceStart + at, data, size) &&
           seeCipher(piece.keySlot, at, data, size) && Aes::applyWinZipCounter(key, quint64(at / block), data, size);
}
