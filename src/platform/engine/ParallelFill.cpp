#include "platform/engine/ParallelFill.h"

#include "platform/engine/ArchiveErrors.h"
#include "platform/engine/ArchiveReader.h"
#include "platform/engine/Utf8LocaleScope.h"
#include "platform/errors/XADException.h"

#include <archive_entry.h>
#include <thread>

namespace {

// As in a straight run: more retries in a row mean the archive goes nowhere.
constexpr int maximumRetries = 16;

} // namespace

// One reader over the archive, and the data of the file it is filling.
class ParallelFill::Worker : public BlockSource {
public:
    explicit Worker(ParallelFill &fill)
        : m_fill(fill), m_passwords(fill.m_setup.passwords),
          m_reader(fill.m_setup.volumes, [this] { return m_fill.stopped(); },
                   [this] { return m_passwords.next(); })
    {
    }

    int run();

private:
    int nextEntry(archive_entry **entry);
    int fillFile(archive_entry *entry, const DeferredFile &file);
    int failureCode(archive_entry *entry) const;
    bool nextBlock(const void **data, size_t *size, qint64 *offset, int *error) override;

    ParallelFill &m_fill;
    PassphraseBroker m_passwords;
    ArchiveReader m_reader;
    archive_entry *m_entry = nullptr;
    const DeferredFile *m_file = nullptr;
    qint64 m_fileDone = 0;
    qint64 m_sincePoll = 0;
};

int ParallelFill::Worker::run()
{
    if (m_reader.open() < ARCHIVE_WARN)
        return failureCode(nullptr);
    const std::vector<DeferredFile> &files = *m_fill.m_files;
    size_t next = 0;
    for (int number = 0; next < files.size(); ++number) {
        if (m_fill.stopped())
            return XADBreakError;
        archive_entry *entry = nullptr;
        if (const int error = nextEntry(&entry))
            return error;
        if (const DeferredFile *file = m_fill.claimAt(number, &next)) {
            if (const int error = fillFile(entry, *file))
                return error;
        }
    }
    return XADNoError;
}

// The entries the run saw are all still there: running out early means the
// archive reads differently the second time, which only damage explains.
int ParallelFill::Worker::nextEntry(archive_entry **entry)
{
    for (int retries = 0;;) {
        const int status = m_reader.nextHeader(entry);
        if (status == ARCHIVE_EOF)
            return XADCorruptError;
        if (status == ARCHIVE_RETRY && ++retries < maximumRetries)
            continue;
        if (status < ARCHIVE_WARN || status == ARCHIVE_RETRY)
            return failureCode(nullptr);
        return XADNoError;
    }
}

int ParallelFill::Worker::fillFile(archive_entry *entry, const DeferredFile &file)
{
    if (ExtractionRun::storedName(entry) != file.storedName)
        return XADCorruptError;
    const QString path = m_fill.m_setup.rootPath + u'/' + file.writtenAs;
    m_fill.m_hooks.willExtract(file.info, path);
    m_entry = entry;
    m_file = &file;
    m_fileDone = 0;
    const int error = m_fill.m_setup.writer->fillReserved(file.writtenAs, file.meta, *this);
    if (error != XADBreakError && !m_fill.m_failed.load())
        m_fill.m_hooks.didExtract(file.info, path, error);
    return error;
}

int ParallelFill::Worker::failureCode(archive_entry *entry) const
{
    if (const int password = m_passwords.failure())
        return password;
    if (m_reader.wasStopped())
        return XADBreakError;
    return ArchiveErrors::codeFor(m_reader, entry);
}

bool ParallelFill::Worker::nextBlock(const void **data, size_t *size, qint64 *offset, int *error)
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
    m_fileDone = qMax(m_fileDone, qint64(at) + qint64(*size));
    m_sincePoll += qint64(*size);
    if (m_sincePoll >= ExtractionRun::pollInterval) {
        m_sincePoll = 0;
        if (m_fill.stopped()) {
            *error = XADBreakError;
            return false;
        }
    }
    m_fill.addProgress(m_file->info, m_fileDone, qint64(*size));
    return true;
}

ParallelFill::ParallelFill(Setup setup, RunHooks hooks) : m_setup(std::move(setup)), m_hooks(std::move(hooks))
{
    m_done = m_setup.doneBefore;
}

ParallelFill::~ParallelFill() = default;

int ParallelFill::run(const std::vector<DeferredFile> &files, int workers)
{
    if (files.empty())
        return XADNoError;
    m_files = &files;
    m_claimed = std::make_unique<std::atomic<bool>[]>(files.size());
    std::vector<std::jthread> threads;
    for (int i = 0; i < workers; ++i)
        threads.emplace_back([this] { fail(work()); });
    threads.clear(); // joins them all
    std::lock_guard lock(m_lock);
    return m_error;
}

int ParallelFill::work()
{
    // Names must convert as they did for the run, whose locale is per thread.
    Utf8LocaleScope utf8;
    Worker worker(*this);
    return worker.run();
}

// A worker's failure ends the others at their next poll; theirs, a stop
// caused by it, do not replace it.
void ParallelFill::fail(int error)
{
    if (error == XADNoError)
        return;
    std::lock_guard lock(m_lock);
    if (m_error == XADNoError || m_error == XADBreakError)
        m_error = error;
    m_failed = true;
}

bool ParallelFill::stopped()
{
    return m_failed.load() || m_hooks.shouldStop();
}

// The unclaimed file at this entry, now this worker's; null when there is
// none. *next walks the list along with the worker's entries.
const DeferredFile *ParallelFill::claimAt(int entryNumber, size_t *next)
{
    const std::vector<DeferredFile> &files = *m_files;
    while (*next < files.size() && files[*next].entryNumber < entryNumber)
        ++*next;
    if (*next == files.size() || files[*next].entryNumber != entryNumber)
        return nullptr;
    const size_t index = (*next)++;
    return m_claimed[index].exchange(true) ? nullptr : &files[index];
}

void ParallelFill::addProgress(const XADEntryInfo &info, qint64 fileDone, qint64 bytes)
{
    const qint64 done = m_done.fetch_add(bytes) + bytes;
    std::unique_lock lock(m_lock, std::try_to_lock);
    if (!lock.owns_lock() || !m_throttle.shouldReport())
        return;
    lock.unlock();
    const qint64 total = m_setup.knownTotal;
    m_hooks.byteProgress(info, fileDone, info.size, qMin(done, total), total);
}
