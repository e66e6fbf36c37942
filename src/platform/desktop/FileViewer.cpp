#include "platform/desktop/FileViewer.h"

#include "platform/desktop/DesktopFileViewer.h"
#include "platform/files/PathComponents.h"

#include <QFileInfo>
#include <QSet>

namespace {
FileViewer *g_override = nullptr;
}

FileViewer &FileViewer::shared()
{
    static DesktopFileViewer desktop;
    return g_override ? *g_override : desktop;
}

void FileViewer::setShared(FileViewer *viewer)
{
    g_override = viewer;
}

bool FileViewer::isFilePackageAtPath(const QString &path)
{
    static const QSet<QString> bundleExtensions{
        QStringLiteral("app"), QStringLiteral("bundle"), QStringLiteral("framework"),
        QStringLiteral("plugin"), QStringLiteral("kext"), QStringLiteral("pkg"),
        QStringLiteral("mpkg"), QStringLiteral("appex"), QStringLiteral("xpc"),
        QStringLiteral("qlgenerator"), QStringLiteral("prefPane"), QStringLiteral("saver")};
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink() && bundleExtensions.contains(pathExtension(path));
}
