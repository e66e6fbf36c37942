#include "AppDelegate.h"

#include "app/QXBannerInfo.h"
#include "app/QXDescWindowController.h"
#include "app/QXReviewPrompt.h"
#include "extraction/RARItem.h"
#include "extraction/RARViewController.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/settings/UserDefaults.h"
#include "prompts/QXPrefWindowController.h"
#include "platform/settings/SettingsKeys.h"
#include "support/Localized.h"
#include "window/WindowFrameAnimator.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QIcon>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <cstdlib>

namespace {

const QString kAppName = u"Quillbox"_qs;

} // namespace

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent), m_window(std::make_unique<QMainWindow>())
{
    // What an interface file would hold: the window, kept off screen until
    // the delegate shows it, and the menus with their actions.
    m_window->setObjectName(u"mainWindow"_qs);
    buildMainMenu();
    m_window->resize(InitialWidth,
                     RecoveredContentHeight + m_window->menuBar()->sizeHint().height());
    m_review.setAsk([this] { return QXReviewPrompt::ask(window()); });
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
    connect(instance, &SingleInstance::filesOpened, this, [this](const QStringList &paths) {
        for (const QString &path : paths)
            applicationOpenFile(path);
    });
    connect(instance, &SingleInstance::reopenRequested, this,
            &AppDelegate::applicationShouldHandleReopen);
}

// --- Start-up ------------------------------------------------------------

void AppDelegate::awakeFromNib()
{
    setWindowTitle();
    setMenuTitles();
    m_window->setCentralWidget(rarVC()->view());

    auto &defaults = UserDefaults::standardUserDefaults();
    if (!defaults.boolForKey(SettingsKeys::Desc)) {
        // Stored first, so a crash before the window opens still counts as shown.
        defaults.setBool(true, SettingsKeys::Desc);
        defaults.synchronize();
        QTimer::singleShot(m_timings.firstDescription, this, &AppDelegate::menu_howtoUseAction);
    }

    buildTrayIcon();
}

void AppDelegate::applicationDidFinishLaunching()
{
    QTimer::singleShot(m_timings.startLaunch, this, &AppDelegate::startLaunch);
}

bool AppDelegate::applicationOpenFile(const QString &path)
{
    openFile(path);
    return true;
}

void AppDelegate::startLaunch()
{
    if (!m_isOpened)
        showWindow();
}

void AppDelegate::openFile(const QString &path)
{
    m_isOpened = true;
    rarVC()->chooseFile(path);
    showWindow();
}

// --- Reopen ----------------------------------------------------------------

bool AppDelegate::applicationShouldHandleReopen()
{
    if (m_isCompleted)
        recoverWindowSize();
    showWindow();
    return false;
}

void AppDelegate::recoverWindowSize()
{
    WindowFrameAnimator *animator = rarVC()->frameAnimator();
    const QRect frame = animator->targetFrame(m_window.get());
    // Qt's y grows downwards, so keeping y keeps the top edge in place.
    const QRect target(frame.x(), frame.y(), frame.width(),
                       RecoveredContentHeight + windowChrome());
    animator->setFrame(m_window.get(), target, true);
}

// The height of the menu bar above the content, worked out the way the
// window's layout does. The content's own height cannot tell: a closed window
// may not have laid out its last size.
int AppDelegate::windowChrome() const
{
    const QWidget *bar = m_window->menuWidget();
    if (!bar || bar->isWindow())
        return 0;
    if (bar->isHidden() && bar->testAttribute(Qt::WA_WState_ExplicitShowHide))
        return 0;
    if (const auto *menuBar = qobject_cast<const QMenuBar *>(bar); menuBar && menuBar->isNativeMenuBar())
        return 0;
    const int height = bar->heightForWidth(m_window->width());
    return height >= 0 ? height : bar->sizeHint().height();
}

// --- Windows -----------------------------------------------------------------

QWidget *AppDelegate::window() const
{
    return m_window.get();
}

