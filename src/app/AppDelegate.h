#pragma once

#include "app/LaunchHandler.h"
#include "app/schedule/ReviewScheduler.h"
#include "extraction/view/ControllerHost.h"

#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QSystemTrayIcon>
#include <memory>

class AboutBox;
class AppMenus;
class OpenPanel;
class QAction;
class QIcon;
class QMainWindow;
class QUrl;
class QXDescWindowController;
class QXPrefWindowController;
class RARViewController;
class ReviewPages;
class SingleInstance;

// The application shell: owns the main window and the windows the menus lead
// to, and hands the rest to its parts (the menus and tray icon, the launch
// and reopen rules, the open dialog, the pages and the review question).
// Everything runs on the main thread.
class AppDelegate : public QObject, public ControllerHost {
    Q_OBJECT
public:
    static constexpr int InitialWidth = 460;
    static constexpr int RecoveredContentHeight = LaunchHandler::RecoveredContentHeight;

    using Timings = LaunchTimings;

    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    // The whole start-up, in the platform's order: set-up, the files of the
    // launch, then the end of launching.
    void launch(const QStringList &files);
    // Files and reopen requests of later launches, which the single-instance
    // transport delivers, are handled like the platform's own.
    void acceptLaterLaunches(SingleInstance *instance);

    // Platform callbacks.
    void awakeFromNib();
    void applicationDidFinishLaunching();
    bool applicationOpenFile(const QString &path);
    bool applicationShouldHandleReopen();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return false; }

    // Files from any source; each reaches the controller and shows the window.
    void openFile(const QString &path);
    void startLaunch();
    void recoverWindowSize();

    // Menu actions.
    void menu_aboutAction();
    void menu_hideAction();
    void menu_quitAction();
    void menu_howtoUseAction();
    void menu_commentAction();
    void menu_supportAction();
    void downloadVantorAction();
    void downloadMiravelAction();

    // Called after every successful extraction.
    void readyComment() override;
    void goComment();

    // ControllerHost.
    QWidget *window() const override;
    void setWindowTitle() override;
    void setIsCompleted(bool completed) override { m_isCompleted = completed; }
    void menu_openAction() override;
    void menu_preferenceAction() override;
    void goCommentAction() override;
    void openPhoneAppAction() override;
    QWidget *makeBannerButton() const override;
    // Every way out (Quit in the menu or the tray, the "exit app" rule, a
    // termination signal): the running extraction is stopped and its
    // temporary folder removed, then the event loop ends normally.
    void terminate() override;

    RARViewController *rarVC();
    QXPrefWindowController *prefWC();
    QXDescWindowController *descWC();
    bool isOpened() const;
    bool isCompleted() const { return m_isCompleted; }

    QAction *menu_about() const;
    QAction *menu_hide() const;
    QAction *menu_quit() const;
    QAction *menu_pref() const;
    QAction *menu_open() const;
    // The open dialog while it is up; null otherwise.
    QFileDialog *openPanel() const;
    // Null where the desktop shows no tray.
    QSystemTrayIcon *trayIcon() const;
    ReviewScheduler &reviewScheduler();

    void setTimings(const Timings &timings);

    static QUrl supportPageUrl();
    // The icon theme's when Quillbox is installed, else the built-in one.
    static QIcon applicationIcon();
    // The name of the desktop entry, the icon and the AppStream component.
    static QString applicationId();
    // The name the menus, the title and the About box show.
    static QString applicationName();

private:
    void leaveTheScreen();
    void quitAfterStopping();

    std::unique_ptr<QMainWindow> m_window;
    QPointer<RARViewController> m_rarVC;
    std::unique_ptr<QXPrefWindowController> m_prefWC;
    std::unique_ptr<QXDescWindowController> m_descWC;
    std::unique_ptr<AppMenus> m_menus;
    std::unique_ptr<LaunchHandler> m_launch;
    std::unique_ptr<OpenPanel> m_openPanel;
    std::unique_ptr<ReviewPages> m_pages;
    std::unique_ptr<AboutBox> m_about;
    bool m_isCompleted = false;
};
