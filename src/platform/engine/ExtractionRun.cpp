#include "platform/engine/ExtractionRun.h"

#include "platform/engine/ArchiveErrors.h"
#include "platform/engine/ArchiveReader.h"
#include "platform/engine/formats/Crc32.h"
#include "platform/files/EntryPath.h"
#include "platform/files/EntryWriter.h"
#include "platform/errors/XADException.h"

#include <archive_entry.h>

namespace {

// libarchive asks to be called again after these; more in a row means the
// archive is going nowhere.
constexpr int maximumRetries = 16;

// Device nodes, fifos and sockets are never made.
bool isSpecialFile(mode_t type)
{
    return type == AE_IFCHR || type == AE_IFBLK || type == AE_IFIFO || type == AE_IFSOCK;
}

// Refusals keep the run going; everything else ends it.
bool endsRun(int error)
{
    return error != XADNoError && error != XADUnsafePathError && error != XADPathTooLongError;
}

// libarchive hands out only the data blocks of tar's sparse files and of
// zisofs files, so their data may end in a hole. A zip entry's data is
// checked against its CRC when it ends, so a shorter size field is what is
// wrong there. Anywhere else, data that ends early is a file cut short.
EntryMetadata::ShortData shortDataMeaning(int formatCode)
{
    switch (formatCode & ARCHIVE_FORMAT_BASE_MASK) {
    case ARCHIVE_FORMAT_TAR:
    case ARCHIVE_FORMAT_ISO9660:
        return EntryMetadata::ShortData::Hole;
    case ARCHIVE_FORMAT_ZIP:
        return EntryMetadata::ShortData::End;
    default:
        return EntryMetadata::ShortData::Truncated;
    }
}

EntryMetadata metadataOf(archive_entry *entry, int formatCode)
{
    EntryMetadata meta;
    meta.shortData = shortDataMeaning(formatCode);
    meta.mode = archive_entry_perm(entry);
    meta.hasMtime = archive_entry_mtime_is_set(entry);
    meta.mtime = {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)};
    meta.size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
    return meta;
}

const char *pathnameOf(archive_entry *entry)
{
    const char *name = archive_entry_pathname(entry);
    return name ? name : archive_entry_pathname_utf8(entry);
}

} // namespace

ExtractionRun::ExtractionRun(ArchiveReader &reader, EntryWriter &writer, RunHooks hooks, RunSettings settings)
    : m_reader(reader), m_writer(writer), m_hooks(std::move(hooks)), m_settings(std::move(settings))
{
}

int ExtractionRun::run(archive_entry *first)
{
    archive_entry *entry = first;
    int retries = 0;
    while (entry) {
        if (m_hooks.shouldStop())
            return XADBreakError;
        if (const int error = extractEntry(entry))
            return error;
        if (m_settings.deferred)
            m_settings.deferred->passed(m_entryNumber);
        else
            reportProgress(false);
        for (;;) {
            const int status = m_reader.nextHeader(&entry);
            if (status == ARCHIVE_EOF)
                return XADNoError;
            if (status == ARCHIVE_RETRY) {
                if (++retries < maximumRetries)
                    continue;
                return failureCode(nullptr);
            }
            if (status < ARCHIVE_WARN)
                return failureCode(nullptr);
            retries = 0;
            break;
        }
    }
    return XADNoError;
}

int ExtractionRun::extractEntry(archive_entry *entry)
{
    ++m_entryNumber;
    const mode_t type = archive_entry_filetype(entry);
    if (!archive_entry_hardlink(entry) && isSpecialFile(type))
        return XADNoError;
    QStringList path;
    int error = describeEntry(entry, &path);
    if (error || path.isEmpty()) {
        if (error && error != XADBreakError)
            m_hooks.didExtract(m_info, QString(), error);
        return endsRun(error) ? error : XADNoError;
    }
    if (canDefer(entry)) {
        error = deferEntry(entry, path);
        if (error && error != XADBreakError)
            m_hooks.didExtract(m_info, QString(), error);
        return endsRun(error) ? error : XADNoError;
    }
    const QString intended = m_settings.rootPath + u'/' + path.join(u'/');
    m_hooks.willExtract(m_info, intended);
    QString writtenAs;
    startJoinedCrc(entry);
    error = writeEntry(entry, path, &writtenAs);
    if (!error)
        error = checkJoinedCrc();
    if (!error && m_info.isEncrypted)
        m_passwordSettled = true;
    if (error != XADBreakError)
        m_hooks.didExtract(m_info, writtenAs.isEmpty() ? intended : m_settings.rootPath + u'/' + writtenAs, error);
    return endsRun(error) ? error : XADNoError;
}

