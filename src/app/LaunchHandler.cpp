#include "LaunchHandler.h"

#include "app/AppDelegate.h"
#include "extraction/view/RARViewController.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/settings/UserDefaults.h"
#include "window/WindowChrome.h"
#include "window/WindowFrameAnimator.h"

#include <QMainWindow>
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
                       RecoveredContentHeight + WindowChrome::height(&m_window, m_window.centralWidget()));
    animator->setFrame(&m_window, target, true);
}
