#include "platform/engine/ArchiveEngine.h"

#include "platform/engine/ArchiveErrors.h"
#include "platform/engine/ArchiveNaming.h"
#include "platform/engine/ArchiveReader.h"
#include "platform/encoding/EntryNameDecoder.h"
#include "platform/files/EntryWriter.h"
#include "platform/engine/ExtractionRun.h"
#include "platform/files/OriginMetadata.h"
#include "platform/engine/NameSurvey.h"
#include "platform/engine/ParallelFill.h"
#include "platform/engine/PassphraseBroker.h"
#include "platform/engine/formats/Rar4DecryptedView.h"
#include "platform/engine/formats/Rar5DecryptedView.h"
#include "platform/engine/formats/RarVolumeCheck.h"
#include "platform/engine/SizeSurvey.h"
#include "platform/engine/formats/SevenZipDecryptedView.h"
#include "platform/engine/formats/SevenZipHeader.h"
#include "platform/engine/formats/SplitArchiveCheck.h"
#include "platform/files/StagingFolder.h"
#include "platform/engine/Utf8LocaleScope.h"
#include "platform/errors/XADException.h"
#include "platform/encoding/XADString.h"
#include "platform/engine/formats/ZipAesDecryptedView.h"
#include "platform/engine/formats/ZipCentralDirectory.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <archive_entry.h>
#include <atomic>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

// Below this, starting readers costs more than decoding on one core saves.
constexpr qint64 parallelThreshold = qint64(8) << 20;
constexpr int maximumWorkers = 8;
// Every worker's reader keeps its own index of a zip's or an image's
// entries: past this many, one pass keeps the helper's memory small.
constexpr qsizetype maximumParallelIndexEntries = 50'000;
// A 7z's folders go to the workers in runs of at least this much data:
// each run costs a fresh reader that parses the whole header and walks
// past every entry before it.
constexpr quint64 minimumUnitBytes = quint64(4) << 20;
// Past this many entry visits in all (about 1.5 µs each), that walking
// would cost more than the workers save.
constexpr qint64 maximumUnitWalk = 200'000;

// QUILLBOX_DECODING_THREADS=N asks for N workers whenever the format
// allows, whatever the archive's size; 1 turns the parallel fill off.
int requestedWorkers()
{
    bool ok = false;
    const int requested = qEnvironmentVariableIntValue("QUILLBOX_DECODING_THREADS", &ok);
    return ok && requested > 0 ? qMin(requested, maximumWorkers) : 0;
}

} // namespace

struct ArchiveEngine::Private : UnarchiverState {
    ArchiveEngine *q = nullptr;
    std::atomic<ArchiveEngineDelegate *> delegate{nullptr};
    // The delegate answers one call at a time, whichever thread makes it.
    mutable std::recursive_mutex delegateLock;
    std::mutex askLock;

    // Between parse() and unarchive(): the open archive, its first header.
    bool parsed = false;
    int parseResult = XADNoError;
    std::unique_ptr<PassphraseBroker> passwords;
    std::unique_ptr<ArchiveReader> reader;
    archive_entry *firstEntry = nullptr;
    EntryNameDecoder decoder;
    int nameFormat = 0; // the format's base code, for its names' separators
    qint64 knownTotal = -1;
    bool isRaw = false;
    RarVolumeReport rarVolumes;
    qsizetype zipEntries = -1; // from the central directory, when it was read
    qint64 listedEntries = -1; // from the size survey
    std::optional<SevenZipHeader::Layout> sevenZipLayout;
    // An encrypted archive as the plain one it hides; each reader reads a
    // copy. The same object as the format's own view below.
    std::unique_ptr<DecryptedView> decryptedView;
    SevenZipDecryptedView *sevenZipView = nullptr;
    Rar4DecryptedView *rar4View = nullptr;
    Rar5DecryptedView *rar5View = nullptr;
    ZipAesDecryptedView *zipView = nullptr;