// Fills m_info and the components to write; an empty path with no error
// means there is nothing to write ("./").
int ExtractionRun::describeEntry(archive_entry *entry, QStringList *path)
{
    m_entry = entry;
    m_info = XADEntryInfo();
    m_info.size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
    m_info.isDirectory = archive_entry_filetype(entry) == AE_IFDIR;
    m_info.isEncrypted = archive_entry_is_encrypted(entry);
    m_fileDone = 0;
    if (!m_settings.rawEntryName.isNull())
        m_info.path = m_settings.rawEntryName;
    else if (const int error = decode(pathnameOf(entry), &m_info.path))
        return error;
    switch (EntryPath::parse(m_info.path, m_settings.rootPath, path)) {
    case EntryPath::Fine:
        break;
    case EntryPath::Empty:
        // "./" and the like stand for the root itself; a file cannot.
        return m_info.isDirectory ? XADNoError : XADCorruptError;
    case EntryPath::Unsafe:
        return XADUnsafePathError;
    case EntryPath::TooLong:
        return XADPathTooLongError;
    }
    return cannotDecrypt(entry) ? XADUnsupportedEncryptionError : XADNoError;
}

int ExtractionRun::writeEntry(archive_entry *entry, const QStringList &path, QString *writtenAs)
{
    const EntryMetadata meta = metadataOf(entry, m_reader.formatCode());
    if (const char *hardlink = archive_entry_hardlink(entry)) {
        QString targetName;
        if (const int error = decode(hardlink, &targetName))
            return error;
        QStringList target;
        switch (EntryPath::parse(targetName, m_settings.rootPath, &target)) {
        case EntryPath::Fine:
            break;
        case EntryPath::Empty:
            return XADCorruptError;
        case EntryPath::Unsafe:
            return XADUnsafePathError;
        case EntryPath::TooLong:
            return XADPathTooLongError;
        }
        return m_writer.writeHardlink(path, target, meta, *this, writtenAs);
    }
    switch (archive_entry_filetype(entry)) {
    case AE_IFDIR:
        return m_writer.writeFolder(path, meta, writtenAs);
    case AE_IFLNK: {
        QString target;
        if (const int error = decode(archive_entry_symlink(entry), &target))
            return error;
        return m_writer.writeSymlink(path, target.toUtf8(), meta, writtenAs);
    }
    default:
        // Unknown kinds are plain files, as everywhere else.
        return m_writer.writeFile(path, meta, *this, writtenAs);
    }
}

// Plain files with data, each whole in its entry; checksums over files
// joined across volumes need their data in order, here.
bool ExtractionRun::canDefer(archive_entry *entry) const
{
    if (!m_settings.deferred || archive_entry_hardlink(entry) || archive_entry_filetype(entry) != AE_IFREG)
        return false;
    if (!archive_entry_size_is_set(entry) || archive_entry_size(entry) <= 0)
        return false;
    if (m_settings.joinedSizes.contains(m_entryNumber) || m_settings.crcCheckedHere.contains(m_entryNumber))
        return false;
    return m_passwordSettled || !(m_info.isEncrypted || archive_entry_is_data_encrypted(entry));
}

int ExtractionRun::deferEntry(archive_entry *entry, const QStringList &path)
{
    DeferredFile file;
    file.entryNumber = m_entryNumber;
    file.storedName = storedName(entry);
    file.meta = metadataOf(entry, m_reader.formatCode());
    file.info = m_info;
    if (const int error = m_writer.reserveFile(path, file.meta, &file.writtenAs))
        return error;
    m_settings.deferred->defer(std::move(file));
    return XADNoError;
}

QByteArray ExtractionRun::storedName(archive_entry *entry)
{
    return QByteArray(pathnameOf(entry));
}

int ExtractionRun::decode(const char *raw, QString *name)
{
    if (!raw) {
        *name = QStringLiteral("");
        return XADNoError;
    }
    *name = m_hooks.decodeName(QByteArray(raw));
    if (!name->isNull())
        return XADNoError;
    return m_hooks.shouldStop() ? XADBreakError : XADEncodingError;
}

