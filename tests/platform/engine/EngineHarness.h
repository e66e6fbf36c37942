#pragma once

#include "ArchiveMaker.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "platform/engine/ArchiveReader.h"
#include "platform/engine/XADSimpleUnarchiverDelegate.h"
#include "platform/engine/formats/DecryptedView.h"

#include <QMap>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// A delegate that answers from a script and records what the engine told it.
class RecordingDelegate : public XADSimpleUnarchiverDelegate {
public:
    std::atomic<bool> stop{false};
    // Handed out one per request; when none is left the delegate answers
    // nothing, and sets the stop flag if stopWhenUnanswered.
    QStringList passwordAnswers;
    bool stopWhenUnanswered = false;
    std::atomic<int> passwordRequests{0};
    int encodingRequests = 0;
    QList<QPair<QString, int>> entryErrors;
    QList<int> errorCodes; // the same errors' codes alone

    bool extractionShouldStop(XADSimpleUnarchiver *) override { return stop.load(); }
    void simpleUnarchiverNeedsPassword(XADSimpleUnarchiver *unarchiver) override;
    // The detected encoding when it decodes the name, else ISO-8859-1.
    QString encodingNameForXADString(XADSimpleUnarchiver *, const XADString &name) override;
    void extractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, qint64, qint64, qint64, qint64) override {}
    void estimatedExtractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, double, double) override {}
    void didExtractEntry(XADSimpleUnarchiver *, const XADEntryInfo &entry, const QString &, int error) override
    {
        if (error) {
            entryErrors.append({entry.path, error});
            errorCodes.append(error);
        }
    }
};

// Sets the delegate's stop flag after a delay, from a thread of its own,
// unless it is disarmed first.
struct StopTimer {
    std::atomic<bool> fired{false};
    std::jthread thread;
    StopTimer(RecordingDelegate *delegate, int milliseconds)
        : thread([this, delegate, milliseconds](std::stop_token disarmed) {
              std::mutex mutex;
              std::unique_lock lock(mutex);
              std::condition_variable_any().wait_for(lock, disarmed, std::chrono::milliseconds(milliseconds),
                                                     [] { return false; });
              if (!disarmed.stop_requested())
                  fired = delegate->stop = true;
          })
    {
    }
    void disarm() { thread = {}; }
};

struct EngineResult {
    bool opened = false;
    int parse = -1;
    int unarchive = -1;
    QString created;
    QString enclosing;
    QString subject;       // what a failure was about
    QStringList volumes;   // the files read
    bool verified = false; // every check made
    int code() const { return parse != 0 ? parse : unarchive; }
};

// parse() then unarchive() into destination, as the archive item does.
EngineResult runEngine(const QString &archive, const QString &destination,
                       XADSimpleUnarchiverDelegate *delegate, bool removeSoloFolder = true);
// The entries written with ArchiveMaker, then run; nothing opened if unwritten.
EngineResult makeAndRun(const QString &archive, const QString &format, const QString &filter,
                        const QList<ArchiveEntrySpec> &entries, const QString &destination,
                        XADSimpleUnarchiverDelegate *delegate);

// One item of a folder tree, by raw relative path: 'd' folder, 'f' file
// (content), 'l' symlink (target), 'o' anything else.
struct TreeItem {
    char kind = 'o';
    QByteArray content;
    bool operator==(const TreeItem &other) const = default;
};
using Tree = QMap<QByteArray, TreeItem>;
Tree listTree(const QString &root);
// Files and symlinks: not every reader lists the folders an archive implies.
Tree filesAndLinks(Tree tree);
QString describeTree(const Tree &tree);
// Shows both trees when they differ.
#define COMPARE_TREES(actual, expected)                                                                        \
    QVERIFY2((actual) == (expected), qPrintable(describeTree(actual) + u"\n---\n"_qs + describeTree(expected)))

// Every plain file libarchive reads through a decrypting view, by name, as
// the engine reads it; a file whose data fails to read holds "<unreadable>".
struct ViewFiles {
    QMap<QString, QByteArray> files;
    bool complete = false; // read to the end, every file's data with it
};
ViewFiles filesThroughView(const VolumeSet &volumes, std::unique_ptr<DecryptedView> view,
                           ArchiveReader::PassphraseSource passphrase = {});

// What libarchive's own reader finds in the volumes: the engine's reference.
Tree referenceTree(const QStringList &volumes, bool *ok, const QByteArray &passphrase = QByteArray());
