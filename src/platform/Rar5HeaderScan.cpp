#include "Rar5HeaderScan.h"

#include <QFile>
#include <limits>

namespace {

const QByteArray signature("Rar!\x1a\x07\x01\x00", 8);
// Self-extracting archives put their program in front of the signature.
constexpr qint64 signatureSearchLimit = 4 << 20;
// The format caps a block header at 2 MB.
constexpr quint64 maximumHeaderSize = 2 << 20;
constexpr quint64 fileHeaderType = 2;
constexpr quint64 endOfArchiveType = 5;
constexpr quint64 encryptionRecordType = 1;
constexpr quint64 hasExtraArea = 0x1;
constexpr quint64 hasDataArea = 0x2;
constexpr quint64 fileHasTime = 0x2;
constexpr quint64 fileHasCrc = 0x4;

} // namespace

// Reads little-endian fields and RAR's variable-length integers from a
// buffer; any read past its end sets failed and yields 0.
class Rar5HeaderScan::Cursor {
public:
    explicit Cursor(QByteArray data) : m_data(std::move(data)) {}

    quint64 vint()
    {
        quint64 value = 0;
        for (int shift = 0; shift < 70; shift += 7) {
            if (m_at >= m_data.size())
                break;
            const auto byte = quint8(m_data.at(m_at++));
            value |= quint64(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return value;
        }
        m_failed = true;
        return 0;
    }
    QByteArray bytes(quint64 count)
    {
        if (count > quint64(m_data.size() - m_at)) {
            m_failed = true;
            return {};
        }
        const QByteArray part = m_data.mid(m_at, qsizetype(count));
        m_at += qsizetype(count);
        return part;
    }
    void skip(quint64 count) { bytes(count); }
    qsizetype remaining() const { return m_data.size() - m_at; }
    bool failed() const { return m_failed; }

private:
    QByteArray m_data;
    qsizetype m_at = 0;
    bool m_failed = false;
};

QSet<QByteArray> Rar5HeaderScan::encryptedNames(const VolumeSet &volumes)
{
    QSet<QByteArray> names;
    for (const QString &path : volumes.paths())
        scanVolume(path, &names);
    return names;
}

void Rar5HeaderScan::scanVolume(const QString &path, QSet<QByteArray> *names)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const qsizetype start = file.peek(signatureSearchLimit).indexOf(signature);
    if (start < 0)
        return;
    qint64 at = start + signature.size();
    while (file.seek(at)) {
        const QByteArray prefix = file.read(4 + 3);
        Cursor sizeField(prefix.mid(4));
        const quint64 headerSize = sizeField.vint();
        if (prefix.size() < 5 || sizeField.failed() || headerSize == 0 || headerSize > maximumHeaderSize)
            return;
        const qint64 headerStart = at + 4 + (prefix.size() - 4 - sizeField.remaining());
        if (!file.seek(headerStart))
            return;
        Cursor header(file.read(qint64(headerSize)));
        const quint64 type = header.vint();
        const quint64 flags = header.vint();
        const quint64 extraSize = (flags & hasExtraArea) ? header.vint() : 0;
        const quint64 dataSize = (flags & hasDataArea) ? header.vint() : 0;
        if (header.failed() || type == endOfArchiveType)
            return;
        QByteArray name;
        if (type == fileHeaderType && fileHeaderIsEncrypted(header, extraSize, &name))
            names->insert(name);
        const qint64 next = headerStart + qint64(headerSize) + qint64(dataSize);
        if (next <= at || dataSize > quint64(std::numeric_limits<qint64>::max() / 2))
            return;
        at = next;
    }
}

bool Rar5HeaderScan::fileHeaderIsEncrypted(Cursor header, quint64 extraSize, QByteArray *name)
{
    const quint64 fileFlags = header.vint();
    header.vint(); // unpacked size
    header.vint(); // attributes
    if (fileFlags & fileHasTime)
        header.skip(4);
    if (fileFlags & fileHasCrc)
        header.skip(4);
    header.vint(); // compression
    header.vint(); // host system
    *name = header.bytes(header.vint());
    if (header.failed() || quint64(header.remaining()) < extraSize)
        return false;
    header.skip(quint64(header.remaining()) - extraSize);
    while (header.remaining() > 0 && !header.failed()) {
        const quint64 size = header.vint();
        if (size == 0 || size > quint64(header.remaining()))
            return false;
        Cursor record(header.bytes(size));
        if (record.vint() == encryptionRecordType)
            return true;
    }
    return false;
}
