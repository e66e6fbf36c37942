#pragma once

#include <QString>

// Whether path is folder itself or lies inside it, decided component by
// component on cleaned absolute paths: "/a/b" holds "/a/b/x" but not "/a/bc".
// Neither path is resolved on disk.
bool pathIsInsideFolder(const QString &path, const QString &folder);

// The last component of a '/'-separated path, trailing slashes aside:
// "a/b.txt" gives "b.txt", "a/b/" gives "b".
QString lastPathComponent(const QString &path);
// The text after the last dot of the last component; a null string when
// there is no dot, or only a leading one (hidden files have no extension).
QString pathExtension(const QString &path);
// The path without that extension and its dot.
QString deletingPathExtension(const QString &path);
// The folder that holds path: "/" for "/x", the current folder for a bare name.
QString parentFolderOf(const QString &path);
