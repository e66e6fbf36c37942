#pragma once

#include "platform/engine/UnarchiverBase.h"
#include "platform/engine/XADSimpleUnarchiverDelegate.h"

#include <QString>
#include <QStringList>
#include <memory>

class ArchiveEngine;
using ArchiveEngineDelegate = UnarchiverDelegate<ArchiveEngine>;

// Reads one archive with libarchive and extracts it into a destination
// folder. It runs inside the helper process, which confines it; the program
// talks to it through XADSimpleUnarchiver. One object per archive.
class ArchiveEngine : public UnarchiverBase {
public:
    // Null when the file cannot be opened for reading.
    static std::unique_ptr<ArchiveEngine> forPath(const QString &path);

    ~ArchiveEngine();
    ArchiveEngine(const ArchiveEngine &) = delete;
    ArchiveEngine &operator=(const ArchiveEngine &) = delete;

    // May be cleared (nullptr) at any time; a cleared delegate is never
    // called again. Without one, nobody is asked: no password, and names are
    // decoded with the detected encoding or Latin-1.
    void setDelegate(ArchiveEngineDelegate *delegate);
    ArchiveEngineDelegate *delegate() const;

    // 0 on success, else an XADException code. parse() recognises the archive
    // without decompressing it; unarchive() reads it once, start to end, into
    // a hidden folder of its own inside the destination, then moves the
    // result beside it. A run that fails or is stopped leaves nothing behind.
    int parse();
    int unarchive();


private:
    struct Private;
    ArchiveEngine(std::unique_ptr<Private> state, const QString &path);
    std::unique_ptr<Private> d;
};
