#include "RARViewController.h"

#include "access/QXURLCache.h"
#include "app/QXBannerButton.h"
#include "extraction/ControllerHost.h"
#include "extraction/QXFolderPanel.h"
#include "extraction/QXTaskQueue.h"
#include "extraction/RARItem.h"
#include "platform/settings/SecurityBookmark.h"
#include "platform/settings/UserDefaults.h"
#include "platform/encoding/XADString.h"
#include "prompts/QXEncodingPopUp.h"
#include "prompts/QXEncodingWindowController.h"
#include "prompts/QXErrorWindowController.h"
#include "prompts/QXPasswordWindowController.h"
#include "platform/settings/SettingsKeys.h"
#include "support/ArrayExpand.h"
#include "support/PathComponents.h"
#include "support/Localized.h"
#include "support/MainQueue.h"
#include "support/StringExpand.h"
#include "window/RARChooseView.h"
#include "window/RARItemViewController.h"
#include "window/RARListView.h"
#include "window/RARMainView.h"
#include "window/RowLayout.h"
#include "window/WindowFrameAnimator.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcController, "quillbox.controller")

RARViewController::RARViewController(ControllerHost *host, QObject *parent)
    : QObject(parent), m_host(host)
{
}

RARViewController::~RARViewController()
{
    // Rows belong to their items, which may outlive this controller on their
    // workers: take the rows out of the view, and let no item call back here.
    for (const auto &item : std::as_const(m_rarItems)) {
        auto *row = static_cast<RARItemViewController *>(item->vc());
        if (!row)
            continue;
        row->setController(nullptr);
        if (row->isViewLoaded())
            row->view()->setParent(nullptr);
    }
    delete m_view.data();
}

// --- The view -------------------------------------------------------------

QWidget *RARViewController::view()
{
    if (!m_view)
        awakeFromNib();
    return m_view;
}

RARChooseView *RARViewController::chooseView()
{
    view();
    return m_chooseView;
}

QLabel *RARViewController::tipLabel()
{
    return chooseView() ? m_chooseView->tipLabel() : nullptr;
}

QLabel *RARViewController::commentLabel()
{
    return chooseView() ? m_chooseView->commentLabel() : nullptr;
}

QPushButton *RARViewController::openButton()
{
    return chooseView() ? m_chooseView->openButton() : nullptr;
}

RARListView *RARViewController::listView()
{
    view();
    return m_listView;
}

QWidget *RARViewController::bannerButton()
{
    return chooseView() ? m_chooseView->bannerButton() : nullptr;
}

void RARViewController::awakeFromNib()
{
    auto *main = new RARMainView;
    main->setObjectName(u"RARViewController"_qs);
    main->installEventFilter(this);
    m_view = main;
    m_listView = new RARListView(main);
    m_listView->setGeometry(main->rect());
    m_listView->hide();
    m_chooseView = new RARChooseView(main);
    m_chooseView->setGeometry(main->rect());

    //% "Drop archives here"
    tipLabel()->setText(localizedString("drag_tip"));
    //% "Write a review"
    commentLabel()->setText(localizedString("write_review"));
    QPalette white = tipLabel()->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    tipLabel()->setPalette(white);
    //% "Open Archive…"
    openButton()->setText(localizedString("btn_open_archive"));
    configUI();
    m_chooseView->setBannerButton(new QXBannerButton);

    QPointer<RARViewController> weak(this);
    m_chooseView->setChooseFilesHandler([weak](const QStringList &paths) {
        for (const QString &path : paths) {
            if (!weak)
                return;
            weak->chooseFile(path);
        }
    });
    connectButtons();
}

void RARViewController::configUI()
{
    if (m_host)
        m_host->setWindowTitle();
}

void RARViewController::connectButtons()
{
    connect(m_chooseView->openButton(), &QPushButton::clicked, this,
            &RARViewController::openArchiveFileAction);
    connect(m_chooseView->settingsButton(), &QToolButton::clicked, this,
            &RARViewController::setupAction);
    connect(m_chooseView->reviewButton(), &QToolButton::clicked, this,
            &RARViewController::goCommentAction);
    //% "More Apps"
    m_chooseView->promotionButton()->setText(localizedString("more_apps"));
    connect(m_chooseView->promotionButton(), &QToolButton::clicked, this,
            &RARViewController::openPhoneAppAction);
    //% "Settings"
    m_chooseView->settingsButton()->setToolTip(localizedString("settings"));
    m_chooseView->reviewButton()->setToolTip(commentLabel()->text());
}

