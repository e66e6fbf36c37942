#pragma once

#include "extraction/ItemController.h"
#include "platform/system/ConditionLock.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

class ExtractionShell;
class ItemListView;
class PromptPresenter;
class QXTaskQueue;
class RARItem;

// Runs archives through the program. Each accepted path becomes an item with
// a row; its destination is checked on the setup queue (asking for a folder
// when it cannot be written), then it is extracted on the extraction queue,
// one archive at a time. When both queues have run dry, "exit app" decides
// between closing the window and ending the program.
//
// Everything except the three prompt requests and startConditionLock() runs
// on the main thread.
class ExtractionController : public QObject, public ItemController {
    Q_OBJECT
public:
    // Decides whether the process may write into a folder.
    using WriteTest = std::function<bool(const QString &folder)>;

    ExtractionController(PromptPresenter *prompts, ItemListView *rows, ExtractionShell *shell,
                         QObject *parent = nullptr);
    ~ExtractionController() override;

    // Accepts one path (any with a valid extension) or ignores it silently.
    void chooseFile(const QString &path);

    // The way out of the program: every item is cancelled, a prompt a worker
    // waits on is answered as its Cancel would answer it, and nothing new
    // starts. whenStopped runs once the running worker has ended and taken
    // its temporary folder away, or after stopWait at the latest. A second
    // call while stopping changes nothing.
    void stopEverything(std::function<void()> whenStopped);
    static constexpr std::chrono::milliseconds stopWait{5000};
    bool isStopping() const { return m_stopping; }
    // From the start of an item's worker until the item has finished.
    bool isExtracting() const { return m_running != nullptr; }

    // ItemController.
    void passwordWithItem(std::shared_ptr<RARItem> item) override;
    void encodingWithItem(std::shared_ptr<RARItem> item, const XADString &name) override;
    void errorTipWithItem(std::shared_ptr<RARItem> item) override;
    void startConditionLock() override;
    void stopConditionLock() override;
    void extractFinished(std::shared_ptr<RARItem> item) override;
    void readyComment() override;

    const QList<std::shared_ptr<RARItem>> &rarItems() const { return m_rarItems; }
    QXTaskQueue *setupTask();
    QXTaskQueue *extractTask();
    ConditionLock &pauseLock() { return m_pauseLock; }

    // The default is POSIX access(W_OK).
    void setWriteTest(WriteTest test) { m_writeTest = std::move(test); }
    static bool isWritableFolder(const QString &folder);

private:
    void checkDestinationPermit(std::shared_ptr<RARItem> item);
    void folderChosen(const std::shared_ptr<RARItem> &item, const QString &chosen);
    void startExtract(std::shared_ptr<RARItem> item);
    void extract(std::shared_ptr<RARItem> item);
    void cancelItem(const std::shared_ptr<RARItem> &item);
    void setupQueueEmpty();
    void extractQueueEmpty();
    void extractEnd();
    void stopWaitEnded();
    void finishStopping();
    void present(const std::function<void(PromptPresenter *, bool stopping)> &ask);

    PromptPresenter *m_prompts;
    ItemListView *m_rows;
    ExtractionShell *m_shell;
    std::recursive_mutex m_monitor;
    // Made with the controller: a worker may reach it before the main thread does.
    ConditionLock m_pauseLock{0};
    QList<std::shared_ptr<RARItem>> m_rarItems;
    QPointer<QXTaskQueue> m_setupTask;
    QPointer<QXTaskQueue> m_extractTask;
    WriteTest m_writeTest;
    std::shared_ptr<RARItem> m_running;
    std::function<void()> m_whenStopped;
    bool m_stopping = false;
};
