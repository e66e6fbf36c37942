#include "app/AppDelegate.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/system/TemporaryFolderSweeper.h"
#include "platform/system/UnixSignalWatcher.h"
#include "support/MainThreadStallProbe.h"
#include "support/StringTable.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <csignal>

Q_LOGGING_CATEGORY(lcLaunch, "quillbox.launch")

namespace {

// Logging out sends SIGTERM; a terminal sends SIGINT or SIGHUP. Each ends
// Quillbox the way Quit does.
void endOnTerminationSignals(UnixSignalWatcher &watcher, AppDelegate &delegate)
{
    QObject::connect(&watcher, &UnixSignalWatcher::signalReceived, &delegate, [&delegate](int signalNumber) {
        qCInfo(lcLaunch) << "ending on signal" << signalNumber;
        delegate.terminate();
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Quillbox"_qs);
    QApplication::setOrganizationName(QString());
    QApplication::setApplicationVersion(QStringLiteral(QUILLBOX_VERSION));
    QApplication::setDesktopFileName(AppDelegate::applicationId());
    // The program keeps running with no window open: a later launch, the
    // tray icon or the menu brings the window back.
    QApplication::setQuitOnLastWindowClosed(false);

    const QStringList files = SingleInstance::absolutePaths(QApplication::arguments().mid(1));
    SingleInstance instance;
    switch (instance.start(files)) {
    case SingleInstance::Role::Forwarded:
        return 0;
    case SingleInstance::Role::Failed:
        // The archives still get extracted, by this process on its own.
        qCWarning(lcLaunch).noquote() << "running without single-instance socket:"
                                      << instance.errorString();
        break;
    case SingleInstance::Role::Primary:
        break;
    }

    // From here on a signal waits in the watcher until the event loop runs.
    UnixSignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    // What a Quillbox that was killed left behind, before anything new starts.
    TemporaryFolderSweeper::sweep(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    StringTable::install();
    QApplication::setWindowIcon(AppDelegate::applicationIcon());
    // Before the delegate queues its start-up work, so that the work it
    // leaves to the event loop's first turns is measured too.
    MainThreadStallProbe::startFromEnvironment();
    AppDelegate delegate;
    endOnTerminationSignals(watcher, delegate);
    delegate.acceptLaterLaunches(&instance);
    delegate.launch(files);
    return QApplication::exec();
}
