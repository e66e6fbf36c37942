#pragma once

#include <QString>

// Names the engine derives from the archive's own file name.
class ArchiveNaming {
public:
    // Without its archive and compression extensions, for the folder that
    // holds several top-level items: "photos.tar.gz" gives "photos",
    // "x.part1.rar" gives "x", "notes.v2.zip" gives "notes.v2".
    static QString enclosingName(const QString &archivePath);
    // The file a bare compressed file holds: "notes.txt.gz" gives "notes.txt".
    static QString rawEntryName(const QString &archivePath);
};
