#include "platform/engine/ArchiveReader.h"

#include "platform/engine/formats/DecryptedView.h"
#include "platform/engine/streams/DecodeAhead.h"
#include "platform/engine/streams/StreamDecoder.h"
#include "platform/files/UniqueFd.h"
#include "platform/engine/streams/VolumeStream.h"
#include "platform/errors/XADException.h"

#include <QFile>
#include <archive_entry.h>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Large enough that system calls do not dominate, small enough to stay in
// the cache.
constexpr qsizetype readBlockSize = 1 << 20;

} // namespace

struct ArchiveReader::Volume {
    ArchiveReader *owner = nullptr;
    qsizetype index = 0;
    UniqueFd fd;
    qint64 position = 0;
};

void ArchiveReader::ArchiveFree::operator()(archive *a) const
{
    archive_read_free(a);
}

struct ArchiveReader::ViewPart {
    ArchiveReader *owner = nullptr;
    qsizetype index = 0;
    qint64 position = 0;
};

ArchiveReader::ArchiveReader(VolumeSet volumes, StopCheck stop, PassphraseSource passphrase)
    : m_volumes(std::move(volumes)), m_stop(std::move(stop)), m_passphrase(std::move(passphrase)),
      m_buffer(readBlockSize, Qt::Uninitialized), m_archive(archive_read_new())
{
}

ArchiveReader::~ArchiveReader() = default;

void ArchiveReader::readThrough(std::unique_ptr<DecryptedView> view)
{
    m_view = std::move(view);
    m_view->setPassphraseSource(m_passphrase);
}

std::unique_ptr<ArchiveReader> ArchiveReader::opened(const VolumeSet &volumes, const DecryptedView *view,
                                                     StopCheck stop)
{
    auto reader = std::make_unique<ArchiveReader>(volumes, std::move(stop), PassphraseSource());
    if (view)
        reader->readThrough(view->copy());
    return reader->open() == ARCHIVE_OK ? std::move(reader) : nullptr;
}

// A stream we decode ourselves reaches libarchive through one client that
// cannot seek: libarchive reads on where it would skip.
void ArchiveReader::startDecoder()
{
    auto input = std::make_unique<VolumeStream>(m_volumes, readBlockSize);
    if (!input->fill(StreamDecoder::headLength))
        return;
    m_decoder = StreamDecoder::forHead(input->unread());
    if (!m_decoder)
        return;
    m_input = std::move(input);
    if (m_decoder->outputBlockSize() > m_buffer.size())
        m_buffer.resize(m_decoder->outputBlockSize());
}

void ArchiveReader::configure()
{
    archive *a = m_archive.get();
    archive_read_set_passphrase_callback(a, this, &ArchiveReader::passphrase);
    if (m_view) {
        archive_read_support_format_by_code(a, m_view->formatCode());
        attachView();
        return;
    }
    archive_read_support_filter_all(a);
    // Every archive format libarchive reads, except mtree: an mtree file
    // names files on this computer and libarchive would copy them in.
    archive_read_support_format_7zip(a);
    archive_read_support_format_ar(a);
    archive_read_support_format_cab(a);
    archive_read_support_format_cpio(a);
    archive_read_support_format_iso9660(a);
    archive_read_support_format_lha(a);
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
    archive_read_support_format_tar(a);
    archive_read_support_format_warc(a);
    archive_read_support_format_xar(a);
    archive_read_support_format_zip(a);
    // Lowest bidder: only wins when nothing else recognises the data.
    archive_read_support_format_raw(a);
    if (m_decoder)
        attachDecoder();
    else
        attachVolumes();
}

void ArchiveReader::attachDecoder()
{
    m_ahead = std::make_unique<DecodeAhead>(*m_decoder, *m_input, m_buffer.size());
    archive_read_set_callback_data(m_archive.get(), this);
    archive_read_set_read_callback(m_archive.get(), &ArchiveReader::readDecoded);
}

void ArchiveReader::attachView()
{
    archive *a = m_archive.get();
    for (qsizetype i = 0; i < m_view->partCount(); ++i) {
        auto part = std::make_unique<ViewPart>();
        part->owner = this;
        part->index = i;
        archive_read_append_callback_data(a, part.get());
        m_viewParts.push_back(std::move(part));
    }
    archive_read_set_switch_callback(a, &ArchiveReader::switchViewPart);
    if (const char *options = m_view->readerOptions())
        archive_read_set_options(a, options);
    archive_read_set_read_callback(a, &ArchiveReader::readView);
    archive_read_set_skip_callback(a, &ArchiveReader::skipView);
    archive_read_set_seek_callback(a, &ArchiveReader::seekView);
}

