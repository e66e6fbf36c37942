#pragma once

#include "platform/engine/XADSimpleUnarchiverDelegate.h"

#include <QString>
#include <QStringList>
#include <memory>

class ArchiveEngine;
using ArchiveEngineDelegate = UnarchiverDelegate<ArchiveEngine>;

// Reads one archive with libarchive and extracts it into a destination
// folder. It runs inside the helper process, which confines it; the program
// talks to it through XADSimpleUnarchiver. One object per archive.
class ArchiveEngine {
public:
    // Null when the file cannot be opened for reading.
    static std::unique_ptr<ArchiveEngine> forPath(const QString &path);

    ~ArchiveEngine();
    ArchiveEngine(const ArchiveEngine &) = delete;
    ArchiveEngine &operator=(const ArchiveEngine &) = delete;

    // May be cleared (nullptr) at any time; a cleared delegate is never
    // called again. Without one, nobody is asked: no password, and names are
    // decoded with the detected encoding or Latin-1.
    void setDelegate(ArchiveEngineDelegate *delegate);
    ArchiveEngineDelegate *delegate() const;
    // Extracted files carry the archive's download origin (the
    // "user.xdg.origin.url" and "user.xdg.referrer.url" attributes).
    void setPropagatesRelevantMetadata(bool on);
    // Two entries never overwrite each other whatever this says: the later
    // one always gets a variant of the name.
    void setAlwaysRenamesFiles(bool on);
    void setRemovesEnclosingDirectoryForSoloItems(bool on);
    void setDestination(const QString &folder);
    // Tried first on encrypted zip entries; the password callback sets it.
    void setPassword(const QString &password);
    QString password() const;

    // 0 on success, else an XADException code. parse() recognises the archive
    // without decompressing it; unarchive() reads it once, start to end, into
    // a hidden folder of its own inside the destination, then moves the
    // result beside it. A run that fails or is stopped leaves nothing behind.
    int parse();
    int unarchive();

    // After a good unarchive(): the one top-level thing made in the
    // destination, under a name nothing else had there: the archive's only
    // top-level item, or a folder named after the archive holding several.
    QString createdItem() const;
    // After a good unarchive(): the archive's name without its archive
    // extensions ("photos.tar.gz" -> "photos"); null before, and after a
    // failed run, when there is nothing to move out of the destination.
    QString enclosingDirectoryName() const;
    QString archivePath() const;
    // After parse(): every file of the archive, in reading order (all the
    // volumes of a multi-volume set); before it, the archive alone.
    QStringList volumePaths() const;
    // After a good parse(): the uncompressed size the archive's headers
    // declare for all its files, or -1 when they do not say.
    qint64 declaredSize() const;
    // After a good unarchive(): true when every check the archive and its
    // compression carry was made and passed. False when some could not be
    // made, so nothing should be thrown away on the strength of this run.
    bool checksVerified() const;
    // After a failed parse() or unarchive(): the file the failure is about
    // (a missing or damaged volume), or null when it is the archive as a
    // whole or an entry (entries are named to the delegate as they fail).
    QString errorSubject() const;
    // The code the last parse() or unarchive() returned.
    int lastError() const;

private:
    explicit ArchiveEngine(const QString &path);
    struct Private;
    std::unique_ptr<Private> d;
};
