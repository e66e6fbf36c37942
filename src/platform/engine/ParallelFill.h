#pragma once

#include "platform/engine/ExtractionRun.h"
#include "platform/engine/PassphraseBroker.h"
#include "platform/engine/formats/VolumeSet.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// Fills the files a run laid out but left empty, on several threads at once.
// Each worker reads the archive through a reader of its own, walks its
// headers in order and takes the next file nobody has taken yet, so the
// work evens out however the sizes fall. Only for formats whose entries
// decode independently (zip, non-solid RAR): there, skipping an entry costs
// a seek, not its decoding. The first failure stops every worker.
class ParallelFill {
public:
    struct Setup {
        VolumeSet volumes;
        const EntryWriter *writer = nullptr;
        QString rootPath;
        qint64 knownTotal = -1;
        qint64 doneBefore = 0; // written by the run before the fill
        PassphraseBroker::Hooks passwords;
    };

    // hooks: called from the workers, so they must be safe to call from any
    // thread, one at a time.
    ParallelFill(Setup setup, RunHooks hooks);
    ~ParallelFill();

    // 0 or the error that ended the fill.
    int run(const std::vector<DeferredFile> &files, int workers);

private:
    class Worker;
    friend class Worker;

    int work();
    bool stopped();
    void fail(int error);
    const DeferredFile *claimAt(int entryNumber, size_t *next);
    void addProgress(const XADEntryInfo &info, qint64 fileDone, qint64 bytes);

    Setup m_setup;
    RunHooks m_hooks;
    const std::vector<DeferredFile> *m_files = nullptr;
    std::unique_ptr<std::atomic<bool>[]> m_claimed;
    std::atomic<bool> m_failed{false};
    std::atomic<qint64> m_done{0};
    std::mutex m_lock; // the first error, and the throttle
    int m_error = 0;
    ProgressThrottle m_throttle;
};