void RARViewController::openArchiveFileAction()
{
    if (m_host)
        m_host->menu_openAction();
}

void RARViewController::setupAction()
{
    if (m_host)
        m_host->menu_preferenceAction();
}

void RARViewController::goCommentAction()
{
    if (m_host)
        m_host->goCommentAction();
}

void RARViewController::openPhoneAppAction()
{
    if (m_host)
        m_host->openPhoneAppAction();
}

bool RARViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::Resize) {
        m_chooseView->setGeometry(m_view->rect());
        m_listView->setGeometry(m_view->rect());
    }
    return QObject::eventFilter(watched, event);
}

// --- The list layout ------------------------------------------------------

QWidget *RARViewController::mainWindow() const
{
    return m_host ? m_host->window() : nullptr;
}

WindowFrameAnimator *RARViewController::frameAnimator()
{
    if (!m_frameAnimator)
        m_frameAnimator = new WindowFrameAnimator(this);
    return m_frameAnimator;
}

// What the window has besides the rows (a menu bar, say). Measured while no
// animation runs, so an in-between size is never taken for the chrome.
int RARViewController::windowChrome() const
{
    QWidget *window = mainWindow();
    if (!window || !m_view || window == m_view || !window->isAncestorOf(m_view))
        return 0;
    if (window->layout())
        window->layout()->activate();
    return std::max(0, window->height() - m_view->height());
}

void RARViewController::_layoutSubViews()
{
    view();
    const bool empty = m_rarItems.isEmpty();
    if (m_host)
        m_host->setIsCompleted(empty);
    if (empty)
        m_chooseView->show();
    m_listView->setVisible(!empty);

    QWidget *window = mainWindow();
    const bool ownWindow = window && window != m_view;
    if (!frameAnimator()->isAnimating())
        m_chrome = windowChrome();
    const QRect current = ownWindow ? frameAnimator()->targetFrame(window) : m_view->geometry();
    const auto layout = RowLayout::compute(current, m_chrome, m_rarItems.size(), RowLayout::RowHeight,
                                           ownWindow ? roomBelow(window, current.top()) : RowLayout::Unlimited);

    QList<QWidget *> newestFirst;
    for (const auto &item : reverseArray(m_rarItems))
        newestFirst.append(static_cast<RARItemViewController *>(item->vc())->view());
    m_listView->setRows(newestFirst, RowLayout::RowHeight);
    m_listView->setScrollable(layout.visibleHeight < layout.contentHeight);
    if (ownWindow)
        frameAnimator()->setFrame(window, layout.windowGeometry, true);
    else
        m_view->resize(m_view->width(), layout.visibleHeight);
}

// The height the screen leaves for rows below the window's top edge, so a
// long list scrolls instead of running off the screen.
int RARViewController::roomBelow(const QWidget *window, int top) const
{
    const QScreen *screen = window->screen();
    if (!screen)
        return RowLayout::Unlimited;
    const int frameBottom = std::max(0, window->frameGeometry().bottom() - window->geometry().bottom());
    return screen->availableGeometry().bottom() + 1 - top - frameBottom - m_chrome;
}

// --- Choosing a file ------------------------------------------------------

void RARViewController::chooseFile(const QString &path)
{
    // On the way out, archives handed over by a later launch are not taken.
    if (m_stopping || !isValid(pathExtension(path)))
        return;
    chooseView()->hide();

    std::lock_guard monitor(m_monitor);
    auto item = std::make_shared<RARItem>(path);
    auto row = std::make_unique<RARItemViewController>();
    row->setController(this);
    row->setItem(item);
    row->setCancelHandler([](std::shared_ptr<RARItem> cancelled) {
        if (cancelled)
            cancelled->extractCancel();
    });
    RARItemViewController *rowController = row.get();
    item->setVc(std::move(row));

    m_listView->addRow(rowController->view());
    m_rarItems.append(item);
    _layoutSubViews();
    setupTask()->taskWithTarget(this)->call(&RARViewController::checkDestinationPermit, item);
}

