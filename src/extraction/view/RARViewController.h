#pragma once

#include "extraction/ExtractionShell.h"
#include "extraction/ItemController.h"
#include "extraction/ItemListView.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class ConditionLock;
class ControllerHost;
class ExtractionController;
class PromptSheets;
class QLabel;
class QPushButton;
class QWidget;
class QXEncodingWindowController;
class QXErrorWindowController;
class QXFolderPanel;
class QXPasswordWindowController;
class QXTaskQueue;
class RARChooseView;
class RARListView;
class RARItem;
class WindowFrameAnimator;
class WindowGeometry;

// The main window's view controller: the drop area, the item rows and the
// buttons. The archives' road itself is the extraction controller's; its
// prompts are shown as sheets on the main window, and the window's size
// follows the item list.
class RARViewController : public QObject, public ItemController, private ItemListView, private ExtractionShell {
    Q_OBJECT
public:
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
    // See ExtractionController::stopEverything.
    void stopEverything(std::function<void()> whenStopped);
    bool isExtracting() const;

    // ItemController: the items' own controller is the extraction controller.
    void passwordWithItem(std::shared_ptr<RARItem> item) override;
    void encodingWithItem(std::shared_ptr<RARItem> item, const XADString &name) override;
    void errorTipWithItem(std::shared_ptr<RARItem> item) override;
    void startConditionLock() override;
    void stopConditionLock() override;
    void extractFinished(std::shared_ptr<RARItem> item) override;
    // Also the shell's: the application shell keeps the review schedule.
    void readyComment() override;

    // The window's buttons.
    void openArchiveFileAction();
    void setupAction();
    void goCommentAction();
    void openPhoneAppAction();

    const QList<std::shared_ptr<RARItem>> &rarItems() const;
    QXTaskQueue *setupTask();
    QXTaskQueue *extractTask();
    ConditionLock &pauseLock();
    QXPasswordWindowController *passwordWindowCtl();
    QXEncodingWindowController *encodingWindowCtl();
    QXErrorWindowController *errorWindowCtl();
    // The folder sheet while it is up, else null.
    QXFolderPanel *folderPanel() const;
    // The animation of the window's size, for callers that wait for it.
    WindowFrameAnimator *frameAnimator();
    ExtractionController *extraction() const { return m_extraction; }
    void setWriteTest(std::function<bool(const QString &folder)> test);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // ItemListView.
    void addRow(const std::shared_ptr<RARItem> &item, ItemController *controller) override;
    void removeRow(const std::shared_ptr<RARItem> &item) override;
    void rowsChanged() override;
    // ExtractionShell.
    void closeWindow() override;
    void terminate() override;

    void awakeFromNib();
    void configUI();
    void connectButtons();
    void _layoutSubViews();

    ControllerHost *m_host;
    PromptSheets *m_prompts;
    WindowGeometry *m_geometry;
    ExtractionController *m_extraction;

    QPointer<QWidget> m_view;
    QPointer<RARChooseView> m_chooseView;
    QPointer<RARListView> m_listView;
};
