#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

// Whether what an archive says it unpacks to fits before a byte is written:
// in the temporary folder it is extracted into and, when the destination is
// on another file system, there too, since the result is copied over.
class SpaceCheck {
public:
    struct Shortfall {
        QString folder;
        qint64 needed = 0;
        qint64 available = 0;
    };
    // The bytes an unprivileged user may still write on the file system
    // holding `path`, or -1 when that cannot be told.
    using FreeSpaceSource = std::function<qint64(const QString &path)>;

    // Nothing when it fits or cannot be told (a declared size of -1, a
    // folder whose free space is unknown); else the first folder short.
    static std::optional<Shortfall> check(qint64 declaredSize, const QString &tmpFolder,
                                          const QString &destination);
    // Lets tests pretend a disk is small; an empty function restores statvfs.
    static void setFreeSpaceSource(FreeSpaceSource source);
    static qint64 freeSpace(const QString &path);

private:
    static std::optional<Shortfall> compare(qint64 needed, const QString &folder);
    static bool onSeparateFileSystems(const QString &a, const QString &b);
};
