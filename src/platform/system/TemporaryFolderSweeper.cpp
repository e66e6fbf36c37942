#include "platform/system/TemporaryFolderSweeper.h"

#include "platform/files/FolderListing.h"
#include "platform/system/TemporaryFolderLock.h"
#include "platform/files/TreeRemover.h"
#include "platform/files/UniqueFd.h"

#include <QFile>
#include <QLoggingCategory>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcSweep, "quillbox.sweep")

QStringList TemporaryFolderSweeper::sweep(const QString &appDataFolder)
{
    const QByteArray native = QFile::encodeName(appDataFolder);
    const UniqueFd parent(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.isValid())
        return {};
    QStringList removed;
    for (const QByteArray &name : FolderListing::namesIn(parent.get())) {
        if (!name.startsWith(".Temp_"))
            continue;
        switch (sweepEntry(parent.get(), name.constData())) {
        case Outcome::Removed:
            removed.append(QFile::decodeName(name));
            qCInfo(lcSweep).noquote() << "removed the left-over temporary folder" << removed.constLast();
            break;
        case Outcome::Failed:
            qCWarning(lcSweep).noquote() << "could not remove the left-over temporary folder"
                                         << QFile::decodeName(name);
            break;
        case Outcome::Kept:
            break;
        }
    }
    return removed;
}

TemporaryFolderSweeper::Outcome TemporaryFolderSweeper::sweepEntry(int parentFd, const char *name)
{
    const auto remove = [&] { return TreeRemover::removeAt(parentFd, name) ? Outcome::Removed : Outcome::Failed; };
    const UniqueFd folder(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.isValid()) {
        // A symlink or a file under a temporary folder's name is no one's
        // work; it goes itself, never what it points at.
        return errno == ELOOP || errno == ENOTDIR ? remove() : Outcome::Kept;
    }
    struct stat st;
    if (::fstatat(folder.get(), TemporaryFolderLock::keptMarkerName, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return Outcome::Kept;
    // Held, when taken, until the folder is gone: a second sweeper never
    // works on the same folder.
    const UniqueFd lock(::openat(folder.get(), TemporaryFolderLock::lockFileName,
                                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (lock.isValid())
        return ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0 ? remove() : Outcome::Kept;
    return errno == ENOENT && isUntouchedForGrace(folder.get()) ? remove() : Outcome::Kept;
}

bool TemporaryFolderSweeper::isUntouchedForGrace(int folderFd)
{
    struct stat st;
    if (::fstat(folderFd, &st) != 0)
        return false;
    return std::time(nullptr) - st.st_mtim.tv_sec > lockLessGrace.count();
}
