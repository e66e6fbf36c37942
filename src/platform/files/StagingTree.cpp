#include "platform/files/StagingTree.h"

#include "platform/files/ProcessUmask.h"
#include "platform/files/UniqueName.h"
#include "platform/errors/XADException.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr qsizetype maximumOpenFolders = 64;
constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int errorForErrno(int error)
{
    return error == ENAMETOOLONG ? XADPathTooLongError : XADWriteError;
}

// The owner must be able to fill and later remove what is made here.
void keepOwnerAccess(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) == 0 && (st.st_mode & S_IRWXU) != S_IRWXU)
        ::fchmod(fd, (st.st_mode & 0777) | S_IRWXU);
}

} // namespace

StagingTree::StagingTree(int rootFd) : m_root(rootFd) {}

int StagingTree::parentFolder(const QStringList &path, bool create, int *fd)
{
    return walk(path, path.size() - 1, create, fd);
}

int StagingTree::folder(const QStringList &path, bool create, int *fd)
{
    return walk(path, path.size(), create, fd);
}

QString StagingTree::actualPath(const QStringList &path, qsizetype count) const
{
    QString key;
    QString actual;
    for (qsizetype i = 0; i < count && i < path.size(); ++i) {
        key = i == 0 ? path.at(0) : key + u'/' + path.at(i);
        const QString name = m_renamed.value(key, path.at(i));
        actual = i == 0 ? name : actual + u'/' + name;
    }
    return actual;
}

int StagingTree::walk(const QStringList &path, qsizetype count, bool create, int *fd)
{
    *fd = m_root;
    if (count <= 0)
        return XADNoError;
    if (m_open.size() > maximumOpenFolders)
        m_open.clear();
    QStringList keys;
    keys.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        keys.append(i == 0 ? path.at(0) : keys.last() + u'/' + path.at(i));

    qsizetype start = 0;
    for (qsizetype i = count - 1; i >= 0; --i) {
        if (const auto cached = m_open.value(keys.at(i))) {
            *fd = cached->get();
            start = i + 1;
            break;
        }
    }
    for (qsizetype i = start; i < count; ++i) {
        auto child = std::make_shared<UniqueFd>();
        if (const int error = openChild(*fd, keys.at(i), path.at(i), create, child.get()))
            return error;
        *fd = child->get();
        m_open.insert(keys.at(i), std::move(child));
    }
    return XADNoError;
}

int StagingTree::openChild(int parentFd, const QString &key, const QString &component, bool create,
                           UniqueFd *child)
{
    const QString name = m_renamed.value(key, component);
    const QByteArray native = name.toUtf8();
    for (int attempt = 0; attempt < 2; ++attempt) {
        child->reset(::openat(parentFd, native.constData(), folderFlags));
        if (child->isValid())
            return XADNoError;
        const int error = errno;
        if (error == ENOENT) {
            if (!create)
                return XADCorruptError;
            if (::mkdirat(parentFd, native.constData(), 0777) != 0 && errno != EEXIST)
                return errorForErrno(errno);
            child->reset(::openat(parentFd, native.constData(), folderFlags));
            if (child->isValid()) {
                keepOwnerAccess(child->get());
                return XADNoError;
            }
            continue;
        }
        if (error != ELOOP && error != ENOTDIR)
            return errorForErrno(error);
        struct stat st;
        if (::fstatat(parentFd, native.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
            return XADUnsafePathError; // the way goes through a link the archive made
        if (!create)
            return XADCorruptError;
        return makeRenamedFolder(parentFd, key, name, child);
    }
    return XADWriteError;
}

// A file already has the folder's name: the folder gets the next free
// variant, and every later entry below it goes there too.
int StagingTree::makeRenamedFolder(int parentFd, const QString &key, const QString &name, UniqueFd *child)
{
    const QString taken = UniqueName::probe(name, true, 2, [&](const QString &candidate) {
        return ::mkdirat(parentFd, candidate.toUtf8().constData(), 0777) == 0;
    });
    if (taken.isNull())
        return errorForErrno(errno);
    child->reset(::openat(parentFd, taken.toUtf8().constData(), folderFlags));
    if (!child->isValid())
        return XADWriteError;
    keepOwnerAccess(child->get());
    m_renamed.insert(key, taken);
    return XADNoError;
}

void StagingTree::deferFolderMetadata(const QStringList &path, mode_t mode, const timespec *mtime)
{
    Pending pending;
    pending.path = path;
    pending.mode = mode;
    pending.hasTime = mtime != nullptr;
    if (mtime)
        pending.mtime = *mtime;
    m_pending.insert(path.join(u'/'), pending);
}

void StagingTree::applyFolderMetadata()
{
    const mode_t mask = ProcessUmask::value();
    for (const Pending &pending : std::as_const(m_pending)) {
        int fd = -1;
        if (walk(pending.path, pending.path.size(), false, &fd) != XADNoError)
            continue;
        ::fchmod(fd, ((pending.mode & 0777) | S_IRWXU) & ~mask);
        if (pending.hasTime) {
            const timespec times[2] = {{0, UTIME_OMIT}, pending.mtime};
            ::futimens(fd, times);
        }
    }
    m_pending.clear();
    m_open.clear();
}
