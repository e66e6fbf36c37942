#pragma once

#include "platform/engine/XADSimpleUnarchiverDelegate.h"

#include <QString>
#include <QStringList>
#include <memory>

// Reads one archive and extracts it into a destination folder. The reading
// is done by a helper process of its own, confined to the destination and
// to a bounded amount of memory; this is the program's end of it, and its
// delegate is called exactly as if the engine ran here. An archive that
// makes the helper crash, stall or exhaust its memory ends with an error
// (XADEngineFailedError, or XADCorruptError for one that stalls).
// One object per archive, driven from one worker thread.
class XADSimpleUnarchiver {
public:
    // Null when the file cannot be opened for reading.
    static std::unique_ptr<XADSimpleUnarchiver> simpleUnarchiverForPath(const QString &path);
    // A path at which nothing exists yet: the given one when free, otherwise a
    // readable variant in the same folder that keeps the extension
    // ("report.pdf" -> "report 2.pdf", "a.tar.gz" -> "a 2.tar.gz").
    static QString _findUniquePathForOriginalPath(const QString &path);

    ~XADSimpleUnarchiver();
    XADSimpleUnarchiver(const XADSimpleUnarchiver &) = delete;
    XADSimpleUnarchiver &operator=(const XADSimpleUnarchiver &) = delete;

    // May be cleared (nullptr) at any time; a cleared delegate is never
    // called again. Without one, nobody is asked: no password, and names are
    // decoded with the detected encoding or Latin-1.
    void setDelegate(XADSimpleUnarchiverDelegate *delegate);
    XADSimpleUnarchiverDelegate *delegate() const;
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
    // Setting the destination before parse() lets one helper do both.
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
    explicit XADSimpleUnarchiver(const QString &path);
    struct Private;
    std::unique_ptr<Private> d;
};
