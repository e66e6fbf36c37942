#include "platform/desktop/DesktopFileViewer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

// Long enough for the bus to start a file manager that is not running yet.
constexpr int kShowItemsTimeoutMs = 5000;

} // namespace

void DesktopFileViewer::openFile(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString DesktopFileViewer::fileUri(const QString &path)
{
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

void DesktopFileViewer::selectFile(const QString &path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openParentFolder(path);
        return;
    }
    // Called by name rather than through an introspected interface object:
    // the bus then starts a file manager that is installed but not running,
    // and nothing blocks the window while it starts.
    QDBusMessage call = QDBusMessage::createMethodCall(
        u"org.freedesktop.FileManager1"_qs, u"/org/freedesktop/FileManager1"_qs,
        u"org.freedesktop.FileManager1"_qs, u"ShowItems"_qs);
    call << QStringList{fileUri(path)} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kShowItemsTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [path](QDBusPendingCallWatcher *done) {
        if (done->isError())
            openParentFolder(path);
        done->deleteLater();
    });
}

void DesktopFileViewer::openParentFolder(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}
