#pragma once

#include "platform/files/TreeCopy.h"

#include <QString>

// File moves and removals that never destroy what they were not asked to.
class XADPlatform {
public:
    // Renames within one file system; copies then removes across file systems
    // (symlinks, permissions and times kept), telling `progress` how the copy
    // goes and stopping when it says so. Never replaces anything already at
    // the target. True on success.
    static bool moveItemAtPath(const QString &from, const QString &to, const TreeCopy::Progress &progress = {});
    // Removes a file, a symlink or a whole tree; never follows symlinks.
    static bool removeItemAtPath(const QString &path);
};
