#include "platform/engine/ParallelFill.h"

#include "platform/engine/ArchiveErrors.h"
#include "platform/engine/ArchiveReader.h"
#include "platform/engine/Utf8LocaleScope.h"
#include "platform/errors/XADException.h"

#include <archive_entry.h>
#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// As in a straight run: more retries in a row mean the archive goes nowhere.
constexpr int maximumRetries = 16;

constexpr int wakeBatch = 16;

constexpr std::chrono::nanoseconds pollPeriod = std::chrono::milliseconds(5);

} // namespace

// One reader over the archive, and the data of the file it is filling.
class ParallelFill::Worker : public BlockSource {
public:
    explicit Worker(ParallelFill &fill) : m_fill(fill), m_passwords(fill.m_setup.passwords) {}

    int run();

private:
    int runInOrder();
    int runUnits();
    int fillUnit(Unit unit);
    int openReader();
    int nextEntry(archive_entry **entry);
    int fillFile(archive_entry *entry, const DeferredFile &file);
    int failureCode(archive_entry *entry) const;
    bool nextBlock(const void **data, size_t *size, qint64 *offset, int *error) override;

    ParallelFill &m_fill;
    PassphraseBroker m_passwords;
    std::unique_ptr<ArchiveReader> m_reader;
    archive_entry *m_entry = nullptr;
    const DeferredFile *m_file = nullptr;
    qint64 m_fileDone = 0;
    qint64 m_sincePoll = 0;
};

int ParallelFill::Worker::run()
{
    return m_fill.m_setup.unitEnds.isEmpty() ? runInOrder() : runUnits();
}

int ParallelFill::Worker::openReader()
{
    m_reader = std::make_unique<ArchiveReader>(
        m_fill.m_setup.volumes, [this] { return m_fill.stopped(); }, [this] { return m_passwords.next(); });
    if (const DecryptedView *view = m_fill.m_setup.view)
        m_reader->readThrough(view->copy());
    return m_reader->open() < ARCHIVE_WARN ? failureCode(nullptr) : XADNoError;
}

int ParallelFill::Worker::runInOrder()
{
    if (const int error = openReader())
        return error;
    size_t next = 0;
    for (int number = 0;; ++number) {
        const Turn turn = m_fill.waitForEntry(number, &next);
        if (!turn.more)
            return XADNoError;
        if (m_fill.stopped())
            return XADBreakError;
        archive_entry *entry = nullptr;
        if (const int error = nextEntry(&entry))
            return error;
        if (turn.file) {
            if (const int error = fillFile(entry, *turn.file))
                return error;
        }
    }
}

int ParallelFill::Worker::runUnits()
{
    while (const std::optional<Unit> unit = m_fill.claimUnit()) {
        if (const int error = fillUnit(*unit))
            return error;
    }
    return XADNoError;
}

// The entries before the unit are only walked past, so the reader decodes
// nothing but the unit's own stream; it is closed before it could decode
// the next one.
int ParallelFill::Worker::fillUnit(Unit unit)
{
    if (const int error = openReader())
        return error;
    size_t next = m_fill.firstFileFrom(unit.first);
    for (int number = 0; number <= unit.last; ++number) {
        if (m_fill.stopped())
            return XADBreakError;
        archive_entry *entry = nullptr;
        if (const int error = nextEntry(&entry))
            return error;
        if (number < unit.first)
            continue;
        const Turn turn = m_fill.waitForEntry(number, &next);
        if (!turn.more)
            break;
        if (turn.file) {
            if (const int error = fillFile(entry, *turn.file))
                return error;
        }
    }
    m_reader.reset();
    return XADNoError;
}