    bool shouldStop() const;
    int parse();
    int openArchive();
    int checkVolumes(VolumeSet *volumes);
    int openDecryptedView(const VolumeSet &volumes);
    int openSevenZipView(const VolumeSet &volumes);
    int openRarView(const VolumeSet &volumes);
    int openRar4View(const VolumeSet &volumes);
    bool viewDecryptsData(const VolumeSet &volumes) const;
    bool rarChecksPossible() const;
    void prepareNameDecoder();
    static EncodingDetector::Origin nameOriginOf(int format);
    static EncodingDetector::Origin zipNameOrigin(ZipCentralDirectory::Host host);
    int unarchive();
    int extractInto(StagingFolder &staging);
    RunSettings runSettings(const StagingFolder &staging) const;
    int decodingWorkers() const;
    bool entriesIndependent() const;
    QList<int> decodingUnits() const;
    PassphraseBroker::Hooks passwordHooks();
    template <typename Call>
    void callDelegate(Call call) const;
    QString publish(StagingFolder &staging);
    RunHooks runHooks();
    QString decodeName(const QByteArray &raw);
    bool askForPassword();
};

template <typename Call>
void ArchiveEngine::Private::callDelegate(Call call) const
{
    std::lock_guard lock(delegateLock);
    if (ArchiveEngineDelegate *target = delegate.load())
        call(target);
}

bool ArchiveEngine::Private::shouldStop() const
{
    bool stop = false;
    callDelegate([&](ArchiveEngineDelegate *target) {
        stop = target->extractionShouldStop(q);
    });
    return stop;
}

bool ArchiveEngine::Private::askForPassword()
{
    bool asked = false;
    callDelegate([&](ArchiveEngineDelegate *target) {
        target->simpleUnarchiverNeedsPassword(q);
        asked = true;
    });
    return asked;
}

// Without a delegate nobody can be asked: the detected encoding is taken
// when it fits, else Latin-1, which decodes any bytes.
QString ArchiveEngine::Private::decodeName(const QByteArray &raw)
{
    QString name = decoder.decode(raw, [this](const XADString &name) -> QString {
        QString chosen = name.encodingNameWithoutAsking();
        callDelegate([&](ArchiveEngineDelegate *target) { chosen = target->encodingNameForXADString(q, name); });
        return chosen;
    });
    // A cab's folders are separated by backslashes, which libarchive leaves
    // in names it cannot decode: in Shift_JIS or Big5 bytes the byte of a
    // backslash may be half a character. Decoded, a backslash is one.
    if (nameFormat == ARCHIVE_FORMAT_CAB)
        name.replace(u'\\', u'/');
    return name;
}

int ArchiveEngine::Private::parse()
{
    if (!parsed) {
        parsed = true;
        errorSubject.clear();
        Utf8LocaleScope utf8;
        parseResult = openArchive();
        declaredSize = parseResult == XADNoError ? knownTotal : -1;
        if (parseResult != XADNoError) {
            firstEntry = nullptr;
            reader.reset();
        }
    }
    return parseResult;
}

