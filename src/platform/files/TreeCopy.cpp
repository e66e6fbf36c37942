#include "platform/files/TreeCopy.h"

#include "platform/files/FolderListing.h"
#include "platform/files/PositionalWrite.h"
#include "platform/files/TreeRemover.h"
#include "platform/files/UniqueFd.h"

#include <QByteArrayList>
#include <QFile>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What an entry of its own costs in the progress, besides its data.
constexpr qint64 entryUnits = 4096;
// Small enough that a stop is seen, and the progress moves, every few MiB.
constexpr off_t rangeChunk = off_t(8) << 20;

void splitPath(const QString &path, QByteArray *parent, QByteArray *name)
{
    QByteArray native = QFile::encodeName(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    const qsizetype slash = native.lastIndexOf('/');
    *parent = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : native.left(slash);
    *name = slash < 0 ? native : native.mid(slash + 1);
}

UniqueFd openFolder(const QByteArray &path)
{
    return UniqueFd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

UniqueFd openFolderAt(int parent, const QByteArray &name)
{
    return UniqueFd(::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

void keepTimes(int fd, const struct stat &st)
{
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(fd, times);
}

// The next stretch of data at or after `offset`, as [*start, *end) within
// `size`; an empty stretch at `size` when only a hole is left.
bool nextDataStretch(int fd, off_t offset, off_t size, off_t *start, off_t *end)
{
    const off_t data = ::lseek(fd, offset, SEEK_DATA);
    if (data < 0) {
        // A file system that keeps no map of its holes says EINVAL; all of
        // the rest is data then.
        if (errno != ENXIO && errno != EINVAL)
            return false;
        *start = errno == ENXIO ? size : offset;
        *end = size;
        return true;
    }
    const off_t hole = ::lseek(fd, data, SEEK_HOLE);
    if (hole < 0)
        return false;
    *start = qMin(data, size);
    *end = qMin(hole, size);
    return true;
}

} // namespace

bool TreeCopy::copy(const QString &from, const QString &to, const Progress &progress)
{
    QByteArray srcParent, srcName, dstParent, dstName;
    splitPath(from, &srcParent, &srcName);
    splitPath(to, &dstParent, &dstName);
    if (srcName.isEmpty() || dstName.isEmpty())
        return false;
    UniqueFd src = openFolder(srcParent);
    UniqueFd dst = openFolder(dstParent);
    if (!src.isValid() || !dst.isValid())
        return false;
    struct stat st;
    if (::fstatat(dst.get(), dstName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT)
        return false;
    TreeCopy copier(dst.get(), progress);
    if (progress) {
        QSet<Inode> linkedSeen;
        copier.m_total = weightAt(src.get(), srcName, &linkedSeen);
    }
    if (copier.advance(0) && copier.copyAt(src.get(), srcName, dst.get(), dstName, dstName))
        return true;
    // Only this copy could have made something at the target, which was
    // free a moment ago.
    TreeRemover::removeAt(dst.get(), dstName.constData());
    return false;
}

// The whole the progress is measured against: the data of each file (its
// allocated blocks, so holes count for nothing), once for files that share
// an inode, since later names of it are linked rather than copied.
qint64 TreeCopy::weightAt(int parent, const QByteArray &name, QSet<Inode> *linkedSeen)
{
    struct stat st;
    if (::fstatat(parent, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return 0;
    qint64 weight = entryUnits;
    if (S_ISREG(st.st_mode) && (st.st_nlink == 1 || !linkedSeen->contains({st.st_dev, st.st_ino}))) {
        linkedSeen->insert({st.st_dev, st.st_ino});
        weight += qMin<qint64>(st.st_size, qint64(st.st_blocks) * 512);
    }
    if (!S_ISDIR(st.st_mode))
        return weight;
    const UniqueFd folder = openFolderAt(parent, name);
    if (folder.isValid()) {
        for (const QByteArray &child : FolderListing::namesIn(folder.get()))
            weight += weightAt(folder.get(), child, linkedSeen);
    }
    return weight;
}

bool TreeCopy::advance(qint64 units)
{
    m_done += units;
    return !m_progress || m_progress(qMin(m_done, m_total), m_total);
}

bool TreeCopy::copyAt(int srcParent, const QByteArray &srcName, int dstParent,
                      const QByteArray &dstName, const QByteArray &dstRelative)
{
    struct stat st;
    if (::fstatat(srcParent, srcName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    bool copied = false;
    switch (st.st_mode & S_IFMT) {
    case S_IFDIR:
        copied = copyFolder(srcParent, srcName, dstParent, dstName, dstRelative, st);
        break;
    case S_IFREG:
        copied = copyFile(srcParent, srcName, dstParent, dstName, dstRelative, st);
        break;
    case S_IFLNK:
        copied = copySymlink(srcParent, srcName, dstParent, dstName, st);
        break;
    case S_IFIFO:
        copied = ::mkfifoat(dstParent, dstName.constData(), st.st_mode & 07777) == 0;
        break;
    default:
        return false; // devices and sockets cannot be made by a user
    }
    return copied && advance(entryUnits);
}

bool TreeCopy::copyFolder(int srcParent, const QByteArray &srcName, int dstParent,
                          const QByteArray &dstName, const QByteArray &dstRelative,
                          const struct stat &st)
{
    UniqueFd src = openFolderAt(srcParent, srcName);
    if (!src.isValid() || ::mkdirat(dstParent, dstName.constData(), S_IRWXU) != 0)
        return false;
    UniqueFd dst = openFolderAt(dstParent, dstName);
    if (!dst.isValid())
        return false;
    for (const QByteArray &name : FolderListing::namesIn(src.get())) {
        if (!copyAt(src.get(), name, dst.get(), name, dstRelative + '/' + name))
            return false;
    }
    // Permissions last: a read-only folder must be filled first.
    ::fchmod(dst.get(), st.st_mode & 07777);
    keepTimes(dst.get(), st);
    return true;
}

bool TreeCopy::copyFile(int srcParent, const QByteArray &srcName, int dstParent,
                        const QByteArray &dstName, const QByteArray &dstRelative,
                        const struct stat &st)
{
    const auto inode = qMakePair(st.st_dev, st.st_ino);
    if (st.st_nlink > 1) {
        const auto first = m_linkedCopies.constFind(inode);
        if (first != m_linkedCopies.constEnd()) {
            if (::linkat(m_targetRootFd, first->constData(), dstParent, dstName.constData(), 0) == 0)
                return true;
            // File systems without hard links (FAT on a memory stick) get a
            // copy of their own instead.
            if (errno != EPERM && errno != EMLINK && errno != EOPNOTSUPP)
                return false;
        }
    }
    UniqueFd src(::openat(srcParent, srcName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!src.isValid())
        return false;
    UniqueFd dst(::openat(dstParent, dstName.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (!dst.isValid() || !copyContents(src.get(), dst.get()))
        return false;
    ::fchmod(dst.get(), st.st_mode & 07777);
    keepTimes(dst.get(), st);
    if (st.st_nlink > 1)
        m_linkedCopies.insert(inode, dstRelative);
    return ::close(dst.release()) == 0;
}

bool TreeCopy::copySymlink(int srcParent, const QByteArray &srcName, int dstParent,
                           const QByteArray &dstName, const struct stat &st)
{
    QByteArray target(qMax<qsizetype>(st.st_size, 255) + 1, Qt::Uninitialized);
    const ssize_t length = ::readlinkat(srcParent, srcName.constData(), target.data(), size_t(target.size()));
    if (length < 0 || length >= target.size())
        return false;
    target.truncate(length);
    if (::symlinkat(target.constData(), dstParent, dstName.constData()) != 0)
        return false;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(dstParent, dstName.constData(), times, AT_SYMLINK_NOFOLLOW);
    return true;
}

// Only the data is copied, each stretch at its own offset, so the holes of
// a sparse file stay holes; the size is set last, which keeps a hole at the
// end a hole too.
bool TreeCopy::copyContents(int src, int dst)
{
    struct stat st;
    if (::fstat(src, &st) != 0)
        return false;
    for (off_t offset = 0; offset < st.st_size;) {
        off_t start = 0;
        off_t end = 0;
        if (!nextDataStretch(src, offset, st.st_size, &start, &end) || !copyRange(src, dst, start, end))
            return false;
        offset = end;
    }
    return ::ftruncate(dst, st.st_size) == 0;
}

// The kernel copies without a trip through user space where it can.
bool TreeCopy::copyRange(int src, int dst, off_t from, off_t to)
{
    off_t in = from;
    off_t out = from;
    while (in < to) {
        const size_t chunk = size_t(qMin<off_t>(to - in, rangeChunk));
        const ssize_t n = ::copy_file_range(src, &in, dst, &out, chunk, 0);
        if (n == 0)
            return true; // the file ended early; the final size still comes
        if (n > 0 && !advance(n))
            return false;
        if (n > 0 || errno == EINTR)
            continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return false;
        return copyRangeThroughBuffer(src, dst, in, to);
    }
    return true;
}

bool TreeCopy::copyRangeThroughBuffer(int src, int dst, off_t from, off_t to)
{
    QByteArray buffer(qsizetype(qMin<off_t>(to - from, 1 << 20)), Qt::Uninitialized);
    while (from < to) {
        const size_t wanted = size_t(qMin<off_t>(to - from, buffer.size()));
        const ssize_t got = ::pread(src, buffer.data(), wanted, from);
        if (got == 0)
            return true;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || !PositionalWrite::all(dst, buffer.constData(), size_t(got), from))
            return false;
        from += got;
        if (!advance(got))
            return false;
    }
    return true;
}
