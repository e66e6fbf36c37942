#include "platform/desktop/DesktopFileViewer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Stands for the URL handlers of the desktop.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

// A running file manager on the bus; answers with an error when told to.
class FakeFileManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shown;
    bool fail = false;
public Q_SLOTS:
    void ShowItems(const QStringList &uris, const QString &)
    {
        shown.append(uris);
        if (fail)
            sendErrorReply(QDBusError::Failed, u"cannot show"_qs);
    }
};

// Everything runs against a private session bus of this test's own.
class TestDesktopFileViewer : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    QString m_address;
    OpenedUrls m_opened;

    QString serviceDir() const { return m_dir.filePath(u"services"_qs); }

    static bool reloadBusConfig()
    {
        const QDBusMessage reload = QDBusMessage::createMethodCall(
            u"org.freedesktop.DBus"_qs, u"/org/freedesktop/DBus"_qs, u"org.freedesktop.DBus"_qs,
            u"ReloadConfig"_qs);
        return QDBusConnection::sessionBus().call(reload).type() == QDBusMessage::ReplyMessage;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(serviceDir()));
        const QString config = m_dir.filePath(u"bus.conf"_qs);
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral(
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>session</type><keep_umask/>"
                       "<listen>unix:tmpdir=%1</listen><auth>EXTERNAL</auth>"
                       "<servicedir>%2</servicedir><policy context=\"default\">"
                       "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                       "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                       .arg(m_dir.path(), serviceDir())
                       .toUtf8());
        file.close();
        m_bus.start(u"dbus-daemon"_qs, {u"--config-file"_qs, config, u"--print-address=1"_qs,
                                        u"--nofork"_qs});
        if (!m_bus.waitForStarted(5000))
            QSKIP("dbus-daemon is not installed");
        QVERIFY(m_bus.waitForReadyRead(5000));
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
        // Before the first use of the session bus in this process.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QDesktopServices::setUrlHandler(u"file"_qs, &m_opened, "open");
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(u"file"_qs);
        m_bus.terminate();
        m_bus.waitForFinished(3000);
    }

    void init() { m_opened.urls.clear(); }

    void withoutAFileManagerTheParentFolderOpens()
    {
        DesktopFileViewer().selectFile(u"/tmp/results/notes"_qs);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.urls,
                                  QList<QUrl>{QUrl::fromLocalFile(u"/tmp/results"_qs)}, 7000);
    }

    void aRunningFileManagerShowsTheItem()
    {
        FakeFileManager manager;
        QDBusConnection own = QDBusConnection::connectToBus(m_address, u"fake-manager"_qs);
        QVERIFY(own.registerObject(u"/org/freedesktop/FileManager1"_qs, &manager,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(own.registerService(u"org.freedesktop.FileManager1"_qs));

        DesktopFileViewer().selectFile(u"/tmp/a b/\u00fcml.zip"_qs);
        QTRY_COMPARE(manager.shown.size(), 1);
        QCOMPARE(manager.shown.first(), QStringList{u"file:///tmp/a%20b/%C3%BCml.zip"_qs});
        QTest::qWait(100);
        QVERIFY(m_opened.urls.isEmpty());

        manager.fail = true;
        DesktopFileViewer().selectFile(u"/tmp/other/x"_qs);
        QTRY_COMPARE(m_opened.urls, QList<QUrl>{QUrl::fromLocalFile(u"/tmp/other"_qs)});

        own.unregisterService(u"org.freedesktop.FileManager1"_qs);
        QDBusConnection::disconnectFromBus(u"fake-manager"_qs);
    }

    void anInstalledFileManagerIsStartedOnDemand()
    {
        const QString log = m_dir.filePath(u"shown.log"_qs);
        QFile service(QDir(serviceDir()).filePath(u"org.freedesktop.FileManager1.service"_qs));
        QVERIFY(service.open(QIODevice::WriteOnly));
        service.write(QStringLiteral("[D-BUS Service]\nName=org.freedesktop.FileManager1\nExec=%1 %2\n")
                          .arg(QString::fromUtf8(STUB_PATH), log)
                          .toUtf8());
        service.close();
        QVERIFY(reloadBusConfig());
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
            u"org.freedesktop.FileManager1"_qs));

        DesktopFileViewer().selectFile(u"/tmp/started/item.txt"_qs);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(log), 7000);
        QFile shown(log);
        QVERIFY(shown.open(QIODevice::ReadOnly));
        QCOMPARE(shown.readAll().trimmed(), QByteArray("file:///tmp/started/item.txt"));
        QTest::qWait(100);
        QVERIFY(m_opened.urls.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDesktopFileViewer)
#include "test_desktop_file_viewer.moc"
