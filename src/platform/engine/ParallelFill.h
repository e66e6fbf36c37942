#pragma once

#include "platform/engine/ExtractionRun.h"
#include "platform/engine/PassphraseBroker.h"
#include "platform/engine/formats/DecryptedView.h"
#include "platform/engine/formats/VolumeSet.h"

#include <QList>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Fills the files a run lays out but leaves empty, on several threads, while
// the run goes on laying out the rest. Each worker reads the archive through
// a reader of its own, walks its headers in order and takes the next file
// nobody has taken yet, so the work evens out however the sizes fall. Only
// for formats whose entries decode independently (zip, non-solid RAR):
// there, skipping an entry costs a seek, not its decoding. Where entries
// share compressed streams (7z folders), a worker takes a whole stream at a
// time instead, with a fresh reader that skips to it: 7z skips cheaply only
// before it has decoded anything. The first failure stops every worker.
class ParallelFill : public DeferredFiles {
public:
    struct Setup {
        VolumeSet volumes;
        const EntryWriter *writer = nullptr;
        QString rootPath;
        qint64 knownTotal = -1;
        PassphraseBroker::Hooks passwords;
        // Where entries go in runs that decode together: the last entry
        // number of each run, in order, covering every entry. Empty: each
        // entry stands alone.
        QList<int> unitEnds;
        // What the run's reader reads instead of the volumes, if anything;
        // each worker reads a copy of its own.
        const DecryptedView *view = nullptr;
    };

    // hooks: called from the workers, so they must be safe to call from any
    // thread, one at a time.
    ParallelFill(Setup setup, RunHooks hooks);
    ~ParallelFill() override;

    void start(int workers);
    void defer(DeferredFile file) override;
    void passed(int entryNumber) override;
    void progress(const XADEntryInfo &entry, qint64 fileDone, qint64 bytes) override;
    // Once the run is through: waits for the workers. 0 or the error that
    // ended the fill.
    int finish();
    // The run failed: the workers stop where they are.
    void abandon();

private:
    class Worker;
    friend class Worker;

    struct Turn {
        std::optional<DeferredFile> file; // this worker's to fill
        bool more = true;                 // false: no file is left from here on
    };

    struct Unit {
        int first = 0;
        int last = 0;
    };

    Turn waitForEntry(int entryNumber, size_t *next);
    std::optional<Unit> claimUnit();
    size_t firstFileFrom(int entryNumber);
    void endLayout();
    bool stopped();
    void fail(int error);

    Setup m_setup;
    RunHooks m_hooks;
    std::vector<std::jthread> m_threads;

    std::mutex m_listLock; // the files, their claims, how far the layout is
    std::condition_variable m_laidOut;
    std::deque<DeferredFile> m_files;
    std::deque<bool> m_claimed;
    int m_passed = -1;
    bool m_layoutDone = false;
    qsizetype m_nextUnit = 0;

    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_stopSeen{false};
    std::atomic<qint64> m_lastPoll{0}; // steady-clock nanoseconds
    std::atomic<qint64> m_done{0};
    std::mutex m_lock; // the first error, and the throttle
    int m_error = 0;
    ProgressThrottle m_throttle;
};
