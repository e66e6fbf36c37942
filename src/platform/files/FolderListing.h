#pragma once

#include <QByteArrayList>

// The entry names of an open folder, without "." and "..". The folder's own
// descriptor is left open and untouched.
class FolderListing {
public:
    static QByteArrayList namesIn(int folderFd);
};
