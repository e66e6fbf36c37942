#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <sys/types.h>

// Copies a file, a symlink or a whole folder tree to a place on another file
// system: symlinks stay symlinks, permissions and times are kept, files that
// share an inode stay hard-linked, holes of sparse files stay holes. Never
// replaces anything.
class TreeCopy {
public:
    // Told how much of the copy is done out of its whole, first with nothing
    // done and then after every stretch of data and every entry; returning
    // false stops the copy. The units are bytes of data, not of holes, plus
    // a block's worth for each entry, so that a tree of empty files moves on.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    // False when anything failed or the progress stopped it; whatever the
    // copy made is then removed again, and nothing that was at `to` before
    // is touched.
    static bool copy(const QString &from, const QString &to, const Progress &progress = {});

private:
    using Inode = QPair<dev_t, ino_t>;

    TreeCopy(int targetRootFd, const Progress &progress) : m_targetRootFd(targetRootFd), m_progress(progress) {}
    static qint64 weightAt(int parent, const QByteArray &name, QSet<Inode> *linkedSeen);
    bool advance(qint64 units);
    bool copyAt(int srcParent, const QByteArray &srcName, int dstParent, const QByteArray &dstName,
                const QByteArray &dstRelative);
    bool copyFolder(int srcParent, const QByteArray &srcName, int dstParent,
                    const QByteArray &dstName, const QByteArray &dstRelative, const struct stat &st);
    bool copyFile(int srcParent, const QByteArray &srcName, int dstParent, const QByteArray &dstName,
                  const QByteArray &dstRelative, const struct stat &st);
    bool copySymlink(int srcParent, const QByteArray &srcName, int dstParent,
                     const QByteArray &dstName, const struct stat &st);
    bool copyContents(int src, int dst);
    bool copyRange(int src, int dst, off_t from, off_t to);
    bool copyRangeThroughBuffer(int src, int dst, off_t from, off_t to);

    int m_targetRootFd;
    const Progress &m_progress;
    qint64 m_done = 0;
    qint64 m_total = 0;
    // (device, inode) of multiply linked files -> where the first copy went,
    // relative to m_targetRootFd.
    QHash<Inode, QByteArray> m_linkedCopies;
};
