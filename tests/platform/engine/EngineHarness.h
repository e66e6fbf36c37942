#pragma once

#include "ArchiveMaker.h"
#include "platform/engine/XADSimpleUnarchiverDelegate.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <functional>
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
    // Null: the detected encoding when it decodes the name, else ISO-8859-1.
    // "-": no answer at all.
    QString encodingAnswer;
    int encodingRequests = 0;
    QList<QPair<QString, int>> entryErrors;
    QStringList extracted;
    int byteReports = 0;
    int estimatedReports = 0;
    qint64 lastTotal = -1;
    qint64 lastTotalSize = -1;
    double lastFraction = -1;
    bool fractionsInRange = true;
    std::function<void()> onProgress;

    bool extractionShouldStop(XADSimpleUnarchiver *) override { return stop.load(); }
    void simpleUnarchiverNeedsPassword(XADSimpleUnarchiver *unarchiver) override;
    QString encodingNameForXADString(XADSimpleUnarchiver *, const XADString &name) override;
    void extractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, qint64, qint64,
                            qint64 totalProgress, qint64 totalSize) override;
    void estimatedExtractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, double,
                                     double totalProgress) override;
    void didExtractEntry(XADSimpleUnarchiver *, const XADEntryInfo &entry, const QString &,
                         int error) override;

    QList<int> errorCodes() const;
};

// Sets the delegate's stop flag after a delay, from a thread of its own,
// unless it is disarmed first.
class StopTimer {
public:
    StopTimer(RecordingDelegate *delegate, int milliseconds)
        : m_thread([this, delegate, milliseconds] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_disarmed; })) {
                  m_firedAt.start();
                  m_fired = true;
                  delegate->stop = true;
              }
          })
    {
    }
    ~StopTimer() { disarm(); }
    void disarm()
    {
        {
            std::lock_guard lock(m_mutex);
            m_disarmed = true;
        }
        m_done.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    bool fired() const { return m_fired; }
    qint64 sinceFired() const { return m_firedAt.elapsed(); }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_disarmed = false;
    QElapsedTimer m_firedAt;
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
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
};

// parse() then unarchive() into destination, as the archive item does.
EngineResult runEngine(const QString &archive, const QString &destination,
                       XADSimpleUnarchiverDelegate *delegate, bool removeSoloFolder = true);
// The entries written with ArchiveMaker to archive, then run into destination;
// nothing is opened when the archive could not be written.
EngineResult makeAndRun(const QString &archive, const QString &format, const QString &filter,
                        const QList<ArchiveEntrySpec> &entries, const QString &destination,
                        XADSimpleUnarchiverDelegate *delegate);

// One item of a folder tree, by raw relative path: 'd' folder, 'f' file
// (content), 'l' symlink (target), 'o' anything else.
struct TreeItem {
    char kind = 'o';
    QByteArray content;
    bool operator==(const TreeItem &other) const { return kind == other.kind && content == other.content; }
};
using Tree = QMap<QByteArray, TreeItem>;
Tree listTree(const QString &root);
// Only the files and symlinks: folders an archive implies are not listed by
// every reader.
Tree filesAndLinks(const Tree &tree);
QString describeTree(const Tree &tree);

// What libarchive's own file reader finds in the archive (all volumes in
// order), read straight into memory: the reference for the engine.
Tree referenceTree(const QStringList &volumes, bool *ok, const QByteArray &passphrase = QByteArray());

// A file's bytes, or a null array.
QByteArray readAll(const QString &path);
bool writeFile(const QString &path, const QByteArray &data);