bool ExtractionRun::cannotDecrypt(archive_entry *entry) const
{
    if (ArchiveErrors::formatCanDecrypt(m_reader.formatCode()))
        return false;
    if (archive_entry_is_data_encrypted(entry))
        return true;
    const char *raw = pathnameOf(entry);
    return raw && m_settings.encryptedNames.contains(QByteArray(raw));
}

int ExtractionRun::failureCode(archive_entry *entry) const
{
    if (const int password = m_hooks.passwordFailure())
        return password;
    return ArchiveErrors::codeFor(m_reader, entry);
}

bool ExtractionRun::nextBlock(const void **data, size_t *size, qint64 *offset, int *error)
{
    *error = XADNoError;
    la_int64_t at = 0;
    const int status = archive_read_data_block(m_reader.handle(), data, size, &at);
    if (status == ARCHIVE_EOF)
        return false;
    if (status != ARCHIVE_OK) {
        *error = failureCode(m_entry);
        return false;
    }
    *offset = at;
    addToJoinedCrc(*data, *size, at);
    m_fileDone = qMax(m_fileDone, qint64(at) + qint64(*size));
    m_totalDone += qint64(*size);
    m_sincePoll += qint64(*size);
    if (m_sincePoll >= pollInterval) {
        m_sincePoll = 0;
        if (m_hooks.shouldStop()) {
            *error = XADBreakError;
            return false;
        }
    }
    if (m_settings.deferred)
        m_settings.deferred->progress(m_info, m_fileDone, qint64(*size));
    else
        reportProgress(false);
    return true;
}

void ExtractionRun::startJoinedCrc(archive_entry *entry)
{
    m_summing = false;
    const bool checkedHere = m_settings.crcCheckedHere.contains(m_entryNumber);
    const auto joinedSize = m_settings.joinedSizes.constFind(m_entryNumber);
    if (!checkedHere && joinedSize == m_settings.joinedSizes.constEnd())
        return;
    if (!archive_entry_size_is_set(entry) ||
        (!checkedHere && quint64(archive_entry_size(entry)) != *joinedSize)) {
        m_everyCheckMade = false; // not the entry the headers describe
        return;
    }
    m_summing = true;
    m_crc = 0;
    m_summedUpTo = 0;
    m_sumExpectedSize = archive_entry_size(entry);
}

void ExtractionRun::addToJoinedCrc(const void *data, size_t size, qint64 offset)
{
    if (!m_summing)
        return;
    if (offset != m_summedUpTo) {
        m_summing = false;
        m_everyCheckMade = false;
        return;
    }
    m_crc = Crc32::of(data, size, m_crc);
    m_summedUpTo += qint64(size);
}

int ExtractionRun::checkJoinedCrc()
{
    if (!m_summing)
        return XADNoError;
    m_summing = false;
    if (m_summedUpTo != m_sumExpectedSize)
        return XADTruncatedError;
    if (m_settings.crcCheckedHere.contains(m_entryNumber)) {
        const std::optional<bool> matches =
            m_settings.crcMatches ? m_settings.crcMatches(m_entryNumber, m_crc) : std::nullopt;
        m_everyCheckMade = m_everyCheckMade && matches.has_value();
        return matches.value_or(true) ? XADNoError : XADChecksumError;
    }
    return m_crc == m_settings.joinedCrcs.value(m_entryNumber) ? XADNoError : XADChecksumError;
}

void ExtractionRun::reportFinished()
{
    reportProgress(true);
}

void ExtractionRun::reportProgress(bool finished)
{
    if (!finished && !m_throttle.shouldReport())
        return;
    if (m_settings.knownTotal > 0) {
        const qint64 total = m_settings.knownTotal;
        const qint64 done = finished ? total : qMin(m_totalDone, total);
        m_hooks.byteProgress(m_info, m_fileDone, m_info.size, done, total);
        return;
    }
    const qint64 archiveSize = m_reader.volumes().totalSize();
    double total = archiveSize > 0 ? double(m_reader.consumedBytes()) / double(archiveSize) : 0.0;
    total = finished ? 1.0 : qBound(0.0, total, 1.0);
    const double file = m_info.size > 0 ? qBound(0.0, double(m_fileDone) / double(m_info.size), 1.0) : 0.0;
    m_hooks.estimatedProgress(m_info, file, total);
}
