#include "platform/files/TreeRemover.h"

#include "platform/files/FolderListing.h"
#include "platform/files/UniqueFd.h"

#include <QByteArrayList>
#include <QFile>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Folders that lost their owner permissions (an archive may say 0555) can
// still be emptied by their owner once those bits are back.
UniqueFd openFolderForRemoval(int parentFd, const char *name, mode_t mode)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    UniqueFd fd(::openat(parentFd, name, flags));
    if (!fd.isValid() && errno == EACCES) {
        ::fchmodat(parentFd, name, (mode & 07777) | S_IRWXU, AT_SYMLINK_NOFOLLOW);
        fd.reset(::openat(parentFd, name, flags));
    }
    if (fd.isValid() && (mode & S_IRWXU) != S_IRWXU)
        ::fchmod(fd.get(), (mode & 07777) | S_IRWXU);
    return fd;
}

} // namespace

bool TreeRemover::remove(const QString &path)
{
    QByteArray native = QFile::encodeName(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    const qsizetype slash = native.lastIndexOf('/');
    const QByteArray parent = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : native.left(slash);
    const QByteArray name = slash < 0 ? native : native.mid(slash + 1);
    if (name.isEmpty() || name == "." || name == "..")
        return false;
    UniqueFd parentFd(::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.isValid())
        return false;
    return removeAt(parentFd.get(), name.constData());
}

bool TreeRemover::removeAt(int parentFd, const char *name)
{
    struct stat st;
    if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return ::unlinkat(parentFd, name, 0) == 0 || errno == ENOENT;
    if (UniqueFd folder = openFolderForRemoval(parentFd, name, st.st_mode); folder.isValid())
        emptyFolder(folder.get());
    // Whatever could not be emptied keeps the folder, and this fails.
    return ::unlinkat(parentFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

bool TreeRemover::emptyFolder(int folderFd)
{
    bool ok = true;
    for (const QByteArray &name : FolderListing::namesIn(folderFd))
        ok = removeAt(folderFd, name.constData()) && ok;
    return ok;
}
