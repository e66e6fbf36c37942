#pragma once

#include <QString>
#include <QStringList>

// What an unarchiver is told before a run and tells after it. The engine in
// the helper process and the program's end of it keep it alike.
struct UnarchiverState {
    QString path;
    QString destination;
    QString password;
    bool passwordGiven = false;
    bool propagatesMetadata = false;
    bool removesEnclosingDirectory = false;

    qint64 declaredSize = -1;
    QStringList volumePaths;
    QString createdItem;
    QString enclosingName;
    bool checksVerified = false;
    QString errorSubject;
    int lastError = 0;
};

// The settings and results every unarchiver has, over the state its own
// implementation keeps.
class UnarchiverBase {
public:
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

protected:
    explicit UnarchiverBase(UnarchiverState *state) : m_state(state) {}
    ~UnarchiverBase() = default;

private:
    UnarchiverState *m_state;
};
