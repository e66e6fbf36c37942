#include "platform/system/TemporaryFolderLock.h"

#include "platform/files/TreeRemover.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

// The lock file is made and locked under this name, then renamed into place:
// a sweeper never finds the real name on a file that is not locked yet.
constexpr const char *pendingLockName = ".quillbox-owner.lock.new";

} // namespace

bool TemporaryFolderLock::create(const QString &folder)
{
    release();
    const QFileInfo info(folder);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), S_IRWXU) != 0)
        return false;
    const UniqueFd folderFd(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folderFd.isValid() || !lockInside(folderFd.get())) {
        m_fd.reset();
        TreeRemover::remove(folder);
        return false;
    }
    m_folder = folder;
    return true;
}

bool TemporaryFolderLock::lockInside(int folderFd)
{
    m_fd.reset(::openat(folderFd, pendingLockName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        S_IRUSR | S_IWUSR));
    return m_fd.isValid() && ::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0
           && ::renameat(folderFd, pendingLockName, folderFd, lockFileName) == 0;
}

void TemporaryFolderLock::release()
{
    m_fd.reset();
    m_folder.clear();
}

void TemporaryFolderLock::handOver()
{
    if (isHeld()) {
        const QByteArray path = QFile::encodeName(m_folder) + '/' + keptMarkerName;
        const UniqueFd marker(::open(path.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                                     S_IRUSR | S_IWUSR));
    }
    release();
}
