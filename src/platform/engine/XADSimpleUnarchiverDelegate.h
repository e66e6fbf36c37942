#pragma once

#include "platform/engine/XADEntryInfo.h"

#include <QString>

class XADSimpleUnarchiver;
class XADString;

// What an unarchiver asks and tells while it runs. The engine inside its
// helper process and the program's end of it share these callbacks, each
// with its own unarchiver type. Callbacks arrive on the thread that runs
// parse() or unarchive(), during the call, and may block it (for instance
// while the user answers a prompt).
template <class Unarchiver>
class UnarchiverDelegate {
public:
    virtual ~UnarchiverDelegate() = default;

    // Polled between entries and at least every MiB of output or input.
    virtual bool extractionShouldStop(Unarchiver *unarchiver) = 0;
    // On return the password is set on the unarchiver, or the run should stop.
    virtual void simpleUnarchiverNeedsPassword(Unarchiver *unarchiver) = 0;
    // An encoding name from XADString::encodingNameForEncoding(), or a null
    // string for none (the run then stops).
    virtual QString encodingNameForXADString(Unarchiver *unarchiver,
                                             const XADString &name) = 0;
    // Byte counts, when the total is known.
    virtual void extractionProgress(Unarchiver *unarchiver, const XADEntryInfo &entry,
                                    qint64 fileProgress, qint64 fileSize,
                                    qint64 totalProgress, qint64 totalSize) = 0;
    // Fractions from 0 to 1, when the total is not known.
    virtual void estimatedExtractionProgress(Unarchiver *unarchiver,
                                             const XADEntryInfo &entry,
                                             double fileProgress, double totalProgress) = 0;
    // The paths given here lie in the run's hidden staging folder inside the
    // destination; the result is moved out of it at the end of a good run.
    virtual void willExtractEntry(Unarchiver *, const XADEntryInfo &, const QString &) {}
    // error is 0 when the entry is fine, else an XADException code; the
    // program's end, across the helper's channel, hears of failed entries only. Entries
    // refused for safety (XADUnsafePathError, XADPathTooLongError) are
    // skipped and the run goes on unless the delegate stops it; any other
    // error ends the run with that code. Device nodes, fifos and sockets are
    // skipped without a word.
    virtual void didExtractEntry(Unarchiver *unarchiver, const XADEntryInfo &entry,
                                 const QString &destinationPath, int error) = 0;
};

using XADSimpleUnarchiverDelegate = UnarchiverDelegate<XADSimpleUnarchiver>;
