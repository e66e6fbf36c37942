#include "platform/files/FolderListing.h"

#include <dirent.h>
#include <unistd.h>

QByteArrayList FolderListing::namesIn(int folderFd)
{
    QByteArrayList names;
    // fdopendir takes the descriptor over, so it gets a copy.
    const int copy = ::dup(folderFd);
    if (copy < 0)
        return names;
    DIR *dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return names;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    return names;
}
