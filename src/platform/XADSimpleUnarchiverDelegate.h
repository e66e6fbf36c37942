#pragma once

#include <QString>
#include <QtGlobal>

class XADSimpleUnarchiver;
class XADString;

// What the engine tells its delegate about one entry.
struct XADEntryInfo {
    QString path;         // decoded path inside the archive, '/'-separated
    qint64 size = -1;     // uncompressed size, -1 when the archive does not say
    bool isDirectory = false;
    bool isEncrypted = false;
};

// Callbacks arrive on the thread that runs parse() or unarchive(), during the
// call, and may block it (for instance while the user answers a prompt).
class XADSimpleUnarchiverDelegate {
public:
    virtual ~XADSimpleUnarchiverDelegate() = default;

    // Polled between entries and at least every MiB of output or input.
    virtual bool extractionShouldStop(XADSimpleUnarchiver *unarchiver) = 0;
    // On return the password is set on the unarchiver, or the run should stop.
    virtual void simpleUnarchiverNeedsPassword(XADSimpleUnarchiver *unarchiver) = 0;
    // An encoding name from XADString::encodingNameForEncoding(), or a null
    // string for none (the run then stops).
    virtual QString encodingNameForXADString(XADSimpleUnarchiver *unarchiver,
                                             const XADString &name) = 0;
    // Byte counts, when the total is known.
    virtual void extractionProgress(XADSimpleUnarchiver *unarchiver, const XADEntryInfo &entry,
                                    qint64 fileProgress, qint64 fileSize,
                                    qint64 totalProgress, qint64 totalSize) = 0;
    // Fractions from 0 to 1, when the total is not known.
    virtual void estimatedExtractionProgress(XADSimpleUnarchiver *unarchiver,
                                             const XADEntryInfo &entry,
                                             double fileProgress, double totalProgress) = 0;
    // The paths given here lie in the run's hidden staging folder inside the
    // destination; the result is moved out of it at the end of a good run.
    virtual void willExtractEntry(XADSimpleUnarchiver *, const XADEntryInfo &, const QString &) {}
    // error is 0 when the entry is fine, else an XADException code. Entries
    // refused for safety (XADUnsafePathError, XADPathTooLongError) are
    // skipped and the run goes on unless the delegate stops it; any other
    // error ends the run with that code. Device nodes, fifos and sockets are
    // skipped without a word.
    virtual void didExtractEntry(XADSimpleUnarchiver *unarchiver, const XADEntryInfo &entry,
                                 const QString &destinationPath, int error) = 0;
};
