#pragma once

#include <QString>

// Whether path is folder itself or lies inside it, decided component by
// component on cleaned absolute paths: "/a/b" holds "/a/b/x" but not "/a/bc".
// Neither path is resolved on disk.
bool pathIsInsideFolder(const QString &path, const QString &folder);
