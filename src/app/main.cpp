#include "app/AppDelegate.h"
#include "platform/SingleInstance.h"
#include "support/StringTable.h"

#include <QApplication>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLaunch, "quillbox.launch")

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

    StringTable::install();
    QApplication::setWindowIcon(AppDelegate::applicationIcon());
    AppDelegate delegate;
    delegate.acceptLaterLaunches(&instance);
    delegate.launch(files);
    return QApplication::exec();
}
