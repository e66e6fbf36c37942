#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <sys/types.h>

// Copies a file, a symlink or a whole folder tree to a place on another file
// system: symlinks stay symlinks, permissions and times are kept, files that
// share an inode stay hard-linked, holes of sparse files stay holes. Never
// replaces anything.
class TreeCopy {
public:
    // False when anything failed; whatever the copy made is then removed
    // again, and nothing that was at `to` before is touched.
    static bool copy(const QString &from, const QString &to);

private:
    TreeCopy(int targetRootFd) : m_targetRootFd(targetRootFd) {}
    bool copyAt(int srcParent, const QByteArray &srcName, int dstParent, const QByteArray &dstName,
                const QByteArray &dstRelative);
    bool copyFolder(int srcParent, const QByteArray &srcName, int dstParent,
                    const QByteArray &dstName, const QByteArray &dstRelative, const struct stat &st);
    bool copyFile(int srcParent, const QByteArray &srcName, int dstParent, const QByteArray &dstName,
                  const QByteArray &dstRelative, const struct stat &st);
    bool copySymlink(int srcParent, const QByteArray &srcName, int dstParent,
                     const QByteArray &dstName, const struct stat &st);
    static bool copyContents(int src, int dst);
    static bool copyRange(int src, int dst, off_t from, off_t to);
    static bool copyRangeThroughBuffer(int src, int dst, off_t from, off_t to);

    int m_targetRootFd;
    // (device, inode) of multiply linked files -> where the first copy went,
    // relative to m_targetRootFd.
    QHash<QPair<dev_t, ino_t>, QByteArray> m_linkedCopies;
};