// Opens the archive and reads its first header, no more: the handle stays
// open for unarchive(), so the archive is read only once.
int ArchiveEngine::Private::openArchive()
{
    VolumeSet volumes = VolumeSet::forArchive(path);
    if (const int error = checkVolumes(&volumes))
        return error;
    volumePaths = volumes.paths();
    passwords = std::make_unique<PassphraseBroker>(passwordHooks());
    if (const int error = openDecryptedView(volumes))
        return error;
    reader = std::make_unique<ArchiveReader>(
        volumes, [this] { return shouldStop(); }, [this] { return passwords->next(); });
    if (decryptedView)
        reader->readThrough(decryptedView->copy());
    if (reader->open() < ARCHIVE_WARN)
        return ArchiveErrors::codeFor(*reader, nullptr);
    const int status = reader->nextHeader(&firstEntry);
    if (status == ARCHIVE_EOF) {
        firstEntry = nullptr;
    } else if (status < ARCHIVE_WARN || status == ARCHIVE_RETRY) {
        if (const int failure = passwords->failure())
            return failure;
        return ArchiveErrors::codeFor(*reader, nullptr);
    }
    // libarchive takes any data as "raw"; only a decompressed stream is a
    // file worth extracting.
    isRaw = (reader->formatCode() & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_RAW;
    if (isRaw && !reader->hasFilter())
        return XADNotAnArchiveError;
    prepareNameDecoder();
    decoder.addUndeclaredSamples(NameSurvey::legacyNames(volumes, decryptedView.get(), reader->formatCode(),
                                                         [this] { return shouldStop(); }));
    if (rarVolumes.isRar) {
        knownTotal = rarVolumes.unpackedTotal;
    } else {
        const SizeSurvey::Result survey =
            SizeSurvey::survey(volumes, decryptedView.get(), reader->formatCode(), [this] { return shouldStop(); });
        knownTotal = survey.total;
        listedEntries = survey.entries;
    }
    return shouldStop() ? XADBreakError : XADNoError;
}

int ArchiveEngine::Private::openDecryptedView(const VolumeSet &volumes)
{
    decryptedView.reset();
    sevenZipView = nullptr;
    rar4View = nullptr;
    rar5View = nullptr;
    zipView = nullptr;
    if (rarVolumes.isRar)
        return openRarView(volumes);
    if (auto zip = ZipAesDecryptedView::open(volumes)) {
        zipView = zip.get();
        decryptedView = std::move(zip);
        return XADNoError;
    }
    return openSevenZipView(volumes);
}

// A RAR with encrypted headers or data is read through a view that
// decrypts it. A RAR 5 view finds every key as it is made, asking for
// passwords as they are needed; a RAR 4 view needs one up front only for
// hidden names, and finds each entry's key when its data is first read.
int ArchiveEngine::Private::openRarView(const VolumeSet &volumes)
{
    std::unique_ptr<Rar5DecryptedView> rar5;
    const auto status = Rar5DecryptedView::open(volumes, [this] { return passwords->next(); }, &rar5);
    if (status == Rar5DecryptedView::Status::PasswordFailed)
        return passwords->failure() ? passwords->failure() : XADPasswordError;
    rar5View = rar5.get();
    decryptedView = std::move(rar5);
    if (!decryptedView)
        if (const int error = openRar4View(volumes))
            return error;
    if (!decryptedView || rarVolumes.headersRead)
        return XADNoError;
    // The volumes' promises, hidden until now.
    rarVolumes = RarVolumeCheck::check(volumes, *decryptedView);
    errorSubject = rarVolumes.subject;
    return rarVolumes.error;
}

int ArchiveEngine::Private::openRar4View(const VolumeSet &volumes)
{
    using Status = Rar4DecryptedView::Status;
    std::unique_ptr<Rar4DecryptedView> view;
    QString tried;
    for (;;) {
        const Status status = Rar4DecryptedView::open(volumes, tried, &view);
        if (status == Status::Read || status == Status::Unreadable)
            break;
        const char *next = passwords->next();
        if (!next)
            return passwords->failure() ? passwords->failure() : XADPasswordError;
        tried = QString::fromUtf8(next);
    }
    rar4View = view.get();
    decryptedView = std::move(view);
    return XADNoError;
}

// A 7z with encrypted folders or names is read through a view that decrypts
// it, made with the password: asked for until one opens the names, or, when
// only the data is encrypted, until one decodes the first encrypted entry.
int ArchiveEngine::Private::openSevenZipView(const VolumeSet &volumes)
{
    using Status = SevenZipDecryptedView::Status;
    std::unique_ptr<SevenZipDecryptedView> view;
    QString tried;
    for (;;) {
        const Status status = SevenZipDecryptedView::open(volumes, tried, &view);
        sevenZipView = view.get();
        decryptedView = std::move(view);
        if (status == Status::Unreadable || (status == Status::Read && (!sevenZipView || viewDecryptsData(volumes))))
            return XADNoError;
        const char *next = passwords->next();
        if (!next)
            return passwords->failure();
        tried = QString::fromUtf8(next);
    }
}

// The data of an encrypted folder carries no check of the password: the
// first entry stored in one is decoded, as far as its first MiB, where a
// wrong key shows as a decoding error, or whole, where it shows in the
// entry's checksum.
bool ArchiveEngine::Private::viewDecryptsData(const VolumeSet &volumes) const
{
    if (sevenZipView->header().headerWasEncrypted())
        return true; // the names' checksum already spoke for the password
    const auto layout = sevenZipView->header().layout();
    if (!layout)
        return true;
    qsizetype folder = 0;
    while (folder < layout->folderEnds.size() && !sevenZipView->folderEncrypted(folder))
        ++folder;
    if (folder == layout->folderEnds.size())
        return true;
    const int firstEntry = folder == 0 ? 0 : layout->folderEnds[folder - 1] + 1;
    const std::unique_ptr<ArchiveReader> probe = ArchiveReader::opened(volumes, sevenZipView, [this] { return shouldStop(); });
    if (!probe)
        return false;
    archive_entry *entry = nullptr;
    for (int number = 0; probe->nextHeader(&entry) == ARCHIVE_OK; ++number) {
        if (number < firstEntry || archive_entry_size(entry) <= 0)
            continue;
        constexpr la_ssize_t budget = 1 << 20;
        QByteArray data(64 * 1024, Qt::Uninitialized);
        la_ssize_t read = 0, got = 0;
        while (read < budget && (got = archive_read_data(probe->handle(), data.data(), size_t(data.size()))) > 0)
            read += got;
        return got >= 0;
    }
    return false;
}

// Before anything is written: every volume the archive needs is there and
// belongs to it. Found files that turn out not to belong are left out.
int ArchiveEngine::Private::checkVolumes(VolumeSet *volumes)
{
    rarVolumes = RarVolumeCheck::check(*volumes);
    if (rarVolumes.isRar) {
        errorSubject = rarVolumes.subject;
        volumes->truncate(rarVolumes.volumes);
        return rarVolumes.error;
    }
    return SplitArchiveCheck::check(*volumes, &errorSubject);
}

// Encrypted headers hide the volumes' promises, and files that carry only a
// BLAKE2 hash split across volumes, or signed with the key, cannot be
// checked here.
bool ArchiveEngine::Private::rarChecksPossible() const
{
    if (rar5View && !rar5View->uncheckedEntries().isEmpty())
        return false;
    return !rarVolumes.isRar || (rarVolumes.headersRead && !rarVolumes.hasUncheckedFiles);
}

// Who wrote the names, as far as the format tells, weighs the code pages
// detection considers. A zip's legacy names are all known up front;
// detecting their encoding over all of them is far surer than name by name.
void ArchiveEngine::Private::prepareNameDecoder()
{
    const int format = reader->formatCode() & ARCHIVE_FORMAT_BASE_MASK;
    sevenZipLayout.reset();
    if (format == ARCHIVE_FORMAT_7ZIP && sevenZipView)
        sevenZipLayout = sevenZipView->header().layout();
    else if (format == ARCHIVE_FORMAT_7ZIP)
        if (const auto header = SevenZipHeader::read(reader->volumes()))
            sevenZipLayout = header->layout();
    nameFormat = format;
    decoder.setOrigin(format == ARCHIVE_FORMAT_RAR && rarVolumes.legacyNamesFromUnix ? EncodingDetector::Origin::Unix
                                                                                     : nameOriginOf(format));
    if (format != ARCHIVE_FORMAT_ZIP)
        return;
    if (const auto entries = ZipCentralDirectory::read(reader->volumes().paths().constFirst())) {
        zipEntries = entries->size();
        decoder.setOrigin(zipNameOrigin(ZipCentralDirectory::legacyNamesFrom(*entries)));
        decoder.addSampleNames(ZipCentralDirectory::legacyNames(*entries));
    }
}

EncodingDetector::Origin ArchiveEngine::Private::zipNameOrigin(ZipCentralDirectory::Host host)
{
    switch (host) {
    case ZipCentralDirectory::Host::Windows:
        return EncodingDetector::Origin::WindowsOem;
    case ZipCentralDirectory::Host::Unix:
        return EncodingDetector::Origin::Unix;
    case ZipCentralDirectory::Host::Other:
        break;
    }
    return EncodingDetector::Origin::Unknown;
}

// tar, cpio and ar come from Unix; RAR 4 and LHA tools from MS-DOS and
// Windows keep names in the OEM code page, Windows cab makers in the ANSI
// one. Image and other writers tell nothing.
EncodingDetector::Origin ArchiveEngine::Private::nameOriginOf(int format)
{
    using Origin = EncodingDetector::Origin;
    switch (format) {
    case ARCHIVE_FORMAT_TAR:
    case ARCHIVE_FORMAT_CPIO:
    case ARCHIVE_FORMAT_AR:
        return Origin::Unix;
    case ARCHIVE_FORMAT_RAR:
    case ARCHIVE_FORMAT_LHA:
        return Origin::WindowsOem;
    case ARCHIVE_FORMAT_CAB:
        return Origin::WindowsAnsi;
    default:
        return Origin::Unknown;
    }
}

int ArchiveEngine::Private::unarchive()
{
    createdItem.clear();
    enclosingName.clear();
    checksVerified = false;
    if (parsed && !reader && parseResult == XADNoError)
        parsed = false; // run again: the archive is read afresh
    if (const int error = parse())
        return error;
    Utf8LocaleScope utf8;
    StagingFolder staging;
    int error = staging.create(destination);
    if (!error)
        error = extractInto(staging);
    firstEntry = nullptr;
    reader.reset();
    return error;
}

PassphraseBroker::Hooks ArchiveEngine::Private::passwordHooks()
{
    return {[this] { return password; }, [this] { return askForPassword(); }, [this] { return shouldStop(); },
            &askLock};
}

RunSettings ArchiveEngine::Private::runSettings(const StagingFolder &staging) const
{
    RunSettings settings;
    settings.rootPath = staging.path();
    settings.rawEntryName = isRaw ? ArchiveNaming::rawEntryName(path) : QString();
    settings.knownTotal = knownTotal;
    settings.joinedCrcs = rarVolumes.joinedCrcs;
    settings.joinedSizes = rarVolumes.joinedSizes;
    if (!decryptedView)
        settings.encryptedNames = rarVolumes.encryptedNames; // no view decrypts them
    if (rar5View) {
        const QList<int> signedEntries = rar5View->signedCrcEntries();
        settings.crcCheckedHere = QSet<int>(signedEntries.cbegin(), signedEntries.cend());
        Rar5DecryptedView *view = rar5View;
        settings.crcMatches = [view](int entry, quint32 crc) { return view->crcMatches(entry, crc); };
    }
    if (zipView || rar4View) {
        // Stored RAR 4 files' CRCs libarchive does not check at all.
        const QHash<int, quint32> stored = zipView ? zipView->storedCrcs() : rar4View->fileCrcs();
        settings.crcCheckedHere = QSet<int>(stored.keyBegin(), stored.keyEnd());
        settings.crcMatches = [stored](int entry, quint32 crc) { return std::optional(stored.value(entry) == crc); };
    }
    return settings;
}

// Zip entries are compressed one by one, and so are a RAR's unless it is
// solid, and a 7z's in as many runs as it has folders; an image's are
// stored apart. A compressed outer layer would have to be decoded by every
// reader.
bool ArchiveEngine::Private::entriesIndependent() const
{
    if (reader->hasFilter() || knownTotal <= 0)
        return false;
    switch (reader->formatCode() & ARCHIVE_FORMAT_BASE_MASK) {
    case ARCHIVE_FORMAT_ZIP:
        return zipEntries >= 0 && zipEntries <= maximumParallelIndexEntries;
    case ARCHIVE_FORMAT_RAR:
    case ARCHIVE_FORMAT_RAR_V5:
        return rarVolumes.isRar && rarVolumes.headersRead && !rarVolumes.isSolid;
    case ARCHIVE_FORMAT_7ZIP:
        return decodingUnits().size() > 1;
    case ARCHIVE_FORMAT_ISO9660:
        return listedEntries >= 0 && listedEntries <= maximumParallelIndexEntries;
    default:
        return false;
    }
}

// A 7z's runs of entries that decode together: whole folders, the small
// ones joined, with the entries after the last folder in the last run. A
// link's target is read with its header, which would set the run's own
// reader decoding.
QList<int> ArchiveEngine::Private::decodingUnits() const
{
    if (!sevenZipLayout || sevenZipLayout->storesLinks || sevenZipLayout->folderEnds.isEmpty())
        return {};
    // Asked for workers whatever the sizes: each folder is a run.
    const quint64 minimum = requestedWorkers() ? 0 : minimumUnitBytes;
    QList<int> ends;
    quint64 size = 0;
    for (qsizetype folder = 0; folder < sevenZipLayout->folderEnds.size(); ++folder) {
        size += sevenZipLayout->folderSizes[folder];
        if (size >= minimum) {
            ends.append(sevenZipLayout->folderEnds[folder]);
            size = 0;
        }
    }
    const int lastEntry = sevenZipLayout->entryCount - 1;
    if (ends.isEmpty() || ends.constLast() < lastEntry) {
        if (size < minimum / 2 && !ends.isEmpty())
            ends.removeLast(); // a small rest goes with the run before it
        ends.append(lastEntry);
    }
    if (qint64(ends.size()) * (lastEntry + 1) > maximumUnitWalk)
        return {};
    return ends;
}

int ArchiveEngine::Private::decodingWorkers() const
{
    const int requested = requestedWorkers();
    const int workers = requested ? requested : qMin(QThread::idealThreadCount(), maximumWorkers);
    if (workers < 2 || !entriesIndependent())
        return 1;
    return requested || knownTotal >= parallelThreshold ? workers : 1;
}

// The run lays out the tree in archive order; with several workers, they
// fill plain files as soon as the run has made them.
int ArchiveEngine::Private::extractInto(StagingFolder &staging)
{
    EntryWriter writer(staging.fd(), propagatesMetadata ? OriginMetadata::ofFile(path) : OriginMetadata());
    RunSettings settings = runSettings(staging);
    std::unique_ptr<ParallelFill> fill;
    if (const int workers = decodingWorkers(); workers > 1) {
        const QList<int> units = decodingUnits();
        fill = std::make_unique<ParallelFill>(
            ParallelFill::Setup{reader->volumes(), &writer, settings.rootPath, knownTotal, passwordHooks(), units,
                                decryptedView.get()},
            runHooks());
        settings.deferred = fill.get();
        fill->start(units.isEmpty() ? workers : qMin(workers, int(units.size())));
    }
    ExtractionRun run(*reader, writer, runHooks(), settings);
    int error = run.run(firstEntry);
    if (!error)
        error = reader->drainInput();
    if (fill) {
        if (error)
            fill->abandon();
        else
            error = fill->finish();
    }
    if (error)
        return error;
    writer.finish();
    if (shouldStop())
        return XADBreakError;
    if (staging.topLevelNames().isEmpty())
        return XADNoEntriesError;
    createdItem = publish(staging);
    if (createdItem.isNull())
        return XADWriteError;
    checksVerified = run.everyCheckMade() && rarChecksPossible() && reader->checksVerified();
    run.reportFinished();
    return XADNoError;
}

// One top-level item comes out on its own; several stay together in a
// folder named after the archive.
QString ArchiveEngine::Private::publish(StagingFolder &staging)
{
    const QStringList names = staging.topLevelNames();
    enclosingName = ArchiveNaming::enclosingName(path);
    if (names.size() == 1 && removesEnclosingDirectory)
        return staging.publishItem(names.constFirst());
    return staging.publishAsFolder(enclosingName);
}

RunHooks ArchiveEngine::Private::runHooks()
{
    RunHooks hooks;
    hooks.shouldStop = [this] { return shouldStop(); };
    hooks.decodeName = [this](const QByteArray &raw) { return decodeName(raw); };
    hooks.willExtract = [this](const XADEntryInfo &entry, const QString &to) {
        callDelegate([&](ArchiveEngineDelegate *target) { target->willExtractEntry(q, entry, to); });
    };
    hooks.didExtract = [this](const XADEntryInfo &entry, const QString &to, int error) {
        callDelegate([&](ArchiveEngineDelegate *target) { target->didExtractEntry(q, entry, to, error); });
    };
    hooks.byteProgress = [this](const XADEntryInfo &entry, qint64 file, qint64 fileSize, qint64 total,
                                qint64 totalSize) {
        callDelegate([&](ArchiveEngineDelegate *target) {
            target->extractionProgress(q, entry, file, fileSize, total, totalSize);
        });
    };
    hooks.estimatedProgress = [this](const XADEntryInfo &entry, double file, double total) {
        callDelegate([&](ArchiveEngineDelegate *target) {
            target->estimatedExtractionProgress(q, entry, file, total);
        });
    };
    hooks.passwordFailure = [this] { return passwords ? passwords->failure() : 0; };
    return hooks;
}

std::unique_ptr<ArchiveEngine> ArchiveEngine::forPath(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return nullptr;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    ::close(fd);
    return std::unique_ptr<ArchiveEngine>(new ArchiveEngine(std::make_unique<Private>(), path));
}

ArchiveEngine::ArchiveEngine(std::unique_ptr<Private> state, const QString &path)
    : UnarchiverBase(state.get()), d(std::move(state))
{
    d->q = this;
    d->path = QFileInfo(path).absoluteFilePath();
}

ArchiveEngine::~ArchiveEngine() = default;

void ArchiveEngine::setDelegate(ArchiveEngineDelegate *delegate)
{
    d->delegate.store(delegate);
}

ArchiveEngineDelegate *ArchiveEngine::delegate() const
{
    return d->delegate.load();
}

int ArchiveEngine::parse()
{
    return d->lastError = d->parse();
}

int ArchiveEngine::unarchive()
{
    return d->lastError = d->unarchive();
}

