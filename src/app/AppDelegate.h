#pragma once

#include "app/ReviewScheduler.h"
#include "extraction/ControllerHost.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QSystemTrayIcon>
#include <chrono>
#include <memory>

class QAction;
class QIcon;
class QMainWindow;
class QMenu;
class QUrl;
class QXDescWindowController;
class QXPrefWindowController;
class RARViewController;
class SingleInstance;

// The application shell: the main window and its menus, the first showing of
// the window, files handed to the program (at launch, by a later launch, from
// the open dialog), reopening, and the windows and pages the menus lead to.
// Everything runs on the main thread.
class AppDelegate : public QObject, public ControllerHost {
    Q_OBJECT
public:
    static constexpr int InitialWidth = 460;
    static constexpr int RecoveredContentHeight = 300;

    // The waits of the start-up; tests shorten them.
    struct Timings {
        std::chrono::milliseconds startLaunch{300};
        std::chrono::milliseconds firstDescription{1000};
    };

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
    // Every way out (Quit in the menu or the tray, the "exit app" rule, a
    // termination signal): the running extraction is stopped and its
    // temporary folder removed, then the event loop ends normally.
    void terminate() override;

    RARViewController *rarVC();
    QXPrefWindowController *prefWC();
    QXDescWindowController *descWC();
    bool isOpened() const { return m_isOpened; }
    bool isCompleted() const { return m_isCompleted; }

    QAction *menu_about() const { return m_menuAbout; }
    QAction *menu_hide() const { return m_menuHide; }
    QAction *menu_quit() const { return m_menuQuit; }
    QAction *menu_pref() const { return m_menuPref; }
    QAction *menu_open() const { return m_menuOpen; }
    // The open dialog while it is up; null otherwise.
    QFileDialog *openPanel() const { return m_openPanel; }
    // Null where the desktop shows no tray.
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }
    ReviewScheduler &reviewScheduler() { return m_review; }

    void setTimings(const Timings &timings) { m_timings = timings; }

    static QUrl supportPageUrl();
    // The icon theme's when Quillbox is installed, else the built-in one.
    static QIcon applicationIcon();
    // The name of the desktop entry, the icon and the AppStream component.
    static QString applicationId();

private:
    int windowChrome() const;
    void buildMainMenu();
    void setMenuTitles();
    void buildTrayIcon();
    void openPanelFinished(int result);
    void quitAfterStopping();
    static void openPage(const QUrl &url);

    std::unique_ptr<QMainWindow> m_window;
    QPointer<RARViewController> m_rarVC;
    std::unique_ptr<QXPrefWindowController> m_prefWC;
    std::unique_ptr<QXDescWindowController> m_descWC;
    QPointer<QMessageBox> m_aboutBox;
    QPointer<QFileDialog> m_openPanel;
    QString m_openFolder;
    QPointer<QSystemTrayIcon> m_trayIcon;
    std::unique_ptr<QMenu> m_trayMenu;
    ReviewScheduler m_review;
    Timings m_timings;
    bool m_isOpened = false;
    bool m_isCompleted = false;

    QAction *m_menuAbout = nullptr;
    QAction *m_menuHide = nullptr;
    QAction *m_menuQuit = nullptr;
    QAction *m_menuPref = nullptr;
    QAction *m_menuOpen = nullptr;
    QAction *m_menuHowto = nullptr;
    QAction *m_menuComment = nullptr;
    QAction *m_menuSupport = nullptr;
    QAction *m_menuVantor = nullptr;
    QAction *m_menuMiravel = nullptr;
    QMenu *m_appMenu = nullptr;
    QMenu *m_fileMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
};
