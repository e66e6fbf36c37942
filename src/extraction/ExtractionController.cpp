#include "ExtractionController.h"

#include "access/QXURLCache.h"
#include "extraction/ExtractionShell.h"
#include "extraction/ItemListView.h"
#include "extraction/PromptPresenter.h"
#include "extraction/QXTaskQueue.h"
#include "extraction/RARItem.h"
#include "platform/encoding/XADString.h"
#include "platform/files/PathComponents.h"
#include "platform/settings/SecurityBookmark.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/settings/UserDefaults.h"
#include "support/MainQueue.h"
#include "support/StringExpand.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTimer>
#include <QUrl>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcController, "quillbox.controller")

ExtractionController::ExtractionController(PromptPresenter *prompts, ItemListView *rows,
                                           ExtractionShell *shell, QObject *parent)
    : QObject(parent), m_prompts(prompts), m_rows(rows), m_shell(shell)
{
}

ExtractionController::~ExtractionController() = default;

void ExtractionController::chooseFile(const QString &path)
{
    // On the way out, archives handed over by a later launch are not taken.
    if (m_stopping || !isValid(pathExtension(path)))
        return;
    std::lock_guard monitor(m_monitor);
    auto item = std::make_shared<RARItem>(path);
    m_rows->addRow(item, this);
    m_rarItems.append(item);
    m_rows->rowsChanged();
    setupTask()->taskWithTarget(this)->call(&ExtractionController::checkDestinationPermit, item);
}

// --- The queues -----------------------------------------------------------

QXTaskQueue *ExtractionController::setupTask()
{
    if (!m_setupTask) {
        m_setupTask = new QXTaskQueue(this);
        m_setupTask->setFinishAction(&ExtractionController::setupQueueEmpty, this);
    }
    return m_setupTask;
}

QXTaskQueue *ExtractionController::extractTask()
{
    if (!m_extractTask) {
        m_extractTask = new QXTaskQueue(this);
        m_extractTask->setFinishAction(&ExtractionController::extractQueueEmpty, this);
    }
    return m_extractTask;
}

bool ExtractionController::isWritableFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(folder);
    return ::access(native.constData(), W_OK) != -1;
}

// The setup task stays current while the folder question is open, so later
// items wait for it.
void ExtractionController::checkDestinationPermit(std::shared_ptr<RARItem> item)
{
    // A row cancelled while it waited is dropped without asking for a folder.
    if (item->isCancelled()) {
        startExtract(item);
        return;
    }
    const QString folder = item->desPath();
    const QUrl access = QXURLCache::sharedInstance().urlWithAllowAccessToPath(folder);
    if (!access.isEmpty())
        SecurityBookmark::startAccessingSecurityScopedResource(access);
    const bool writable = m_writeTest ? m_writeTest(folder) : isWritableFolder(folder);
    if (writable) {
        startExtract(item);
        return;
    }
    QPointer<ExtractionController> weak(this);
    m_prompts->chooseFolder(folder, [weak, item](const QString &chosen) {
        if (weak)
            weak->folderChosen(item, chosen);
    });
}

void ExtractionController::folderChosen(const std::shared_ptr<RARItem> &item, const QString &chosen)
{
    if (chosen.isNull()) {
        cancelItem(item);
        setupTask()->finishCurrentTask();
        return;
    }
    QXURLCache::sharedInstance().saveSecurityURL(QUrl::fromLocalFile(chosen));
    item->setDesPath(chosen);
    checkDestinationPermit(item);
}

// The extraction is queued before the setup task ends, so the setup queue's
// finish action finds the extraction queue busy and the end rule waits.
void ExtractionController::startExtract(std::shared_ptr<RARItem> item)
{
    if (item->isCancelled())
        cancelItem(item);
    else
        extractTask()->taskWithTarget(this)->call(&ExtractionController::extract, item);
    setupTask()->finishCurrentTask();
}

