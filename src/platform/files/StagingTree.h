#pragma once

#include "platform/files/UniqueFd.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <ctime>
#include <memory>
#include <sys/types.h>

// The folders of one extraction, below a root folder the run made itself.
// Every component is opened without following symlinks, so an entry can
// never reach through a link an earlier entry made. A folder whose name is
// taken by a file gets a name of its own, and later entries follow it there.
class StagingTree {
public:
    explicit StagingTree(int rootFd);

    // The folder that holds the entry `path` (its last component excluded),
    // made when missing if `create` is set. The descriptor stays valid until
    // the next call. Returns 0 or an error code.
    int parentFolder(const QStringList &path, bool create, int *fd);
    // The folder for a folder entry, made or merged into.
    int folder(const QStringList &path, bool create, int *fd);
    // Where `count` leading components of path really are, relative to the root.
    QString actualPath(const QStringList &path, qsizetype count) const;

    // Folder permissions and times are set last: writing into a folder
    // changes its time, and a read-only folder could not be filled.
    void deferFolderMetadata(const QStringList &path, mode_t mode, const timespec *mtime);
    void applyFolderMetadata();

private:
    int walk(const QStringList &path, qsizetype count, bool create, int *fd);
    int openChild(int parentFd, const QString &key, const QString &component, bool create,
                  UniqueFd *child);
    int makeRenamedFolder(int parentFd, const QString &key, const QString &name, UniqueFd *child);

    struct Pending {
        QStringList path;
        mode_t mode = 0;
        bool hasTime = false;
        timespec mtime{};
    };

    int m_root;
    QHash<QString, QString> m_renamed;                 // folder in the archive -> its name on disk
    QHash<QString, std::shared_ptr<UniqueFd>> m_open; // recently used folders
    QHash<QString, Pending> m_pending;
};
