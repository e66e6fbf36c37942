#include "platform/engine/formats/SplitArchiveCheck.h"

#include "platform/engine/formats/ByteCursor.h"
#include "platform/errors/XADException.h"

#include <QFile>

namespace {

const QByteArray sevenZipSignature("7z\xbc\xaf\x27\x1c", 6);
constexpr qint64 sevenZipStartHeaderSize = 32;
const QByteArray zipLocalHeader("PK\x03\x04", 4);
const QByteArray zipEndRecord("PK\x05\x06", 4);
// The end record and the longest comment it may carry.
constexpr qint64 zipEndSearch = 22 + 0xffff;

QByteArray readAt(const QString &path, qint64 offset, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(qMax<qint64>(0, offset)))
        return {};
    return file.read(size);
}

} // namespace

int SplitArchiveCheck::check(const VolumeSet &volumes, QString *subject)
{
    const QString first = volumes.paths().value(0);
    const QString nextPart = volumes.expectedPath(volumes.count());
    if (const qint64 needed = sevenZipLength(first); needed > volumes.totalSize()) {
        *subject = nextPart.isNull() ? first : nextPart;
        return nextPart.isNull() ? XADTruncatedError : XADMissingVolumeError;
    }
    if (!nextPart.isNull() && readAt(first, 0, 4) == zipLocalHeader && !zipEndIsThere(volumes)) {
        *subject = nextPart;
        return XADMissingVolumeError;
    }
    return XADNoError;
}

// The start header says where the archive's own header lies and how long
// it is; the archive ends with it. -1 for anything else.
qint64 SplitArchiveCheck::sevenZipLength(const QString &firstPath)
{
    ByteCursor start(readAt(firstPath, 0, sevenZipStartHeaderSize));
    if (start.bytes(6) != sevenZipSignature)
        return -1;
    start.skip(2 + 4); // version, start header CRC
    const quint64 offset = start.u32() | (quint64(start.u32()) << 32);
    const quint64 size = start.u32() | (quint64(start.u32()) << 32);
    if (start.failed() || offset > quint64(1) << 62 || size > quint64(1) << 62)
        return -1;
    return sevenZipStartHeaderSize + qint64(offset) + qint64(size);
}

// The end record may straddle the last two parts when the last is tiny.
bool SplitArchiveCheck::zipEndIsThere(const VolumeSet &volumes)
{
    QByteArray tail;
    for (qsizetype index = volumes.count() - 1; index >= 0 && tail.size() < zipEndSearch; --index) {
        const qint64 wanted = zipEndSearch - tail.size();
        const qint64 size = volumes.size(index);
        tail.prepend(readAt(volumes.paths().at(index), size - wanted, wanted));
    }
    return tail.contains(zipEndRecord);
}