void ExtractionController::extract(std::shared_ptr<RARItem> item)
{
    // On the way out nothing starts; the task is simply never finished.
    if (m_stopping)
        return;
    m_running = item;
    item->extractFile();
}

void ExtractionController::cancelItem(const std::shared_ptr<RARItem> &item)
{
    if (!item)
        return;
    item->setIsCancelled(true);
    m_rows->removeRow(item);
    m_rarItems.removeAll(item);
    m_rows->rowsChanged();
}

void ExtractionController::readyComment()
{
    m_shell->readyComment();
}

void ExtractionController::extractFinished(std::shared_ptr<RARItem> item)
{
    if (item == m_running)
        m_running.reset();
    cancelItem(item);
    extractTask()->finishCurrentTask();
    if (m_stopping && !m_running)
        finishStopping();
}

// --- The end rule ---------------------------------------------------------

void ExtractionController::setupQueueEmpty()
{
    if (extractTask()->isEmpty())
        extractEnd();
}

void ExtractionController::extractQueueEmpty()
{
    if (setupTask()->isEmpty())
        extractEnd();
}

void ExtractionController::extractEnd()
{
    if (m_stopping)
        return; // the program is on its way out already
    if (UserDefaults::standardUserDefaults().integerForKey(SettingsKeys::ExitApp) == 0)
        m_shell->closeWindow();
    else
        m_shell->terminate();
}

// --- The way out ------------------------------------------------------------

void ExtractionController::stopEverything(std::function<void()> whenStopped)
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_whenStopped = std::move(whenStopped);
    for (const auto &item : std::as_const(m_rarItems))
        item->extractCancel();
    // The worker released from a prompt sees its item cancelled and ends the run.
    m_prompts->cancelOpenPrompts();
    if (!m_running) {
        finishStopping();
        return;
    }
    QTimer::singleShot(stopWait, this, &ExtractionController::stopWaitEnded);
}

// The engine looks at the stop flag at least every MiB, so only a worker
// stuck in the system gets here. Its folder's lock goes with the process,
// and the next start sweeps the folder.
void ExtractionController::stopWaitEnded()
{
    if (!m_whenStopped)
        return;
    qCWarning(lcController) << "the running extraction did not stop within" << stopWait.count() << "ms";
    finishStopping();
}

void ExtractionController::finishStopping()
{
    if (auto whenStopped = std::exchange(m_whenStopped, nullptr))
        whenStopped();
}

// --- Prompts --------------------------------------------------------------

// The requests come from the worker; the prompts are put on the main thread.
void ExtractionController::present(const std::function<void(PromptPresenter *, bool stopping)> &ask)
{
    enterForeground([weak = QPointer<ExtractionController>(this), ask] {
        if (weak)
            ask(weak->m_prompts, weak->m_stopping);
    });
}

namespace {
PromptPresenter::Delivery deliveryWhen(bool stopping)
{
    return stopping ? PromptPresenter::Delivery::AnswerAsCancelled : PromptPresenter::Delivery::Show;
}
} // namespace

void ExtractionController::passwordWithItem(std::shared_ptr<RARItem> item)
{
    present([item](PromptPresenter *prompts, bool stopping) {
        prompts->presentPassword(item, deliveryWhen(stopping));
    });
}

void ExtractionController::encodingWithItem(std::shared_ptr<RARItem> item, const XADString &name)
{
    present([item, name](PromptPresenter *prompts, bool stopping) {
        prompts->presentEncoding(item, name, deliveryWhen(stopping));
    });
}

void ExtractionController::errorTipWithItem(std::shared_ptr<RARItem> item)
{
    present([item](PromptPresenter *prompts, bool stopping) {
        prompts->presentError(item, deliveryWhen(stopping));
    });
}

void ExtractionController::startConditionLock()
{
    m_pauseLock.lockWhenCondition(1);
    m_pauseLock.unlockWithCondition(0);
}

void ExtractionController::stopConditionLock()
{
    m_pauseLock.lockWhenCondition(0);
    m_pauseLock.unlockWithCondition(1);
}