QXFolderPanel *RARViewController::folderPanel() const
{
    return m_folderPanel;
}

// --- The queues -----------------------------------------------------------

QXTaskQueue *RARViewController::setupTask()
{
    if (!m_setupTask) {
        m_setupTask = new QXTaskQueue(this);
        m_setupTask->setFinishAction(&RARViewController::setupQueueEmpty, this);
    }
    return m_setupTask;
}

QXTaskQueue *RARViewController::extractTask()
{
    if (!m_extractTask) {
        m_extractTask = new QXTaskQueue(this);
        m_extractTask->setFinishAction(&RARViewController::extractQueueEmpty, this);
    }
    return m_extractTask;
}

bool RARViewController::isWritableFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(folder);
    return ::access(native.constData(), W_OK) != -1;
}

void RARViewController::checkDestinationPermit(std::shared_ptr<RARItem> item)
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
    if (writable)
        startExtract(item);
    else
        askForFolder(item, folder);
}

// The setup task stays current while the panel is up, so later items wait.
void RARViewController::askForFolder(const std::shared_ptr<RARItem> &item, const QString &folder)
{
    bringWindowBack();
    QPointer<RARViewController> weak(this);
    auto *panel = new QXFolderPanel(mainWindow(), folder, [weak, item](const QString &chosen) {
        if (weak)
            weak->folderPanelAnswered(item, chosen);
    });
    m_folderPanel = panel;
    panel->begin();
}

void RARViewController::folderPanelAnswered(const std::shared_ptr<RARItem> &item, const QString &chosen)
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
void RARViewController::startExtract(std::shared_ptr<RARItem> item)
{
    if (item->isCancelled())
        cancelItem(item);
    else
        extractTask()->taskWithTarget(this)->call(&RARViewController::extract, item);
    setupTask()->finishCurrentTask();
}

void RARViewController::extract(std::shared_ptr<RARItem> item)
{
    // On the way out nothing starts; the task is simply never finished.
    if (m_stopping)
        return;
    m_running = item;
    item->extractFile();
}

void RARViewController::cancelItem(const std::shared_ptr<RARItem> &item)
{
    if (!item)
        return;
    item->setIsCancelled(true);
    if (auto *row = static_cast<RARItemViewController *>(item->vc()); row && row->isViewLoaded())
        m_listView->takeRow(row->view());
    m_rarItems.removeAll(item);
    _layoutSubViews();
}

// The application shell keeps the review schedule.
void RARViewController::readyComment()
{
    if (m_host)
        m_host->readyComment();
}

void RARViewController::extractFinished(std::shared_ptr<RARItem> item)
{
    if (item == m_running)
        m_running.reset();
    cancelItem(item);
    extractTask()->finishCurrentTask();
    if (m_stopping && !m_running)
        finishStopping();
}

// --- The end rule ---------------------------------------------------------

void RARViewController::setupQueueEmpty()
{
    if (extractTask()->isEmpty())
        extractEnd();
}

void RARViewController::extractQueueEmpty()
{
    if (setupTask()->isEmpty())
        extractEnd();
}

void RARViewController::extractEnd()
{
    if (m_stopping)
        return; // the program is on its way out already
    if (UserDefaults::standardUserDefaults().integerForKey(SettingsKeys::ExitApp) == 0) {
        if (QWidget *window = mainWindow())
            window->close();
        return;
    }
    if (m_host)
        m_host->terminate();
    else
        QCoreApplication::quit();
}

// --- The way out ------------------------------------------------------------

void RARViewController::stopEverything(std::function<void()> whenStopped)
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_whenStopped = std::move(whenStopped);
    for (const auto &item : std::as_const(m_rarItems))
        item->extractCancel();
    answerOpenPrompts();
    if (!m_running) {
        finishStopping();
        return;
    }
    QTimer::singleShot(stopWait, this, &RARViewController::stopWaitEnded);
}

