#pragma once

#include <QByteArray>
#include <QUrl>

// Folder grants that outlive the process. A bookmark records a folder's
// absolute path and the identity of the folder found there (device, inode
// and, where the file system keeps it, birth time), so that a later run can
// tell the same folder from one that was deleted and made again at the same
// path. Outside a sandbox there is no access to start: starting succeeds and
// changes nothing.
class SecurityBookmark {
public:
    // The bookmark of the local file or folder the URL names, or empty bytes
    // when the URL is not an absolute local path or names nothing on disk.
    static QByteArray bookmarkData(const QUrl &url);

    // The URL the bookmark leads to, or an empty URL when the bytes are not a
    // bookmark or nothing exists at its path any more. *isStale is set when
    // something exists there but it is not the object that was bookmarked.
    static QUrl URLByResolvingBookmarkData(const QByteArray &data, bool *isStale = nullptr);

    static bool startAccessingSecurityScopedResource(const QUrl &url);
    static void stopAccessingSecurityScopedResource(const QUrl &url);
};
