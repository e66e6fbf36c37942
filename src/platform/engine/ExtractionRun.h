#pragma once

#include "platform/files/BlockSource.h"
#include "platform/files/EntryWriter.h"
#include "platform/engine/ProgressThrottle.h"
#include "platform/engine/XADSimpleUnarchiverDelegate.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

class ArchiveReader;
struct archive_entry;

// A file whose name and place the run decided, whose data is still to come.
struct DeferredFile {
    int entryNumber = -1; // counted over every header, from 0
    QByteArray storedName; // as the archive has it, to find the entry again
    QString writtenAs;     // relative to the root
    EntryMetadata meta;
    XADEntryInfo info;
};

// Where a run hands the files it leaves empty, as it goes.
class DeferredFiles {
public:
    virtual ~DeferredFiles() = default;
    virtual void defer(DeferredFile file) = 0;
    // Every entry up to this number is laid out.
    virtual void passed(int entryNumber) = 0;
    // Data the run wrote itself, counted with the rest.
    virtual void progress(const XADEntryInfo &entry, qint64 fileDone, qint64 bytes) = 0;
};

// What a run needs from the unarchiver that drives it: its delegate's
// answers, and where progress goes.
struct RunHooks {
    std::function<bool()> shouldStop;
    // The decoded name, or a null string when no encoding was given.
    std::function<QString(const QByteArray &)> decodeName;
    std::function<void(const XADEntryInfo &, const QString &)> willExtract;
    std::function<void(const XADEntryInfo &, const QString &, int)> didExtract;
    std::function<void(const XADEntryInfo &, qint64, qint64, qint64, qint64)> byteProgress;
    std::function<void(const XADEntryInfo &, double, double)> estimatedProgress;
    // Why the last passphrase request was refused, 0 when it was not.
    std::function<int()> passwordFailure;
};

struct RunSettings {
    QString rootPath;     // the folder entries are written into
    QString rawEntryName; // the name for a bare compressed file; null otherwise
    qint64 knownTotal = -1;
    // Stored names of entries known to be encrypted that libarchive does not mark.
    QSet<QByteArray> encryptedNames;
    // Entry number -> CRC-32 and size of the whole file, for files joined
    // across volumes, whose checksum libarchive does not check.
    QHash<int, quint32> joinedCrcs;
    QHash<int, quint64> joinedSizes;
    // Entries whose CRC-32 libarchive does not check (signed with the key in
    // RAR 5; a zip read with its checks off): the CRC of what is written is
    // put to crcMatches, which says whether it is the right one, or nothing
    // when it cannot tell.
    QSet<int> crcCheckedHere;
    std::function<std::optional<bool>(int entry, quint32 crc)> crcMatches;
    // When set, the run lays out the tree but leaves the data of plain files
    // to be filled by others, handing them over here. The first encrypted
    // file is still written, so that its password is settled before anything else.
    DeferredFiles *deferred = nullptr;
};

// Reads every entry of an archive once, start to end, and writes it with
// the EntryWriter. Entries refused for safety are reported and skipped;
// any other failure ends the run with its code.
class ExtractionRun : private BlockSource {
public:
    ExtractionRun(ArchiveReader &reader, EntryWriter &writer, RunHooks hooks, RunSettings settings);

    // first: the header parse() already read, or null for an empty archive.
    int run(archive_entry *first);
    // The last progress report of a good run: everything done.
    void reportFinished();
    // False when a checksum the archive promised could not be computed.
    bool everyCheckMade() const { return m_everyCheckMade; }

    // The entry's name as stored, whatever its encoding.
    static QByteArray storedName(archive_entry *entry);

    // Output between two stop polls at most.
    static constexpr qint64 pollInterval = 1 << 20;

private:
    int extractEntry(archive_entry *entry);
    int describeEntry(archive_entry *entry, QStringList *path);
    int writeEntry(archive_entry *entry, const QStringList &path, QString *writtenAs);
    bool canDefer(archive_entry *entry) const;
    int deferEntry(archive_entry *entry, const QStringList &path);
    int decode(const char *raw, QString *name);
    bool cannotDecrypt(archive_entry *entry) const;
    int failureCode(archive_entry *entry) const;
    void startJoinedCrc(archive_entry *entry);
    void addToJoinedCrc(const void *data, size_t size, qint64 offset);
    int checkJoinedCrc();
    bool nextBlock(const void **data, size_t *size, qint64 *offset, int *error) override;
    void reportProgress(bool finished);

    ArchiveReader &m_reader;
    EntryWriter &m_writer;
    RunHooks m_hooks;
    RunSettings m_settings;
    ProgressThrottle m_throttle;
    archive_entry *m_entry = nullptr;
    XADEntryInfo m_info;
    qint64 m_fileDone = 0;
    qint64 m_totalDone = 0;
    qint64 m_sincePoll = 0;
    int m_entryNumber = -1;
    // The joined file being summed, as long as its data comes in order.
    bool m_summing = false;
    quint32 m_crc = 0;
    qint64 m_summedUpTo = 0;
    qint64 m_sumExpectedSize = 0;
    bool m_everyCheckMade = true;
    bool m_passwordSettled = false;
};
