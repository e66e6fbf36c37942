// A file manager as the session bus starts it on demand: owns
// org.freedesktop.FileManager1, writes the URIs of each ShowItems call as one
// line to the file named on its command line, and quits a moment later.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QObject>
#include <QTimer>

class FileManagerStub : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    explicit FileManagerStub(QString log) : m_log(std::move(log)) {}

public Q_SLOTS:
    void ShowItems(const QStringList &uris, const QString &)
    {
        QFile file(m_log);
        if (file.open(QIODevice::Append))
            file.write(uris.join(u' ').toUtf8() + '\n');
        QTimer::singleShot(200, qApp, &QCoreApplication::quit);
    }

private:
    QString m_log;
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().size() < 2)
        return 2;
    // Started by the bus: its address comes in DBUS_STARTER_ADDRESS.
    QString address = qEnvironmentVariable("DBUS_STARTER_ADDRESS");
    if (address.isEmpty())
        address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    QDBusConnection bus = QDBusConnection::connectToBus(address, u"stub"_qs);
    FileManagerStub stub(app.arguments().at(1));
    if (!bus.registerObject(u"/org/freedesktop/FileManager1"_qs, &stub,
                            QDBusConnection::ExportAllSlots)
        || !bus.registerService(u"org.freedesktop.FileManager1"_qs))
        return 1;
    QTimer::singleShot(10000, &app, &QCoreApplication::quit);
    return app.exec();
}

#include "file_manager_stub.moc"