void AppDelegate::setWindowTitle()
{
    m_window->setWindowTitle(kAppName);
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
    if (!m_aboutBox) {
        m_aboutBox = new QMessageBox(m_window.get());
        m_aboutBox->setObjectName(u"aboutBox"_qs);
        m_aboutBox->setAttribute(Qt::WA_DeleteOnClose);
        m_aboutBox->setWindowModality(Qt::NonModal);
        //% "About %1"
        m_aboutBox->setWindowTitle(localizedString("menu_about").arg(kAppName));
        m_aboutBox->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
        //% "Version %1"
        const QString version =
            localizedString("about_version").arg(QApplication::applicationVersion());
        m_aboutBox->setText(u"<b>%1</b><br>%2"_qs.arg(kAppName, version.toHtmlEscaped()));
        //% "Extracts archives: drop them on the window, pick them in the Open dialog, or open them with Quillbox from the file manager."
        m_aboutBox->setInformativeText(localizedString("about_text"));
    }
    m_aboutBox->show();
    m_aboutBox->raise();
    m_aboutBox->activateWindow();
}

void AppDelegate::menu_hideAction()
{
    m_window->hide();
}

void AppDelegate::menu_quitAction()
{
    terminate();
}

void AppDelegate::terminate()
{
    rarVC()->stopEverything([this] { quitAfterStopping(); });
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

// --- The open dialog -----------------------------------------------------------

void AppDelegate::menu_openAction()
{
    if (m_openPanel) {
        m_openPanel->raise();
        m_openPanel->activateWindow();
        return;
    }
    auto *panel = new QFileDialog(m_window.get());
    panel->setObjectName(u"openPanel"_qs);
    panel->setFileMode(QFileDialog::ExistingFiles);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    // Where the user picked archives last time, as long as the program runs.
    panel->setDirectory(m_openFolder.isEmpty() ? QDir::homePath() : m_openFolder);
    //% "Unarchive"
    panel->setLabelText(QFileDialog::Accept, localizedString("unarchive"));
    panel->setWindowModality(Qt::WindowModal);
    connect(panel, &QFileDialog::finished, this, &AppDelegate::openPanelFinished);
    m_openPanel = panel;
    panel->open();
}

void AppDelegate::openPanelFinished(int result)
{
    QFileDialog *panel = m_openPanel;
    m_openPanel = nullptr;
    if (!panel)
        return;
    panel->hide();
    panel->deleteLater();
    if (result != QDialog::Accepted)
        return;
    m_openFolder = panel->directory().absolutePath();
    const QStringList files = panel->selectedFiles();
    for (const QString &file : files)
        openFile(file);
}

// --- Pages and the review ---------------------------------------------------------

QString AppDelegate::applicationId()
{
    return u"app.quillbox.Quillbox"_qs;
}

QIcon AppDelegate::applicationIcon()
{
    QIcon builtIn;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        builtIn.addFile(u":/icons/hicolor/%1x%1/apps/quillbox.png"_qs.arg(size), QSize(size, size));
    return QIcon::fromTheme(applicationId(), builtIn);
}

QUrl AppDelegate::supportPageUrl()
{
    return QUrl(u"https://quillbox.app/support"_qs);
}

void AppDelegate::openPage(const QUrl &url)
{
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

void AppDelegate::menu_supportAction()
{
    openPage(supportPageUrl());
}

void AppDelegate::downloadVantorAction()
{
    openPage(QUrl(QXBannerInfo::vantor().url()));
}

void AppDelegate::downloadMiravelAction()
{
    openPage(QUrl(QXBannerInfo::miravel().url()));
}

void AppDelegate::openPhoneAppAction()
{
    //% "https://quillbox.app/apps"
    const QUrl address(localizedString("ad.url"), QUrl::StrictMode);
    // The address comes from a translation file: only a web page may open.
    if (address.isValid() && (address.scheme() == u"https"_qs || address.scheme() == u"http"_qs))
        openPage(address);
}

void AppDelegate::menu_commentAction()
{
    goComment();
}

void AppDelegate::readyComment()
{
    m_review.readyComment();
}

void AppDelegate::goComment()
{
    m_review.goComment();
}

void AppDelegate::goCommentAction()
{
    m_review.goCommentAction();
}

// --- Menus and the tray --------------------------------------------------------------

void AppDelegate::buildMainMenu()
{
    QMenuBar *bar = m_window->menuBar();
    m_appMenu = bar->addMenu(kAppName);
    m_menuAbout = m_appMenu->addAction(QString(), this, &AppDelegate::menu_aboutAction);
    m_menuPref = m_appMenu->addAction(QString(), this, &AppDelegate::menu_preferenceAction);
    m_menuPref->setShortcut(QKeySequence(u"Ctrl+,"_qs));
    m_appMenu->addSeparator();
    m_menuHide = m_appMenu->addAction(QString(), this, &AppDelegate::menu_hideAction);
    m_menuHide->setShortcut(QKeySequence(u"Ctrl+H"_qs));
    m_appMenu->addSeparator();
    m_menuQuit = m_appMenu->addAction(QString(), this, &AppDelegate::menu_quitAction);
    m_menuQuit->setShortcut(QKeySequence::Quit);

    m_fileMenu = bar->addMenu(QString());
    m_menuOpen = m_fileMenu->addAction(QString(), this, &AppDelegate::menu_openAction);
    m_menuOpen->setShortcut(QKeySequence::Open);

    m_helpMenu = bar->addMenu(QString());
    m_menuHowto = m_helpMenu->addAction(QString(), this, &AppDelegate::menu_howtoUseAction);
    m_menuHowto->setShortcut(QKeySequence::HelpContents);
    m_menuComment = m_helpMenu->addAction(QString(), this, &AppDelegate::menu_commentAction);
    m_menuSupport = m_helpMenu->addAction(QString(), this, &AppDelegate::menu_supportAction);
    m_helpMenu->addSeparator();
    m_menuVantor = m_helpMenu->addAction(QString(), this, &AppDelegate::downloadVantorAction);
    m_menuMiravel = m_helpMenu->addAction(QString(), this, &AppDelegate::downloadMiravelAction);
}

void AppDelegate::setMenuTitles()
{
    //% "About %1"
    m_menuAbout->setText(localizedString("menu_about").arg(kAppName));
    //% "Hide %1"
    m_menuHide->setText(localizedString("menu_hide").arg(kAppName));
    //% "Quit %1"
    m_menuQuit->setText(localizedString("menu_quit").arg(kAppName));
    //% "Preferences…"
    m_menuPref->setText(localizedString("menu_pref"));
    //% "Open…"
    m_menuOpen->setText(localizedString("menu_open"));
    //% "File"
    m_fileMenu->setTitle(localizedString("menu_file"));
    //% "Help"
    m_helpMenu->setTitle(localizedString("menu_help"));
    //% "How to Use Quillbox"
    m_menuHowto->setText(localizedString("menu_howto"));
    //% "Write a Review"
    m_menuComment->setText(localizedString("menu_comment"));
    //% "Quillbox Support"
    m_menuSupport->setText(localizedString("menu_support"));
    //% "Get Vantor"
    m_menuVantor->setText(localizedString("menu_vantor"));
    //% "Get Miravel"
    m_menuMiravel->setText(localizedString("menu_miravel"));
}

void AppDelegate::buildTrayIcon()
{
    if (m_trayIcon || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_trayIcon = new QSystemTrayIcon(QApplication::windowIcon(), this);
    m_trayIcon->setToolTip(kAppName);
    // A tray menu has no parent widget to die with, so the delegate owns it.
    m_trayMenu = std::make_unique<QMenu>();
    QMenu *menu = m_trayMenu.get();
    //% "Show %1"
    menu->addAction(localizedString("tray_show").arg(kAppName), this,
                    &AppDelegate::applicationShouldHandleReopen);
    //% "Open…"
    menu->addAction(localizedString("menu_open"), this, [this] {
        applicationShouldHandleReopen();
        menu_openAction();
    });
    menu->addSeparator();
    //% "Quit %1"
    menu->addAction(localizedString("menu_quit").arg(kAppName), this,
                    &AppDelegate::menu_quitAction);
    m_trayIcon->setContextMenu(menu);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    applicationShouldHandleReopen();
            });
    m_trayIcon->show();
}
