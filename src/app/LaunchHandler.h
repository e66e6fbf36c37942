#pragma once

#include <QObject>
#include <chrono>

class AppDelegate;
class QMainWindow;
class SingleInstance;

// The waits of the start-up; tests shorten them.
struct LaunchTimings {
    std::chrono::milliseconds startLaunch{300};
    std::chrono::milliseconds firstDescription{1000};
};

// When the main window comes on screen: at the first file of the launch, or
// after a short wait when the launch brought none; again whenever a later
// launch, the tray or the desktop asks for it. Files of later launches,
// which the single-instance transport delivers, arrive here too.
class LaunchHandler : public QObject {
    Q_OBJECT
public:
    static constexpr int RecoveredContentHeight = 300;

    LaunchHandler(AppDelegate &app, QMainWindow &window);

    void acceptLaterLaunches(SingleInstance *instance);
    // The how-to-use window, once in the program's life: at its very first start.
    void scheduleFirstDescription();
    void applicationDidFinishLaunching();
    void startLaunch();
    void openFile(const QString &path);
    bool applicationShouldHandleReopen();
    void recoverWindowSize();

    bool isOpened() const { return m_isOpened; }
    void setTimings(const LaunchTimings &timings) { m_timings = timings; }

private:
    AppDelegate &m_app;
    QMainWindow &m_window;
    LaunchTimings m_timings;
    bool m_isOpened = false;
};