void ArchiveReader::attachVolumes()
{
    archive *a = m_archive.get();
    for (qsizetype i = 0; i < m_volumes.count(); ++i) {
        auto volume = std::make_unique<Volume>();
        volume->owner = this;
        volume->index = i;
        archive_read_append_callback_data(a, volume.get());
        m_clients.push_back(std::move(volume));
    }
    archive_read_set_open_callback(a, &ArchiveReader::openVolume);
    archive_read_set_read_callback(a, &ArchiveReader::readVolume);
    archive_read_set_skip_callback(a, &ArchiveReader::skipVolume);
    archive_read_set_seek_callback(a, &ArchiveReader::seekVolume);
    archive_read_set_close_callback(a, &ArchiveReader::closeVolume);
    archive_read_set_switch_callback(a, &ArchiveReader::switchVolume);
}

int ArchiveReader::open()
{
    if (!m_archive || m_volumes.count() == 0)
        return ARCHIVE_FATAL;
    if (!m_view)
        startDecoder();
    configure();
    return archive_read_open1(m_archive.get());
}

int ArchiveReader::nextHeader(archive_entry **entry)
{
    if (stopRequested())
        return ARCHIVE_FATAL;
    return archive_read_next_header(m_archive.get(), entry);
}

qint64 ArchiveReader::consumedBytes() const
{
    if (m_ahead)
        return m_ahead->consumed();
    if (m_view) {
        qint64 consumed = 0;
        for (qsizetype i = 0; i < m_current && i < m_view->partCount(); ++i)
            consumed += m_view->partSize(i);
        if (m_current < qsizetype(m_viewParts.size()))
            consumed += m_viewParts[size_t(m_current)]->position;
        return qMin(consumed, m_volumes.totalSize());
    }
    if (m_clients.empty())
        return 0;
    const qsizetype current = qBound<qsizetype>(0, m_current, qsizetype(m_clients.size()) - 1);
    return m_volumes.offsetOf(current) + m_clients[size_t(current)]->position;
}

int ArchiveReader::formatCode() const
{
    return archive_format(m_archive.get());
}

bool ArchiveReader::hasFilter() const
{
    return m_decoder || libarchiveFilters();
}

bool ArchiveReader::libarchiveFilters() const
{
    archive *a = m_archive.get();
    for (int i = 0; i < archive_filter_count(a); ++i) {
        if (archive_filter_code(a, i) != ARCHIVE_FILTER_NONE)
            return true;
    }
    return false;
}

QString ArchiveReader::errorString() const
{
    const char *text = archive_error_string(m_archive.get());
    return text ? QString::fromUtf8(text) : QString();
}

int ArchiveReader::drainInput()
{
    if (!m_ahead)
        return XADNoError;
    const char *block = nullptr;
    while (!m_ahead->finished() && !m_ahead->error()) {
        if (stopRequested())
            return XADBreakError;
        if (m_ahead->next(&block) == 0)
            break;
    }
    return m_ahead->error();
}

bool ArchiveReader::checksVerified() const
{
    if (libarchiveFilters())
        return false;
    return !m_ahead || (m_ahead->finished() && !m_ahead->error());
}

int ArchiveReader::streamError() const
{
    return m_ahead ? m_ahead->error() : XADNoError;
}

bool ArchiveReader::stopRequested()
{
    if (!m_stopped && m_stop && m_stop())
        m_stopped = true;
    return m_stopped;
}

