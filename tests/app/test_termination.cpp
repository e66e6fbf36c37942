#include "app/AppDelegate.h"
#include "extraction/view/RARViewController.h"
#include "platform/system/TemporaryFolderLock.h"
#include "platform/settings/UserDefaults.h"
#include "prompts/QXPasswordWindowController.h"
#include "platform/settings/SettingsKeys.h"
#include "ArchiveMaker.h"
#include "TestEnvironment.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <memory>

// Every way out of Quillbox while an archive is on its way leaves no
// temporary folder and keeps the archive, even with "delete the archive" on:
// the worker waits at the password sheet with its temporary folder made.
class TestTermination : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    QTemporaryDir m_runtime;
    QString m_archive;

    // The moment from which only the lock tells a killed run's folder apart.
    bool waitForLockedTemporaryFolder() const
    {
        return QTest::qWaitFor([this] {
            const QStringList folders = m_env->temporaryFolders();
            return folders.size() == 1
                   && QFile::exists(QDir(m_env->appData()).filePath(folders.first()) + u'/'
                                    + QLatin1StringView(TemporaryFolderLock::lockFileName));
        }, 20000);
    }

    void start(QProcess &program, const QStringList &files)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_RUNTIME_DIR"_qs, m_runtime.path());
        environment.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
        program.setProcessEnvironment(environment);
        // A test runner may have started this test with these ignored.
        program.setChildProcessModifier([] {
            ::signal(SIGINT, SIG_DFL);
            ::signal(SIGHUP, SIG_DFL);
        });
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QString::fromUtf8(QUILLBOX_BINARY), files);
        QVERIFY(program.waitForStarted());
    }

    static void endNormally(QProcess &program, int signalNumber)
    {
        QVERIFY(::kill(program.processId(), signalNumber) == 0);
        QVERIFY(program.waitForFinished(8000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        auto &store = UserDefaults::standardUserDefaults();
        store.setBool(true, SettingsKeys::Desc);
        store.setInteger(2, SettingsKeys::Comment);
        store.setInteger(1, SettingsKeys::DeleteZip);
        store.synchronize();
        m_archive = QDir(m_env->home()).filePath(u"secret.zip"_qs);
        QVERIFY(ArchiveMaker::write(m_archive, u"zip"_qs, QString(),
                                    {ArchiveEntrySpec::file("secret.txt", QByteArray(4096, 's'))},
                                    u"zip:encryption=zipcrypt"_qs, "12345678"));
    }

    void cleanup() { QVERIFY(m_env->temporaryFolders().isEmpty()); }

    void signalEndsTheRunCleanly_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void signalEndsTheRunCleanly()
    {
        QFETCH(int, signalNumber);
        QProcess program;
        start(program, {m_archive});
        QVERIFY(waitForLockedTemporaryFolder());
        endNormally(program, signalNumber);
        QCOMPARE(m_env->temporaryFolders(), QStringList());
        QVERIFY(QFile::exists(m_archive));
    }

    void killedRunIsSweptAtTheNextStart()
    {
        QProcess killed;
        start(killed, {m_archive});
        QVERIFY(waitForLockedTemporaryFolder());
        killed.kill();
        QVERIFY(killed.waitForFinished(5000));
        QCOMPARE(m_env->temporaryFolders().size(), 1);

        QProcess next;
        start(next, {});
        QVERIFY(QTest::qWaitFor([this] { return m_env->temporaryFolders().isEmpty(); }, 10000));
        endNormally(next, SIGTERM);
        QVERIFY(QFile::exists(m_archive));
    }

    void quitFromTheMenuWhileThePasswordIsAsked()
    {
        AppDelegate delegate;
        delegate.launch({m_archive});
        QDialog *sheet = delegate.rarVC()->passwordWindowCtl()->window();
        QTRY_VERIFY_WITH_TIMEOUT(sheet->isVisible(), 20000);
        QCOMPARE(m_env->temporaryFolders().size(), 1);

        // Off the screen at once, while the run is still being stopped.
        delegate.menu_quit()->trigger();
        QVERIFY(!delegate.window()->isVisible());
        QVERIFY(delegate.rarVC()->isExtracting());
        QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!sheet->isVisible());
        QVERIFY(delegate.rarVC()->rarItems().isEmpty());
        QVERIFY(QFile::exists(m_archive));
    }
};

QTEST_MAIN(TestTermination)
#include "test_termination.moc"
