#pragma once

#include "platform/files/UniqueFd.h"

#include <QString>
#include <QStringList>

// A hidden folder of the run's own inside the destination. Entries are
// written into it; at the end either its one item or the folder itself is
// moved to a free name beside it, so nothing in the destination is ever
// replaced and nothing half-written is ever seen there. Whatever was not
// published is removed when the object goes.
class StagingFolder {
public:
    StagingFolder() = default;
    ~StagingFolder();
    StagingFolder(const StagingFolder &) = delete;
    StagingFolder &operator=(const StagingFolder &) = delete;

    // 0 or an error code. The destination is made when missing.
    int create(const QString &destination);
    // The staging folders in destination, of runs going on or of helpers
    // killed before they could remove their own.
    static QStringList foldersIn(const QString &destination);
    int fd() const { return m_fd.get(); }
    const QString &path() const { return m_path; }

    QStringList topLevelNames() const;
    // Moves the item `name` to a free name in the destination; the final
    // path, or null when it could not be moved.
    QString publishItem(const QString &name);
    // Turns the folder itself into the result, under a free variant of
    // folderName.
    QString publishAsFolder(const QString &folderName);
    void discard();

private:
    QString m_destination;
    QString m_path;
    UniqueFd m_fd;
};