int ArchiveReader::openVolume(archive *a, void *data)
{
    auto *volume = static_cast<Volume *>(data);
    ArchiveReader *self = volume->owner;
    const QByteArray path = QFile::encodeName(self->m_volumes.paths().at(volume->index));
    volume->fd.reset(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (!volume->fd.isValid()) {
        archive_set_error(a, errno, "Cannot open %s", path.constData());
        return ARCHIVE_FATAL;
    }
    ::posix_fadvise(volume->fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    volume->position = 0;
    self->m_current = volume->index;
    return ARCHIVE_OK;
}

int ArchiveReader::closeVolume(archive *, void *data)
{
    static_cast<Volume *>(data)->fd.reset();
    return ARCHIVE_OK;
}

int ArchiveReader::switchVolume(archive *a, void *from, void *to)
{
    if (from)
        closeVolume(a, from);
    return to ? openVolume(a, to) : ARCHIVE_OK;
}

la_ssize_t ArchiveReader::readVolume(archive *a, void *data, const void **buffer)
{
    auto *volume = static_cast<Volume *>(data);
    ArchiveReader *self = volume->owner;
    if (self->stopRequested()) {
        archive_set_error(a, ECANCELED, "Cancelled");
        return ARCHIVE_FATAL;
    }
    for (;;) {
        const ssize_t got = ::read(volume->fd.get(), self->m_buffer.data(), size_t(self->m_buffer.size()));
        if (got >= 0) {
            volume->position += got;
            *buffer = self->m_buffer.constData();
            return got;
        }
        if (errno != EINTR) {
            archive_set_error(a, errno, "Error reading archive");
            return ARCHIVE_FATAL;
        }
    }
}

// Hands libarchive whole blocks of decoded output straight from the buffer.
// Output that came before a failure is handed over first; the failure then
// ends the next read.
la_ssize_t ArchiveReader::readDecoded(archive *a, void *data, const void **buffer)
{
    auto *self = static_cast<ArchiveReader *>(data);
    if (self->stopRequested()) {
        archive_set_error(a, ECANCELED, "Cancelled");
        return ARCHIVE_FATAL;
    }
    const char *block = nullptr;
    const qsizetype got = self->m_ahead->next(&block);
    if (got == 0 && self->m_ahead->error()) {
        const QByteArray reason = XADException::describeXADError(self->m_ahead->error()).toUtf8();
        archive_set_error(a, EIO, "Compressed stream: %s", reason.constData());
        return ARCHIVE_FATAL;
    }
    *buffer = got ? block : self->m_buffer.constData();
    return got;
}

// Skips by seeking, but never past the end: libarchive then reads instead,
// which is how it notices a truncated volume.
la_int64_t ArchiveReader::skipVolume(archive *, void *data, la_int64_t request)
{
    auto *volume = static_cast<Volume *>(data);
    const qint64 size = volume->owner->m_volumes.size(volume->index);
    if (request <= 0 || volume->position >= size || request > size - volume->position)
        return 0;
    const off_t moved = ::lseek(volume->fd.get(), off_t(request), SEEK_CUR);
    if (moved < 0)
        return 0;
    const la_int64_t skipped = moved - volume->position;
    volume->position = moved;
    return skipped;
}

la_int64_t ArchiveReader::seekVolume(archive *a, void *data, la_int64_t offset, int whence)
{
    auto *volume = static_cast<Volume *>(data);
    const off_t moved = ::lseek(volume->fd.get(), off_t(offset), whence);
    if (moved < 0) {
        archive_set_error(a, errno, "Error seeking in archive");
        return ARCHIVE_FATAL;
    }
    volume->position = moved;
    return moved;
}

int ArchiveReader::switchViewPart(archive *, void *, void *to)
{
    if (auto *part = static_cast<ViewPart *>(to)) {
        part->position = 0;
        part->owner->m_current = part->index;
    }
    return ARCHIVE_OK;
}

la_ssize_t ArchiveReader::readView(archive *a, void *data, const void **buffer)
{
    auto *part = static_cast<ViewPart *>(data);
    ArchiveReader *self = part->owner;
    if (self->stopRequested()) {
        archive_set_error(a, ECANCELED, "Cancelled");
        return ARCHIVE_FATAL;
    }
    const qint64 got = self->m_view->read(part->index, part->position, self->m_buffer.data(), self->m_buffer.size());
    if (got < 0) {
        // A failed authentication code or stored checksum, mostly; a
        // password that failed is told by the passphrase source.
        archive_set_error(a, EIO, "Data fails its checksum or cannot be read");
        return ARCHIVE_FATAL;
    }
    part->position += got;
    *buffer = self->m_buffer.constData();
    return got;
}

la_int64_t ArchiveReader::skipView(archive *, void *data, la_int64_t request)
{
    auto *part = static_cast<ViewPart *>(data);
    const qint64 size = part->owner->m_view->partSize(part->index);
    const qint64 skipped = qBound(qint64(0), qint64(request), size - part->position);
    part->position += skipped;
    return skipped;
}

la_int64_t ArchiveReader::seekView(archive *a, void *data, la_int64_t offset, int whence)
{
    auto *part = static_cast<ViewPart *>(data);
    const qint64 size = part->owner->m_view->partSize(part->index);
    const qint64 base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? part->position : size;
    if (base + offset < 0) {
        archive_set_error(a, EINVAL, "Error seeking in archive");
        return ARCHIVE_FATAL;
    }
    part->position = base + offset;
    return part->position;
}

const char *ArchiveReader::passphrase(archive *, void *data)
{
    auto *self = static_cast<ArchiveReader *>(data);
    return self->m_passphrase ? self->m_passphrase() : nullptr;
}
