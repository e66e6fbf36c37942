#pragma once

#include <QString>
#include <memory>

class XADSimpleUnarchiverDelegate;

// Reads one archive with libarchive and extracts it into a destination folder.
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

    void setDelegate(XADSimpleUnarchiverDelegate *delegate);
    XADSimpleUnarchiverDelegate *delegate() const;
    void setPropagatesRelevantMetadata(bool on);
    void setAlwaysRenamesFiles(bool on);
    void setRemovesEnclosingDirectoryForSoloItems(bool on);
    void setDestination(const QString &folder);
    void setPassword(const QString &password);
    QString password() const;

    // 0 on success, else an XADException code. parse() recognises the archive
    // without decompressing it; unarchive() reads it once, start to end.
    int parse();
    int unarchive();

    // After a good unarchive(): the one top-level thing made in the destination.
    QString createdItem() const;
    // The archive's name without its archive extensions; null when nothing is
    // to be moved out of the destination.
    QString enclosingDirectoryName() const;
    QString archivePath() const;

private:
    explicit XADSimpleUnarchiver(const QString &path);
    struct Private;
    std::unique_ptr<Private> d;
};
