// A launch as the program makes it:
//   single_instance_probe <socket> <timeout ms> <stay ms> [files...]
// Prints its role; as the running instance it stays for <stay ms> and prints
// the files of every request it receives.
#include "platform/desktop/SingleInstance.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 2;
    QTextStream out(stdout);
    SingleInstance instance(args.at(1));
    instance.setTimeout(args.at(2).toInt());
    switch (instance.start(SingleInstance::absolutePaths(args.mid(4)))) {
    case SingleInstance::Role::Forwarded:
        out << "forwarded" << Qt::endl;
        return 0;
    case SingleInstance::Role::Failed:
        out << "failed " << instance.errorString() << Qt::endl;
        return 1;
    case SingleInstance::Role::Primary:
        break;
    }
    out << "primary" << Qt::endl;
    QObject::connect(&instance, &SingleInstance::filesOpened,
                     [&out](const QStringList &paths) { out << "files " << paths.join(u'|') << Qt::endl; });
    QTimer::singleShot(args.at(3).toInt(), &app, &QCoreApplication::quit);
    return app.exec();
}
