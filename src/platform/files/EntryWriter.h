#pragma once

#include "platform/files/OriginMetadata.h"
#include "platform/files/StagingTree.h"
#include "platform/files/UniqueFd.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <ctime>
#include <functional>
#include <sys/types.h>

class BlockSource;

// What an entry says about itself, beyond its name and kind.
struct EntryMetadata {
    mode_t mode = 0644;
    bool hasMtime = false;
    timespec mtime{};
    qint64 size = -1; // -1 when the archive does not say
    // What data that ends before size means.
    enum class ShortData {
        Truncated, // the file was cut short
        Hole,      // a sparse file's last hole (tar, zisofs)
        End,       // the size field is wrong; the data was checked whole
    };
    ShortData shortData = ShortData::Truncated;
};

// Writes the entries of one archive below a root folder the run made
// itself. Nothing is ever replaced: a second entry with a name already
// taken gets a readable variant of it. Nothing is written through a
// symlink, hard links only reach what this run wrote, and only permission
// bits survive (no set-id or sticky bits, no owners).
// Each write returns 0 or an error code, and where the entry went,
// relative to the root.
class EntryWriter {
public:
    EntryWriter(int rootFd, OriginMetadata origin);

    int writeFolder(const QStringList &path, const EntryMetadata &meta, QString *writtenAs);
    int writeFile(const QStringList &path, const EntryMetadata &meta, BlockSource &data, QString *writtenAs);
    int writeSymlink(const QStringList &path, const QByteArray &target, const EntryMetadata &meta,
                     QString *writtenAs);
    int writeHardlink(const QStringList &path, const QStringList &target, const EntryMetadata &meta,
                      BlockSource &data, QString *writtenAs);
    // Makes the file under its final name, empty, so that its data can be
    // filled in later, possibly on another thread. Names are decided here, in
    // archive order, so the tree comes out as a straight run would make it.
    int reserveFile(const QStringList &path, const EntryMetadata &meta, QString *writtenAs);
    // Fills a file reserveFile() made; writtenAs is what it returned. Safe to
    // call from several threads at once, for different files.
    int fillReserved(const QString &writtenAs, const EntryMetadata &meta, BlockSource &data) const;
    // Sets the folders' own permissions and times, once everything is in.
    void finish();

private:
    // Kept for every file and link, so it stays small: the archive path of
    // the folder it is in, and its own name on disk.
    struct Written {
        QString parent;
        QString name;
    };

    int createUnique(const QString &key, const QString &name,
                     const std::function<bool(const QByteArray &)> &make, QString *actualName);
    int fillFile(int parentFd, const QString &name, UniqueFd fd, const EntryMetadata &meta, BlockSource &data);
    static int writeData(int fd, const EntryMetadata &meta, BlockSource &data);
    int finishFile(int fd, const EntryMetadata &meta) const;
    void remember(const QStringList &path, const QString &actualName, QString *writtenAs);

    StagingTree m_tree;
    OriginMetadata m_origin;
    int m_rootFd;
    QHash<QString, Written> m_written;
    QHash<QString, int> m_lastVariant; // archive path -> the last variant it got
};
