#pragma once

#include "platform/system/TemporaryFolderLock.h"
#include "platform/engine/XADSimpleUnarchiverDelegate.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

class ItemController;
class ItemRow;
class XADSimpleUnarchiver;

// One archive on its way through the program: works out its temporary and
// destination folders, runs the engine on a worker thread of its own, answers
// the engine's callbacks and, at the end, moves the result into place on
// another worker, since across disks that is a copy that may take long.
// Always owned through std::shared_ptr; the workers keep it alive while they
// run, and it always dies on the main thread.
class RARItem : public XADSimpleUnarchiverDelegate, public std::enable_shared_from_this<RARItem> {
public:
    explicit RARItem(const QString &path);
    ~RARItem() override;
    RARItem(const RARItem &) = delete;
    RARItem &operator=(const RARItem &) = delete;


    QString path() const { return m_path; }
    QString filename() const;
    QString name() const;

    QString tmpPath();
    QString desPath() const;
    void setDesPath(const QString &folder) { m_desPath = folder; }

    XADSimpleUnarchiver *unarchiver();

    ItemRow *vc() const { return m_vc.get(); }
    void setVc(std::unique_ptr<ItemRow> row);

    bool isCancelled() const { return m_cancelled.load(); }
    void setIsCancelled(bool cancelled) { m_cancelled.store(cancelled); }
    QString password() const { return m_password; }
    void setPassword(const QString &password) { m_password = password; }
    quint64 encoding() const { return m_encoding; }
    void setEncoding(quint64 encoding) { m_encoding = encoding; }
    QString errorTip() const { return m_errorTip; }
    void setErrorTip(const QString &tip) { m_errorTip = tip; }

    // Main thread: starts the worker and returns at once.
    void extractFile();
    void extractCancel() { setIsCancelled(true); }

    // Engine callbacks, on the worker thread. The copy of the result to
    // another disk asks extractionShouldStop() too.
    bool extractionShouldStop(XADSimpleUnarchiver *unarchiver) override;
    void simpleUnarchiverNeedsPassword(XADSimpleUnarchiver *unarchiver) override;
    QString encodingNameForXADString(XADSimpleUnarchiver *unarchiver, const XADString &name) override;
    void extractionProgress(XADSimpleUnarchiver *unarchiver, const XADEntryInfo &entry,
                            qint64 fileProgress, qint64 fileSize,
                            qint64 totalProgress, qint64 totalSize) override;
    void estimatedExtractionProgress(XADSimpleUnarchiver *unarchiver, const XADEntryInfo &entry,
                                     double fileProgress, double totalProgress) override;
    void didExtractEntry(XADSimpleUnarchiver *unarchiver, const XADEntryInfo &entry,
                         const QString &destinationPath, int error) override;

private:
    // What the end of a run takes from the settings: read on the main thread
    // (the settings store is not safe to share with a worker) as the run
    // ends, so that a change made meanwhile still counts.
    struct Completion {
        QString destination;
        bool openFolder = false;
        bool deleteArchive = false;
    };
    enum class Placement { NothingToMove, Moved, CopyStopped, Failed };

    static void extractThread(std::shared_ptr<RARItem> self, const QString &destination);
    static void finishThread(std::shared_ptr<RARItem> self, const Completion &completion);
    static void endInFailure(std::shared_ptr<RARItem> self);
    static void extractFailTip(const std::shared_ptr<RARItem> &self);
    static bool refuseWhenShortOfSpace(const std::shared_ptr<RARItem> &self, const QString &destination);
    static QStringList readableSizes(qint64 first, qint64 second);
    void extractSuccess();
    void extractFail();
    void finishSuccess(const QString &finalPath, const Completion &completion);
    Placement placeCreatedItem(const QString &destination, QString *finalPath);
    void discardTemporaryFolder();
    void showResult(const QString &finalPath, const Completion &completion);
    void deleteArchive(const QString &finalPath);
    QString failureText() const;
    QString visibleFolder(const QString &folder) const;
    static QString reasonText(int error, const QString &subject);
    static void reportKeptResult(std::shared_ptr<RARItem> self, const QString &destination);
    void askAndWait(const std::function<void(ItemController *)> &ask);
    void postProgress(double fraction);
    void postCopyStarted(const QString &finalPath);
    ItemController *controller() const;

    QString m_path;
    QString m_desPath;
    QString m_tmpPath;
    TemporaryFolderLock m_tmpLock;
    QString m_password;
    QString m_errorTip;
    quint64 m_encoding = 0;
    std::atomic<bool> m_cancelled{false};
    // Set on the worker before the failure prompt is built there.
    bool m_entryErrorShown = false;
    std::unique_ptr<XADSimpleUnarchiver> m_unarchiver;
    std::unique_ptr<ItemRow> m_vc;
};