// The entries the run saw are all still there: running out early means the
// archive reads differently the second time, which only damage explains.
int ParallelFill::Worker::nextEntry(archive_entry **entry)
{
    for (int retries = 0;;) {
        const int status = m_reader->nextHeader(entry);
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
    if (m_reader->wasStopped())
        return XADBreakError;
    return ArchiveErrors::codeFor(*m_reader, entry);
}

bool ParallelFill::Worker::nextBlock(const void **data, size_t *size, qint64 *offset, int *error)
{
    *error = XADNoError;
    la_int64_t at = 0;
    const int status = archive_read_data_block(m_reader->handle(), data, size, &at);
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
    m_fill.progress(m_file->info, m_fileDone, qint64(*size));
    return true;
}

ParallelFill::ParallelFill(Setup setup, RunHooks hooks) : m_setup(std::move(setup)), m_hooks(std::move(hooks)) {}

ParallelFill::~ParallelFill()
{
    abandon();
}

void ParallelFill::start(int workers)
{
    for (int i = 0; i < workers; ++i) {
        m_threads.emplace_back([this] {
            // Names must convert as they did for the run: the locale is per thread.
            Utf8LocaleScope utf8;
            Worker worker(*this);
            fail(worker.run());
        });
    }
}

void ParallelFill::defer(DeferredFile file)
{
    std::lock_guard lock(m_listLock);
    m_files.push_back(std::move(file));
    m_claimed.push_back(false);
}

// Workers that caught up with the layout are woken for a batch of entries,
// not for each one.
void ParallelFill::passed(int entryNumber)
{
    {
        std::lock_guard lock(m_listLock);
        m_passed = entryNumber;
    }
    if (entryNumber % wakeBatch == 0)
        m_laidOut.notify_all();
}

void ParallelFill::endLayout()
{
    {
        std::lock_guard lock(m_listLock);
        m_layoutDone = true;
    }
    m_laidOut.notify_all();
}

int ParallelFill::finish()
{
    endLayout();
    m_threads.clear(); // joins them all
    std::lock_guard lock(m_lock);
    return m_error;
}

void ParallelFill::abandon()
{
    m_failed = true;
    endLayout();
    m_threads.clear();
}

// Waits until the run has laid out this entry. *next walks the list of
// files along with the worker's entries.
ParallelFill::Turn ParallelFill::waitForEntry(int entryNumber, size_t *next)
{
    std::unique_lock lock(m_listLock);
    m_laidOut.wait(lock, [&] { return m_passed >= entryNumber || m_layoutDone || m_failed.load(); });
    while (*next < m_files.size() && m_files[*next].entryNumber < entryNumber)
        ++*next;
    Turn turn;
    if (*next == m_files.size()) {
        turn.more = !m_layoutDone && !m_failed.load();
        return turn;
    }
    if (m_files[*next].entryNumber == entryNumber && !m_claimed[*next]) {
        m_claimed[*next] = true;
        turn.file = m_files[*next];
    }
    return turn;
}

// Runs go out in archive order, each to the first worker free.
std::optional<ParallelFill::Unit> ParallelFill::claimUnit()
{
    std::lock_guard lock(m_listLock);
    const QList<int> &ends = m_setup.unitEnds;
    if (m_failed.load() || m_nextUnit >= ends.size())
        return std::nullopt;
    const qsizetype unit = m_nextUnit++;
    return Unit{unit == 0 ? 0 : ends[unit - 1] + 1, ends[unit]};
}

// Where in the list of files a worker starting at this entry begins to
// look; files the layout adds later come after it.
size_t ParallelFill::firstFileFrom(int entryNumber)
{
    std::lock_guard lock(m_listLock);
    const auto at = std::lower_bound(m_files.begin(), m_files.end(), entryNumber,
                                     [](const DeferredFile &file, int number) { return file.entryNumber < number; });
    return size_t(at - m_files.begin());
}

// A worker's failure ends the others at their next poll; theirs, a stop
// caused by it, do not replace it.
void ParallelFill::fail(int error)
{
    if (error == XADNoError)
        return;
    {
        std::lock_guard lock(m_lock);
        if (m_error == XADNoError || m_error == XADBreakError)
            m_error = error;
    }
    m_failed = true;
    // Workers waiting for the layout stop too.
    { std::lock_guard lock(m_listLock); }
    m_laidOut.notify_all();
}

// Every worker asks at every header and every MiB; one asks the delegate
// for all of them, a few times a second at most, so they never queue up
// behind each other for it.
bool ParallelFill::stopped()
{
    if (m_failed.load() || m_stopSeen.load())
        return true;
    const qint64 now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now().time_since_epoch()).count();
    qint64 last = m_lastPoll.load();
    if (now - last < pollPeriod.count() || !m_lastPoll.compare_exchange_strong(last, now))
        return false;
    if (m_hooks.shouldStop())
        m_stopSeen = true;
    return m_stopSeen.load();
}

void ParallelFill::progress(const XADEntryInfo &info, qint64 fileDone, qint64 bytes)
{
    const qint64 done = m_done.fetch_add(bytes) + bytes;
    std::unique_lock lock(m_lock, std::try_to_lock);
    if (!lock.owns_lock() || !m_throttle.shouldReport())
        return;
    lock.unlock();
    const qint64 total = m_setup.knownTotal;
    m_hooks.byteProgress(info, fileDone, info.size, qMin(done, total), total);
}
