#include "platform/settings/SecurityBookmark.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

constexpr quint32 BookmarkMagic = 0x51584246; // "QXBF"
constexpr quint8 BookmarkVersion = 1;

struct Identity {
    quint64 device = 0;
    quint64 inode = 0;
    bool hasBirth = false;
    qint64 birthSeconds = 0;
    quint32 birthNanoseconds = 0;
};

struct Bookmark {
    QString path;
    Identity identity;
};

// Follows symbolic links: the identity is that of the object the path leads to.
std::optional<Identity> identityAtPath(const QString &path)
{
    struct statx info {};
    const QByteArray native = QFile::encodeName(path);
    if (statx(AT_FDCWD, native.constData(), 0, STATX_INO | STATX_BTIME, &info) != 0)
        return std::nullopt;
    Identity identity;
    identity.device = makedev(info.stx_dev_major, info.stx_dev_minor);
    identity.inode = info.stx_ino;
    identity.hasBirth = (info.stx_mask & STATX_BTIME) != 0;
    if (identity.hasBirth) {
        identity.birthSeconds = info.stx_btime.tv_sec;
        identity.birthNanoseconds = info.stx_btime.tv_nsec;
    }
    return identity;
}

// Inode numbers are reused once freed, so the birth time tells a folder made
// again at the same path apart even when it got the old number back.
bool isSameObject(const Identity &recorded, const Identity &found)
{
    if (recorded.device != found.device || recorded.inode != found.inode)
        return false;
    if (recorded.hasBirth && found.hasBirth)
        return recorded.birthSeconds == found.birthSeconds
               && recorded.birthNanoseconds == found.birthNanoseconds;
    return true;
}

bool isCleanAbsolutePath(const QString &path)
{
    return !path.isEmpty() && QDir::isAbsolutePath(path) && QDir::cleanPath(path) == path;
}

QByteArray encode(const Bookmark &bookmark)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    const Identity &id = bookmark.identity;
    out << BookmarkMagic << BookmarkVersion << bookmark.path << id.device << id.inode
        << id.hasBirth << id.birthSeconds << id.birthNanoseconds;
    return data;
}

std::optional<Bookmark> decode(const QByteArray &data)
{
    QDataStream in(data);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    quint8 version = 0;
    in >> magic >> version;
    if (in.status() != QDataStream::Ok || magic != BookmarkMagic || version != BookmarkVersion)
        return std::nullopt;
    Bookmark bookmark;
    Identity &id = bookmark.identity;
    in >> bookmark.path >> id.device >> id.inode >> id.hasBirth >> id.birthSeconds
        >> id.birthNanoseconds;
    if (in.status() != QDataStream::Ok || !in.atEnd() || !isCleanAbsolutePath(bookmark.path))
        return std::nullopt;
    return bookmark;
}

} // namespace

QByteArray SecurityBookmark::bookmarkData(const QUrl &url)
{
    if (!url.isLocalFile())
        return QByteArray();
    const QString local = url.toLocalFile();
    if (!QDir::isAbsolutePath(local))
        return QByteArray();
    const QString path = QDir::cleanPath(local);
    const std::optional<Identity> identity = identityAtPath(path);
    if (!identity)
        return QByteArray();
    return encode(Bookmark{path, *identity});
}

QUrl SecurityBookmark::URLByResolvingBookmarkData(const QByteArray &data, bool *isStale)
{
    if (isStale)
        *isStale = false;
    const std::optional<Bookmark> bookmark = decode(data);
    if (!bookmark)
        return QUrl();
    const std::optional<Identity> found = identityAtPath(bookmark->path);
    if (!found)
        return QUrl();
    if (isStale)
        *isStale = !isSameObject(bookmark->identity, *found);
    return QUrl::fromLocalFile(bookmark->path);
}

bool SecurityBookmark::startAccessingSecurityScopedResource(const QUrl &)
{
    return true;
}

void SecurityBookmark::stopAccessingSecurityScopedResource(const QUrl &)
{
}