// Rejecting a prompt answers it as its Cancel button would and releases the
// worker; the worker then sees its item cancelled and ends the run.
void RARViewController::answerOpenPrompts()
{
    const QList<QXPromptWindowController *> prompts{m_passwordWindowCtl.data(), m_encodingWindowCtl.data(),
                                                    m_errorWindowCtl.data()};
    for (QXPromptWindowController *prompt : prompts) {
        if (prompt && prompt->isAwaitingAnswer())
            prompt->window()->reject();
    }
}

// The engine looks at the stop flag at least every MiB, so only a worker
// stuck in the system gets here. Its folder's lock goes with the process,
// and the next start sweeps the folder.
void RARViewController::stopWaitEnded()
{
    if (!m_whenStopped)
        return;
    qCWarning(lcController) << "the running extraction did not stop within" << stopWait.count() << "ms";
    finishStopping();
}

void RARViewController::finishStopping()
{
    if (auto whenStopped = std::exchange(m_whenStopped, nullptr))
        whenStopped();
}

// --- Prompts --------------------------------------------------------------

QXPasswordWindowController *RARViewController::passwordWindowCtl()
{
    if (!m_passwordWindowCtl)
        m_passwordWindowCtl = new QXPasswordWindowController(mainWindow());
    return m_passwordWindowCtl;
}

QXEncodingWindowController *RARViewController::encodingWindowCtl()
{
    if (!m_encodingWindowCtl)
        m_encodingWindowCtl = new QXEncodingWindowController(mainWindow());
    return m_encodingWindowCtl;
}

QXErrorWindowController *RARViewController::errorWindowCtl()
{
    if (!m_errorWindowCtl)
        m_errorWindowCtl = new QXErrorWindowController(mainWindow());
    return m_errorWindowCtl;
}

void RARViewController::beginSheet(QXPromptWindowController *prompt,
                                   const std::shared_ptr<RARItem> &item,
                                   const std::function<void()> &prepare)
{
    QDialog *window = prompt->window();
    prompt->endSheet();
    prompt->setItem(item);
    if (m_stopping) {
        // Asked on the way out: answered as cancelled, never shown.
        window->reject();
        return;
    }
    prepare();
    bringWindowBack();
    window->open();
}

// The user may have closed the window while an archive was on its way; a
// sheet on a closed window would leave the worker waiting unseen. A window
// already on screen is left where it is, so a prompt never steals the focus.
void RARViewController::bringWindowBack()
{
    QWidget *window = mainWindow();
    if (m_host && window && (!window->isVisible() || window->isMinimized()))
        m_host->showWindow();
}

void RARViewController::passwordWithItem(std::shared_ptr<RARItem> item)
{
    enterForeground([weak = QPointer<RARViewController>(this), item] {
        if (!weak)
            return;
        QXPasswordWindowController *prompt = weak->passwordWindowCtl();
        weak->beginSheet(prompt, item, [prompt] { prompt->passwordTextField()->setText(QString()); });
    });
}

void RARViewController::encodingWithItem(std::shared_ptr<RARItem> item, const XADString &name)
{
    enterForeground([weak = QPointer<RARViewController>(this), item, name] {
        if (!weak)
            return;
        QXEncodingWindowController *prompt = weak->encodingWindowCtl();
        weak->beginSheet(prompt, item, [prompt, &name] { prompt->encodingPopUp()->configEncodingWithString(name); });
    });
}

void RARViewController::errorTipWithItem(std::shared_ptr<RARItem> item)
{
    enterForeground([weak = QPointer<RARViewController>(this), item] {
        if (!weak)
            return;
        QXErrorWindowController *prompt = weak->errorWindowCtl();
        weak->beginSheet(prompt, item, [prompt, &item] { prompt->setErrorInfo(item->errorTip()); });
    });
}

void RARViewController::startConditionLock()
{
    m_pauseLock.lockWhenCondition(1);
    m_pauseLock.unlockWithCondition(0);
}

void RARViewController::stopConditionLock()
{
    m_pauseLock.lockWhenCondition(0);
    m_pauseLock.unlockWithCondition(1);
}
