#pragma once

#include "platform/engine/UnarchiverBase.h"
#include "platform/engine/XADSimpleUnarchiverDelegate.h"

#include <QString>
#include <QStringList>
#include <memory>

// Reads one archive and extracts it into a destination folder. The reading
// is done by a helper process of its own, confined to the destination and
// to a bounded amount of memory; this is the program's end of it, and its
// delegate is called exactly as if the engine ran here. An archive that
// makes the helper crash, stall or exhaust its memory ends with an error
// (XADEngineFailedError, or XADCorruptError for one that stalls).
// One object per archive, driven from one worker thread.
class XADSimpleUnarchiver : public UnarchiverBase {
public:
    // Null when the file cannot be opened for reading.
    static std::unique_ptr<XADSimpleUnarchiver> simpleUnarchiverForPath(const QString &path);
    // A path at which nothing exists yet: the given one when free, otherwise a
    // readable variant in the same folder that keeps the extension
    // ("report.pdf" -> "report 2.pdf", "a.tar.gz" -> "a 2.tar.gz").
    static QString _findUniquePathForOriginalPath(const QString &path);

    ~XADSimpleUnarchiver();
    XADSimpleUnarchiver(const XADSimpleUnarchiver &) = delete;
    XADSimpleUnarchiver &operator=(const XADSimpleUnarchiver &) = delete;

    // May be cleared (nullptr) at any time; a cleared delegate is never
    // called again. Without one, nobody is asked: no password, and names are
    // decoded with the detected encoding or Latin-1.
    void setDelegate(XADSimpleUnarchiverDelegate *delegate);
    XADSimpleUnarchiverDelegate *delegate() const;

    // 0 on success, else an XADException code. parse() recognises the archive
    // without decompressing it; unarchive() reads it once, start to end, into
    // a hidden folder of its own inside the destination, then moves the
    // result beside it. A run that fails or is stopped leaves nothing behind.
    // Setting the destination before parse() lets one helper do both.
    int parse();
    int unarchive();


private:
    struct Private;
    XADSimpleUnarchiver(std::unique_ptr<Private> state, const QString &path);
    std::unique_ptr<Private> d;
};
