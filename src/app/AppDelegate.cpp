#include "AppDelegate.h"

#include "app/AboutBox.h"
#include "app/AppMenus.h"
#include "app/OpenPanel.h"
#include "app/QXBannerButton.h"
#include "app/QXDescWindowController.h"
#include "app/ReviewPages.h"
#include "extraction/view/RARViewController.h"
#include "platform/settings/UserDefaults.h"
#include "prompts/QXPrefWindowController.h"

#include <QCoreApplication>
#include <QIcon>
#include <QMainWindow>
#include <QMenuBar>
#include <QUrl>
#include <cstdlib>

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent)
    , m_window(std::make_unique<QMainWindow>())
    , m_launch(std::make_unique<LaunchHandler>(*this, *m_window))
    , m_openPanel(std::make_unique<OpenPanel>([this](const QString &path) { openFile(path); }))
    , m_pages(std::make_unique<ReviewPages>(m_window.get()))
    , m_about(std::make_unique<AboutBox>())
{
    // What an interface file would hold: the window, kept off screen until
    // the delegate shows it, and the menus with their actions.
    m_window->setObjectName(u"mainWindow"_qs);
    m_menus = std::make_unique<AppMenus>(*this, *m_window);
    m_window->resize(InitialWidth,
                     RecoveredContentHeight + m_window->menuBar()->sizeHint().height());
}

AppDelegate::~AppDelegate()
{
    // The controller's view lives in the window; the controller goes first so
    // that its rows are taken out of a view that still exists.
    delete m_rarVC.data();
}

void AppDelegate::launch(const QStringList &files)
{
    awakeFromNib();
    for (const QString &file : files)
        applicationOpenFile(file);
    applicationDidFinishLaunching();
}

void AppDelegate::acceptLaterLaunches(SingleInstance *instance)
{
    m_launch->acceptLaterLaunches(instance);
}

// --- Start-up and reopen: the launch handler's -----------------------------

void AppDelegate::awakeFromNib()
{
    setWindowTitle();
    m_menus->setMenuTitles();
    m_window->setCentralWidget(rarVC()->view());
    m_launch->scheduleFirstDescription();
    m_menus->buildTrayIcon();
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_launch->applicationDidFinishLaunching();
}

bool AppDelegate::applicationOpenFile(const QString &path)
{
    openFile(path);
    return true;
}

void AppDelegate::startLaunch()
{
    m_launch->startLaunch();
}

void AppDelegate::openFile(const QString &path)
{
    m_launch->openFile(path);
}

bool AppDelegate::applicationShouldHandleReopen()
{
    return m_launch->applicationShouldHandleReopen();
}

void AppDelegate::recoverWindowSize()
{
    m_launch->recoverWindowSize();
}

bool AppDelegate::isOpened() const
{
    return m_launch->isOpened();
}

void AppDelegate::setTimings(const Timings &timings)
{
    m_launch->setTimings(timings);
}

// --- Windows -----------------------------------------------------------------

QWidget *AppDelegate::window() const
{
    return m_window.get();
}

void AppDelegate::setWindowTitle()
{
    m_window->setWindowTitle(applicationName());
}

RARViewController *AppDelegate::rarVC()
{
    if (!m_rarVC)
        m_rarVC = new RARViewController(this, this);
    return m_rarVC;
}

QXPrefWindowController *AppDelegate::prefWC()
{
    if (!m_prefWC)
        m_prefWC = std::make_unique<QXPrefWindowController>();
    return m_prefWC.get();
}

QXDescWindowController *AppDelegate::descWC()
{
    if (!m_descWC)
        m_descWC = std::make_unique<QXDescWindowController>();
    return m_descWC.get();
}

void AppDelegate::menu_preferenceAction()
{
    prefWC()->orderFront();
}

void AppDelegate::menu_howtoUseAction()
{
    descWC()->orderFront();
}

void AppDelegate::menu_aboutAction()
{
    m_about->show(m_window.get());
}

void AppDelegate::menu_hideAction()
{
    m_window->hide();
}

void AppDelegate::menu_openAction()
{
    m_openPanel->show(m_window.get());
}

QFileDialog *AppDelegate::openPanel() const
{
    return m_openPanel->panel();
}

// --- Quitting ----------------------------------------------------------------

void AppDelegate::menu_quitAction()
{
    terminate();
}

void AppDelegate::terminate()
{
    leaveTheScreen();
    rarVC()->stopEverything([this] { quitAfterStopping(); });
}

// Quillbox looks gone the moment it is told to go. A running extraction
// still takes a moment to stop its helper and remove its temporary folder;
// nothing of that needs a window, and its prompts are answered as cancelled.
void AppDelegate::leaveTheScreen()
{
    for (QWidget *window : {static_cast<QWidget *>(m_window.get()), static_cast<QWidget *>(m_prefWC.get()),
                            static_cast<QWidget *>(m_descWC.get())}) {
        if (window)
            window->hide();
    }
    if (QSystemTrayIcon *tray = trayIcon())
        tray->hide();
}

// A worker that did not stop in time still holds its item, whose row must
// not be torn down under it on the way out: the process ends at once then,
// its temporary folder's lock goes with it and the next start sweeps it.
void AppDelegate::quitAfterStopping()
{
    if (m_rarVC && m_rarVC->isExtracting()) {
        UserDefaults::standardUserDefaults().synchronize();
        std::_Exit(0);
    }
    QCoreApplication::quit();
}

// --- Pages and the review: the review pages' ---------------------------------

void AppDelegate::menu_supportAction()
{
    m_pages->openSupportPage();
}

void AppDelegate::downloadVantorAction()
{
    m_pages->openVantorPage();
}

void AppDelegate::downloadMiravelAction()
{
    m_pages->openMiravelPage();
}

QWidget *AppDelegate::makeBannerButton() const
{
    return new QXBannerButton;
}

void AppDelegate::openPhoneAppAction()
{
    m_pages->openPhoneAppPage();
}

void AppDelegate::menu_commentAction()
{
    goComment();
}

void AppDelegate::readyComment()
{
    m_pages->readyComment();
}

void AppDelegate::goComment()
{
    m_pages->goComment();
}

void AppDelegate::goCommentAction()
{
    m_pages->goCommentAction();
}

ReviewScheduler &AppDelegate::reviewScheduler()
{
    return m_pages->reviewScheduler();
}

QUrl AppDelegate::supportPageUrl()
{
    return ReviewPages::supportPageUrl();
}

// --- Menus and the tray: the menus' -------------------------------------------

QAction *AppDelegate::menu_about() const { return m_menus->about(); }
QAction *AppDelegate::menu_hide() const { return m_menus->hide(); }
QAction *AppDelegate::menu_quit() const { return m_menus->quit(); }
QAction *AppDelegate::menu_pref() const { return m_menus->pref(); }
QAction *AppDelegate::menu_open() const { return m_menus->open(); }
QSystemTrayIcon *AppDelegate::trayIcon() const { return m_menus->trayIcon(); }

// --- Identity ----------------------------------------------------------------

QString AppDelegate::applicationId()
{
    return u"app.quillbox.Quillbox"_qs;
}

QString AppDelegate::applicationName()
{
    return u"Quillbox"_qs;
}

QIcon AppDelegate::applicationIcon()
{
    QIcon builtIn;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        builtIn.addFile(u":/icons/hicolor/%1x%1/apps/quillbox.png"_qs.arg(size), QSize(size, size));
    return QIcon::fromTheme(applicationId(), builtIn);
}
