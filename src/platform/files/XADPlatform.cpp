#include "platform/files/XADPlatform.h"

#include "platform/files/TreeCopy.h"
#include "platform/files/TreeRemover.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// For file systems without RENAME_NOREPLACE. A folder is moved onto an empty
// folder made just now (rename replaces only empty folders, and mkdir fails
// on anything already there); everything else is hard-linked, which also
// fails on anything already there.
bool renameWithoutReplacing(const QByteArray &from, const QByteArray &to)
{
    struct stat st;
    if (::lstat(from.constData(), &st) != 0)
        return false;
    if (S_ISDIR(st.st_mode)) {
        if (::mkdir(to.constData(), S_IRWXU) != 0)
            return false;
        if (::rename(from.constData(), to.constData()) == 0)
            return true;
        ::rmdir(to.constData());
        return false;
    }
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    ::unlink(from.constData());
    return true;
}

} // namespace

bool XADPlatform::moveItemAtPath(const QString &from, const QString &to, const TreeCopy::Progress &progress)
{
    if (from.isEmpty() || to.isEmpty())
        return false;
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
        return true;
    switch (errno) {
    case EXDEV:
        if (!TreeCopy::copy(from, to, progress))
            return false;
        TreeRemover::remove(from);
        return true;
    case EINVAL:
    case ENOSYS:
    case EOPNOTSUPP:
        return renameWithoutReplacing(src, dst);
    default:
        return false;
    }
}

bool XADPlatform::removeItemAtPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    return TreeRemover::remove(path);
}
