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

class ControllerHost;
class QLabel;
class QPushButton;
class QWidget;
class QXEncodingWindowController;
class QXErrorWindowController;
class QXFolderPanel;
class QXPasswordWindowController;
class QXPromptWindowController;
class QXTaskQueue;
class RARChooseView;
class RARListView;
class RARItem;
class WindowFrameAnimator;

// Runs archives through the program and is the main window's view
// controller. Each accepted path becomes an item with a row; its destination
// is checked on the setup queue (asking for a folder when it cannot be
// written), then it is extracted on the extraction queue, one archive at a
// time. Prompts requested by an item's worker are shown as sheets on the main
// window while the worker waits on pauseLock. When both queues have run dry,
// "exit app" decides between closing the window and quitting.
//
// Everything except the three prompt requests and startConditionLock() runs
// on the main thread.
class RARViewController : public QObject, public ItemController {
    Q_OBJECT
public:
    // Decides whether the process may write into a folder.
    using WriteTest = std::function<bool(const QString &folder)>;

    explicit RARViewController(ControllerHost *host, QObject *parent = nullptr);
    ~RARViewController() override;

    // The main window's content; built on first read.
    QWidget *view();
    RARChooseView *chooseView();
    QLabel *tipLabel();
    QLabel *commentLabel();
    QPushButton *openButton();
    QWidget *bannerButton();
    RARListView *listView();

    // Accepts one path (any with a valid extension) or ignores it silently.
    void chooseFile(const QString &path);

    // The way out of the program: every item is cancelled, a prompt a worker
    // waits on is answered as its Cancel would answer it, and nothing new
    // starts. whenStopped runs once the running worker has ended and taken
    // its temporary folder away, or after stopWait at the latest. A second
    // call while stopping changes nothing.
    void stopEverything(std::function<void()> whenStopped);
    static constexpr std::chrono::milliseconds stopWait{5000};
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

    // The window's buttons.
    void openArchiveFileAction();
    void setupAction();
    void goCommentAction();
    void openPhoneAppAction();

    const QList<std::shared_ptr<RARItem>> &rarItems() const { return m_rarItems; }
    QXTaskQueue *setupTask();
    QXTaskQueue *extractTask();
    ConditionLock &pauseLock() { return m_pauseLock; }
    QXPasswordWindowController *passwordWindowCtl();
    QXEncodingWindowController *encodingWindowCtl();
    QXErrorWindowController *errorWindowCtl();
    // The folder sheet while it is up, else null.
    QXFolderPanel *folderPanel() const;

    // The default is POSIX access(W_OK).
    void setWriteTest(WriteTest test) { m_writeTest = std::move(test); }
    static bool isWritableFolder(const QString &folder);
    // The animation of the window's size, for callers that wait for it.
    WindowFrameAnimator *frameAnimator();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void awakeFromNib();
    void configUI();
    void connectButtons();
    void _layoutSubViews();
    int windowChrome() const;
    int roomBelow(const QWidget *window, int top) const;

    void checkDestinationPermit(std::shared_ptr<RARItem> item);
    void askForFolder(const std::shared_ptr<RARItem> &item, const QString &folder);
    void folderPanelAnswered(const std::shared_ptr<RARItem> &item, const QString &chosen);
    void startExtract(std::shared_ptr<RARItem> item);
    void extract(std::shared_ptr<RARItem> item);
    void cancelItem(const std::shared_ptr<RARItem> &item);
    void setupQueueEmpty();
    void extractQueueEmpty();
    void extractEnd();
    void answerOpenPrompts();
    void stopWaitEnded();
    void finishStopping();

    void beginSheet(QXPromptWindowController *prompt, const std::shared_ptr<RARItem> &item,
                    const std::function<void()> &prepare);
    QWidget *mainWindow() const;
    void bringWindowBack();

    ControllerHost *m_host;
    std::recursive_mutex m_monitor;
    // Made with the controller: a worker may reach it before the main thread does.
    ConditionLock m_pauseLock{0};
    QList<std::shared_ptr<RARItem>> m_rarItems;
    QPointer<QXTaskQueue> m_setupTask;
    QPointer<QXTaskQueue> m_extractTask;
    QPointer<QXPasswordWindowController> m_passwordWindowCtl;
    QPointer<QXEncodingWindowController> m_encodingWindowCtl;
    QPointer<QXErrorWindowController> m_errorWindowCtl;
    QPointer<QXFolderPanel> m_folderPanel;
    QPointer<WindowFrameAnimator> m_frameAnimator;
    WriteTest m_writeTest;
    std::shared_ptr<RARItem> m_running;
    std::function<void()> m_whenStopped;
    bool m_stopping = false;

    QPointer<QWidget> m_view;
    QPointer<RARChooseView> m_chooseView;
    QPointer<RARListView> m_listView;
    int m_chrome = 0;
};
