#pragma once

#include <QString>

// Removes files and whole folder trees without ever following a symlink:
// a link is removed itself, never what it points at.
class TreeRemover {
public:
    // True when nothing is left at path. The last component is not
    // followed; the folders above it are the caller's own.
    static bool remove(const QString &path);
    // Same for the entry name inside the folder parentFd.
    static bool removeAt(int parentFd, const char *name);

private:
    static bool emptyFolder(int folderFd);
};
