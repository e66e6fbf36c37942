#include "platform/files/EntryWriter.h"

#include "platform/files/BlockSource.h"
#include "platform/files/PositionalWrite.h"
#include "platform/files/ProcessUmask.h"
#include "platform/files/UniqueFd.h"
#include "platform/files/UniqueName.h"
#include "platform/errors/XADException.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

int errorForErrno(int error)
{
    return error == ENAMETOOLONG ? XADPathTooLongError : XADWriteError;
}

// The owner keeps read access, so the result can always be copied and
// opened; set-id and sticky bits never survive.
mode_t fileMode(const EntryMetadata &meta)
{
    return (meta.mode & 0777) | S_IRUSR;
}

// The file was made read-only by an earlier entry, which the archive may
// well have meant; the data still has to go in.
UniqueFd openLinkedFileForData(int parentFd, const QByteArray &name)
{
    const int flags = O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
    UniqueFd fd(::openat(parentFd, name.constData(), flags));
    if (!fd.isValid() && errno == EACCES) {
        struct stat st;
        if (::fstatat(parentFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
            ::fchmodat(parentFd, name.constData(), (st.st_mode & 0777) | S_IWUSR, AT_SYMLINK_NOFOLLOW);
            fd.reset(::openat(parentFd, name.constData(), flags));
        }
    }
    return fd;
}

void setTimes(int fd, const EntryMetadata &meta)
{
    if (!meta.hasMtime)
        return;
    const timespec times[2] = {{0, UTIME_OMIT}, meta.mtime};
    ::futimens(fd, times);
}

// Where openat2 is missing or filtered out: one component at a time, none
// of them followed if it is a symlink.
UniqueFd openByComponents(int rootFd, const QByteArray &path)
{
    const QList<QByteArray> parts = path.split('/');
    UniqueFd folder(::fcntl(rootFd, F_DUPFD_CLOEXEC, 0));
    for (qsizetype i = 0; folder.isValid() && i + 1 < parts.size(); ++i)
        folder.reset(::openat(folder.get(), parts.at(i).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.isValid())
        return folder;
    return UniqueFd(::openat(folder.get(), parts.constLast().constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
}

// Opens a file this run made, by its path below the root, refusing any
// symlink on the way: nothing may lead a write out of the tree.
UniqueFd openBeneath(int rootFd, const QString &relativePath)
{
    const QByteArray path = relativePath.toUtf8();
    open_how how{};
    how.flags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV;
    for (;;) {
        const long fd = ::syscall(SYS_openat2, rootFd, path.constData(), &how, sizeof how);
        if (fd >= 0)
            return UniqueFd(int(fd));
        if (errno == ENOSYS || errno == EPERM)
            return openByComponents(rootFd, path);
        if (errno != EINTR)
            return UniqueFd();
    }
}

} // namespace

EntryWriter::EntryWriter(int rootFd, OriginMetadata origin)
    : m_tree(rootFd), m_origin(std::move(origin)), m_rootFd(rootFd)
{
}

int EntryWriter::writeFolder(const QStringList &path, const EntryMetadata &meta, QString *writtenAs)
{
    int fd = -1;
    if (const int error = m_tree.folder(path, true, &fd))
        return error;
    m_tree.deferFolderMetadata(path, meta.mode, meta.hasMtime ? &meta.mtime : nullptr);
    *writtenAs = m_tree.actualPath(path, path.size());
    return XADNoError;
}

int EntryWriter::writeFile(const QStringList &path, const EntryMetadata &meta, BlockSource &data,
                           QString *writtenAs)
{
    int parentFd = -1;
    if (const int error = m_tree.parentFolder(path, true, &parentFd))
        return error;
    UniqueFd fd;
    QString name;
    const int created = createUnique(path.join(u'/'), path.last(), [&](const QByteArray &candidate) {
        fd.reset(::openat(parentFd, candidate.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, fileMode(meta)));
        return fd.isValid();
    }, &name);
    if (created)
        return created;
    if (const int error = fillFile(parentFd, name, std::move(fd), meta, data))
        return error;
    remember(path, name, writtenAs);
    return XADNoError;
}

int EntryWriter::reserveFile(const QStringList &path, const EntryMetadata &meta, QString *writtenAs)
{
    int parentFd = -1;
    if (const int error = m_tree.parentFolder(path, true, &parentFd))
        return error;
    QString name;
    // Writable until filled; its own mode comes with its data.
    const mode_t mode = fileMode(meta) | S_IWUSR;
    const int created = createUnique(path.join(u'/'), path.last(), [&](const QByteArray &candidate) {
        const UniqueFd fd(::openat(parentFd, candidate.constData(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        return fd.isValid();
    }, &name);
    if (created)
        return created;
    remember(path, name, writtenAs);
    return XADNoError;
}

int EntryWriter::fillReserved(const QString &writtenAs, const EntryMetadata &meta, BlockSource &data) const
{
    UniqueFd fd = openBeneath(m_rootFd, writtenAs);
    if (!fd.isValid())
        return errorForErrno(errno);
    if (const int error = writeData(fd.get(), meta, data))
        return error;
    if (!(fileMode(meta) & S_IWUSR))
        ::fchmod(fd.get(), fileMode(meta) & ~ProcessUmask::value());
    return finishFile(fd.release(), meta);
}

// Writes the entry's data into a file just made and closes it. A file that
// could not be completed is removed: half a file is worse than none.
int EntryWriter::fillFile(int parentFd, const QString &name, UniqueFd fd, const EntryMetadata &meta,
                          BlockSource &data)
{
    int error = fd.isValid() ? writeData(fd.get(), meta, data) : XADWriteError;
    if (!error)
        error = finishFile(fd.release(), meta);
    if (error)
        ::unlinkat(parentFd, name.toUtf8().constData(), 0);
    return error;
}

int EntryWriter::writeSymlink(const QStringList &path, const QByteArray &target, const EntryMetadata &meta,
                              QString *writtenAs)
{
    if (target.isEmpty())
        return XADCorruptError;
    int parentFd = -1;
    if (const int error = m_tree.parentFolder(path, true, &parentFd))
        return error;
    QString name;
    const int created = createUnique(path.join(u'/'), path.last(), [&](const QByteArray &candidate) {
        return ::symlinkat(target.constData(), parentFd, candidate.constData()) == 0;
    }, &name);
    if (created)
        return created;
    if (meta.hasMtime) {
        const timespec times[2] = {{0, UTIME_OMIT}, meta.mtime};
        ::utimensat(parentFd, name.toUtf8().constData(), times, AT_SYMLINK_NOFOLLOW);
    }
    remember(path, name, writtenAs);
    return XADNoError;
}

int EntryWriter::writeHardlink(const QStringList &path, const QStringList &target, const EntryMetadata &meta,
                               BlockSource &data, QString *writtenAs)
{
    // Only what this run wrote can be linked to: anything else, reached
    // through a symlink or not there at all, is not ours to link.
    const auto written = m_written.constFind(target.join(u'/'));
    if (written == m_written.constEnd())
        return XADUnsafePathError;
    int targetParent = -1;
    const QStringList targetFolder = written->parent.isEmpty() ? QStringList() : written->parent.split(u'/');
    if (const int error = m_tree.folder(targetFolder, false, &targetParent))
        return error;
    const UniqueFd targetFolderFd(::fcntl(targetParent, F_DUPFD_CLOEXEC, 0));
    int parentFd = -1;
    if (!targetFolderFd.isValid())
        return XADWriteError;
    if (const int error = m_tree.parentFolder(path, true, &parentFd))
        return error;
    const QByteArray targetName = written->name.toUtf8();
    QString name;
    const int created = createUnique(path.join(u'/'), path.last(), [&](const QByteArray &candidate) {
        return ::linkat(targetFolderFd.get(), targetName.constData(), parentFd, candidate.constData(), 0) == 0;
    }, &name);
    if (created)
        return created;
    // Some formats (cpio) carry the data of linked files with the last link.
    if (meta.size > 0) {
        UniqueFd fd = openLinkedFileForData(parentFd, name.toUtf8());
        if (fd.isValid())
            ::fchmod(fd.get(), fileMode(meta) & ~ProcessUmask::value());
        if (const int error = fillFile(parentFd, name, std::move(fd), meta, data))
            return error;
    }
    remember(path, name, writtenAs);
    return XADNoError;
}

void EntryWriter::finish()
{
    m_tree.applyFolderMetadata();
}

// Variants are tried from the last one this path got, so an archive that
// repeats one name many times does not probe every variant again each time.
int EntryWriter::createUnique(const QString &key, const QString &name,
                              const std::function<bool(const QByteArray &)> &make, QString *actualName)
{
    int number = 1;
    const QString taken = UniqueName::probe(name, false, m_lastVariant.value(key, 1),
                                            [&](const QString &candidate) { return make(candidate.toUtf8()); },
                                            &number);
    if (taken.isNull())
        return errorForErrno(errno);
    if (number > 1)
        m_lastVariant.insert(key, number);
    *actualName = taken;
    return XADNoError;
}

// Data past the size the archive declared is dropped. Data that ends early
// is extended to that size when it ends in a sparse file's hole, taken as it
// is when its checksum vouched for it, and refused otherwise.
int EntryWriter::writeData(int fd, const EntryMetadata &meta, BlockSource &data)
{
    const qint64 limit = meta.size >= 0 ? meta.size : std::numeric_limits<qint64>::max();
    qint64 end = 0;
    const void *block = nullptr;
    size_t size = 0;
    qint64 offset = 0;
    int error = XADNoError;
    while (data.nextBlock(&block, &size, &offset, &error)) {
        if (offset >= limit || size == 0)
            continue;
        const size_t usable = size_t(qMin<qint64>(qint64(size), limit - offset));
        if (!PositionalWrite::all(fd, static_cast<const char *>(block), usable, off_t(offset)))
            return XADWriteError;
        end = qMax(end, offset + qint64(usable));
    }
    if (error)
        return error;
    if (meta.size <= end || meta.shortData == EntryMetadata::ShortData::End)
        return XADNoError;
    if (meta.shortData == EntryMetadata::ShortData::Truncated)
        return XADTruncatedError;
    return ::ftruncate(fd, off_t(meta.size)) == 0 ? XADNoError : XADWriteError;
}

// Takes the descriptor over; closing reports late write errors (full disk
// on network file systems).
int EntryWriter::finishFile(int fd, const EntryMetadata &meta) const
{
    UniqueFd owned(fd);
    m_origin.applyTo(fd);
    setTimes(fd, meta);
    return ::close(owned.release()) == 0 ? XADNoError : XADWriteError;
}

void EntryWriter::remember(const QStringList &path, const QString &actualName, QString *writtenAs)
{
    const QStringList parent = path.mid(0, path.size() - 1);
    m_written.insert(path.join(u'/'), Written{parent.join(u'/'), actualName});
    const QString folder = m_tree.actualPath(parent, parent.size());
    *writtenAs = folder.isEmpty() ? actualName : folder + u'/' + actualName;
}
