#pragma once

#include "platform/files/UniqueFd.h"

#include <QString>

// Ties a temporary folder to the process that works in it: a lock file inside
// the folder, flock'ed for as long as the object holds it. The kernel drops
// the lock when the process ends in any way, kill -9 included, so a later
// start can tell a folder whose owner is gone from one still in use.
class TemporaryFolderLock {
public:
    // Names no archive entry is given: the engine writes into a staging
    // folder of its own inside the temporary folder.
    static constexpr const char *lockFileName = ".quillbox-owner.lock";
    // A folder that holds a result the user was told about; never swept.
    static constexpr const char *keptMarkerName = ".quillbox-kept";

    TemporaryFolderLock() = default;

    // Makes the folder (its parents as needed; the folder itself must not
    // exist yet) and takes its lock. False, with nothing left behind, on failure.
    bool create(const QString &folder);
    bool isHeld() const { return m_fd.isValid(); }
    // Call once the folder is gone, or when it may be swept.
    void release();
    // The folder stays for the user: marked so that no start sweeps it, then
    // released.
    void handOver();

private:
    bool lockInside(int folderFd);

    QString m_folder;
    UniqueFd m_fd;
};
