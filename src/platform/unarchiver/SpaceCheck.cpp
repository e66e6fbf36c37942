#include "platform/unarchiver/SpaceCheck.h"

#include <QFile>
#include <mutex>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

std::mutex sourceMutex;
SpaceCheck::FreeSpaceSource injectedSource;

qint64 statvfsFreeSpace(const QString &path)
{
    struct statvfs fs;
    if (::statvfs(QFile::encodeName(path).constData(), &fs) != 0)
        return -1;
    return qint64(fs.f_bavail) * qint64(fs.f_frsize);
}

} // namespace

// No margin is added to the declared size: what a file system spends beyond
// the bytes (whole blocks per file, folders, metadata) depends on the number
// of files and on the file system, which a fixed margin would guess wrong in
// both directions, and refusing an archive that would have fit cannot be
// overridden. The check catches archives far too large; one that runs out
// of space at the very end still fails cleanly, as any write error does.
std::optional<SpaceCheck::Shortfall> SpaceCheck::check(qint64 declaredSize, const QString &tmpFolder,
                                                       const QString &destination)
{
    if (declaredSize < 0)
        return std::nullopt;
    if (auto shortfall = compare(declaredSize, tmpFolder))
        return shortfall;
    if (onSeparateFileSystems(tmpFolder, destination))
        return compare(declaredSize, destination);
    return std::nullopt;
}

void SpaceCheck::setFreeSpaceSource(FreeSpaceSource source)
{
    const std::lock_guard lock(sourceMutex);
    injectedSource = std::move(source);
}

qint64 SpaceCheck::freeSpace(const QString &path)
{
    FreeSpaceSource source;
    {
        const std::lock_guard lock(sourceMutex);
        source = injectedSource;
    }
    return source ? source(path) : statvfsFreeSpace(path);
}

std::optional<SpaceCheck::Shortfall> SpaceCheck::compare(qint64 needed, const QString &folder)
{
    const qint64 available = freeSpace(folder);
    if (available < 0 || needed <= available)
        return std::nullopt;
    return Shortfall{folder, needed, available};
}

// A destination that cannot be looked at is not checked: the move there
// fails on its own and keeps the result.
bool SpaceCheck::onSeparateFileSystems(const QString &a, const QString &b)
{
    struct stat first;
    struct stat second;
    if (::stat(QFile::encodeName(a).constData(), &first) != 0
        || ::stat(QFile::encodeName(b).constData(), &second) != 0)
        return false;
    return first.st_dev != second.st_dev;
}
