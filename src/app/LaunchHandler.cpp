#include "LaunchHandler.h"

#include "app/AppDelegate.h"
#include "extraction/view/RARViewController.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/settings/UserDefaults.h"
#include "window/WindowFrameAnimator.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>

LaunchHandler::LaunchHandler(AppDelegate &app, QMainWindow &window)
    : m_app(app), m_window(window)
{
}

void LaunchHandler::acceptLaterLaunches(SingleInstance *instance)
{
    connect(instance, &SingleInstance::filesOpened, &m_app, [this](const QStringList &paths) {
        for (const QString &path : paths)
            m_app.applicationOpenFile(path);
    });
    connect(instance, &SingleInstance::reopenRequested, &m_app,
            &AppDelegate::applicationShouldHandleReopen);
}

void LaunchHandler::scheduleFirstDescription()
{
    auto &defaults = UserDefaults::standardUserDefaults();
    if (defaults.boolForKey(SettingsKeys::Desc))
        return;
    // Stored first, so a crash before the window opens still counts as shown.
    defaults.setBool(true, SettingsKeys::Desc);
    defaults.synchronize();
    QTimer::singleShot(m_timings.firstDescription, &m_app, &AppDelegate::menu_howtoUseAction);
}

void LaunchHandler::applicationDidFinishLaunching()
{
    QTimer::singleShot(m_timings.startLaunch, &m_app, &AppDelegate::startLaunch);
}

// A launch with files has shown the window already, and the user may have
// closed it since: the timer must not bring it back.
void LaunchHandler::startLaunch()
{
    if (!m_isOpened)
        m_app.showWindow();
}

void LaunchHandler::openFile(const QString &path)
{
    m_isOpened = true;
    m_app.rarVC()->chooseFile(path);
    m_app.showWindow();
}

// A window that was closed with an empty list comes back at its usual
// height; one with archives still listed keeps the size they gave it.
bool LaunchHandler::applicationShouldHandleReopen()
{
    if (m_app.isCompleted())
        recoverWindowSize();
    m_app.showWindow();
    return false;
}

void LaunchHandler::recoverWindowSize()
{
    WindowFrameAnimator *animator = m_app.rarVC()->frameAnimator();
    const QRect frame = animator->targetFrame(&m_window);
    // Qt's y grows downwards, so keeping y keeps the top edge in place.
    const QRect target(frame.x(), frame.y(), frame.width(),
                       RecoveredContentHeight + windowChrome());
    animator->setFrame(&m_window, target, true);
}

// The height of the menu bar above the content, worked out the way the
// window's layout does. The content's own height cannot tell: a closed window
// may not have laid out its last size.
int LaunchHandler::windowChrome() const
{
    const QWidget *bar = m_window.menuWidget();
    if (!bar || bar->isWindow())
        return 0;
    if (bar->isHidden() && bar->testAttribute(Qt::WA_WState_ExplicitShowHide))
        return 0;
    if (const auto *menuBar = qobject_cast<const QMenuBar *>(bar); menuBar && menuBar->isNativeMenuBar())
        return 0;
    const int height = bar->heightForWidth(m_window.width());
    return height >= 0 ? height : bar->sizeHint().height();
}
