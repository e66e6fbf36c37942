#pragma once

#include <QString>

// File moves and removals that never destroy what they were not asked to.
class XADPlatform {
public:
    // Renames within one file system; copies then removes across file systems
    // (symlinks, permissions and times kept). Never replaces anything already
    // at the target. True on success.
    static bool moveItemAtPath(const QString &from, const QString &to);
    // Removes a file, a symlink or a whole tree; never follows symlinks.
    static bool removeItemAtPath(const QString &path);
};
