#include "platform/desktop/DesktopFileViewer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Stands for the URL handlers of the desktop.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

// This program again, as the bus starts a file manager that is installed but
// not running: it logs the URIs it is shown to the file named after the flag.
class FileManagerStub : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QString log;
public Q_SLOTS:
    void ShowItems(const QStringList &uris, const QString &)
    {
        QFile file(log);
        if (file.open(QIODevice::WriteOnly))
            file.write(uris.join(u' ').toUtf8());
        QTimer::singleShot(200, qApp, &QCoreApplication::quit);
    }
};

// Against a private session bus of this test's own.
class TestDesktopFileViewer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_bus;
    OpenedUrls m_opened;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString config = m_dir.filePath(u"bus.conf"_qs);
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("<busconfig><type>session</type><listen>unix:tmpdir=%1</listen>"
                                  "<auth>EXTERNAL</auth><servicedir>%1</servicedir><policy context=\"default\">"
                                  "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                                  "</policy></busconfig>\n")
                       .arg(m_dir.path())
                       .toUtf8());
        file.close();
        m_bus.start(u"dbus-daemon"_qs, {u"--config-file"_qs, config, u"--print-address=1"_qs, u"--nofork"_qs});
        if (!m_bus.waitForStarted(5000))
            QSKIP("dbus-daemon is not installed");
        QVERIFY(m_bus.waitForReadyRead(5000));
        // Before the first use of the session bus in this process.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QDesktopServices::setUrlHandler(u"file"_qs, &m_opened, "open");
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(u"file"_qs);
        m_bus.terminate();
        m_bus.waitForFinished(3000);
    }

    // Without a file manager the parent folder opens; an installed one is
    // started by the bus and shown the item itself.
    void theItemIsShownOrItsFolderOpened()
    {
        DesktopFileViewer().selectFile(u"/tmp/results/notes"_qs);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.urls, QList<QUrl>{QUrl::fromLocalFile(u"/tmp/results"_qs)}, 7000);
        m_opened.urls.clear();

        const QString log = m_dir.filePath(u"shown.log"_qs);
        QFile service(m_dir.filePath(u"org.freedesktop.FileManager1.service"_qs));
        QVERIFY(service.open(QIODevice::WriteOnly));
        service.write(QStringLiteral("[D-BUS Service]\nName=org.freedesktop.FileManager1\nExec=%1 --stub %2\n")
                          .arg(QCoreApplication::applicationFilePath(), log)
                          .toUtf8());
        service.close();
        const QDBusMessage reload = QDBusMessage::createMethodCall(
            u"org.freedesktop.DBus"_qs, u"/org/freedesktop/DBus"_qs, u"org.freedesktop.DBus"_qs, u"ReloadConfig"_qs);
        QCOMPARE(QDBusConnection::sessionBus().call(reload).type(), QDBusMessage::ReplyMessage);
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(u"org.freedesktop.FileManager1"_qs));

        DesktopFileViewer().selectFile(u"/tmp/a b/\u00fcml.zip"_qs);
        const auto shown = [&log] {
            QFile file(log);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QByteArray("file:///tmp/a%20b/%C3%BCml.zip"), 7000);
        QTest::qWait(100);
        QVERIFY(m_opened.urls.isEmpty());
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--stub") == 0) {
        QDBusConnection bus = QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_STARTER_ADDRESS"), u"stub"_qs);
        FileManagerStub stub;
        stub.log = QString::fromLocal8Bit(argv[2]);
        if (!bus.registerObject(u"/org/freedesktop/FileManager1"_qs, &stub, QDBusConnection::ExportAllSlots)
            || !bus.registerService(u"org.freedesktop.FileManager1"_qs))
            return 1;
        QTimer::singleShot(10000, &app, &QCoreApplication::quit);
        return app.exec();
    }
    TestDesktopFileViewer test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_desktop_file_viewer.moc"
