#include "ArchiveMaker.h"

#include <archive.h>
#include <archive_entry.h>
#include <memory>
#include <sys/stat.h>

namespace {

struct WriterDeleter {
    void operator()(archive *a) const { archive_write_free(a); }
};
struct EntryDeleter {
    void operator()(archive_entry *e) const { archive_entry_free(e); }
};
using Writer = std::unique_ptr<archive, WriterDeleter>;
using Entry = std::unique_ptr<archive_entry, EntryDeleter>;

bool addEntry(archive *a, const ArchiveEntrySpec &wanted)
{
    Entry entry(archive_entry_new());
    archive_entry_copy_pathname(entry.get(), wanted.path.constData());
    archive_entry_set_mtime(entry.get(), 1700000000, 0);
    switch (wanted.type) {
    case ArchiveEntrySpec::File:
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_size(entry.get(), wanted.data.size());
        break;
    case ArchiveEntrySpec::Directory:
        archive_entry_set_filetype(entry.get(), AE_IFDIR);
        archive_entry_set_size(entry.get(), 0); // cpio writers insist
        break;
    case ArchiveEntrySpec::Symlink:
        archive_entry_set_filetype(entry.get(), AE_IFLNK);
        archive_entry_copy_symlink(entry.get(), wanted.linkTarget.constData());
        break;
    case ArchiveEntrySpec::Hardlink:
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_copy_hardlink(entry.get(), wanted.linkTarget.constData());
        archive_entry_set_size(entry.get(), 0);
        break;
    }
    archive_entry_set_perm(entry.get(), wanted.type == ArchiveEntrySpec::Directory ? 0755 : wanted.mode);
    if (archive_write_header(a, entry.get()) < ARCHIVE_WARN)
        return false;
    if (wanted.type == ArchiveEntrySpec::File && !wanted.data.isEmpty()) {
        if (archive_write_data(a, wanted.data.constData(), size_t(wanted.data.size())) < 0)
            return false;
    }
    return true;
}

} // namespace

bool ArchiveMaker::write(const QString &archivePath, const QString &format, const QString &filter,
                         const QList<ArchiveEntrySpec> &entries, const QString &options,
                         const QByteArray &passphrase)
{
    Writer a(archive_write_new());
    if (archive_write_set_format_by_name(a.get(), format.toUtf8().constData()) != ARCHIVE_OK)
        return false;
    if (!filter.isEmpty()
        && archive_write_add_filter_by_name(a.get(), filter.toUtf8().constData()) != ARCHIVE_OK)
        return false;
    if (!passphrase.isEmpty() && archive_write_set_passphrase(a.get(), passphrase.constData()) != ARCHIVE_OK)
        return false;
    if (!options.isEmpty() && archive_write_set_options(a.get(), options.toUtf8().constData()) != ARCHIVE_OK)
        return false;
    if (archive_write_open_filename(a.get(), archivePath.toLocal8Bit().constData()) != ARCHIVE_OK)
        return false;
    for (const auto &wanted : entries) {
        if (!addEntry(a.get(), wanted))
            return false;
    }
    return archive_write_close(a.get()) == ARCHIVE_OK;
}

bool ArchiveMaker::writeRawCompressed(const QString &path, const QString &filter, const QByteArray &data)
{
    Writer a(archive_write_new());
    if (archive_write_set_format_raw(a.get()) != ARCHIVE_OK
        || archive_write_add_filter_by_name(a.get(), filter.toUtf8().constData()) != ARCHIVE_OK
        || archive_write_open_filename(a.get(), path.toLocal8Bit().constData()) != ARCHIVE_OK)
        return false;
    Entry entry(archive_entry_new());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_size(entry.get(), data.size());
    if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK)
        return false;
    if (archive_write_data(a.get(), data.constData(), size_t(data.size())) < 0)
        return false;
    return archive_write_close(a.get()) == ARCHIVE_OK;
}
