#include "app/BasicControllerHost.h"
#include "extraction/RARViewController.h"
#include "support/StringTable.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Quillbox"_qs);
    QApplication::setOrganizationName(QString());
    QApplication::setDesktopFileName(u"quillbox"_qs);
    StringTable::install();

    BasicControllerHost host;
    RARViewController controller(&host);
    host.setController(&controller);

    const QStringList files = QApplication::arguments().mid(1);
    for (const QString &file : files)
        host.openFile(QFileInfo(file).absoluteFilePath());
    if (files.isEmpty())
        QTimer::singleShot(300, &host, [&host] { host.showWindow(); });
    return QApplication::exec();
}
