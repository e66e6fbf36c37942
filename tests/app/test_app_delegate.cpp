#include "app/AppDelegate.h"
#include "app/QXDescWindowController.h"
#include "extraction/RARItem.h"
#include "extraction/view/RARViewController.h"
#include "extraction/view/QXFolderPanel.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/settings/UserDefaults.h"
#include "support/StringTable.h"
#include "window/RARItemViewController.h"
#include "window/RowLayout.h"
#include "window/WindowFrameAnimator.h"
#include "ArchiveMaker.h"
#include "SheetDriver.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenuBar>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>

class TestAppDelegate : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    QString m_archives;

    static UserDefaults &store() { return UserDefaults::standardUserDefaults(); }

    // A real zip; its result lands beside it.
    QString makeZip(const QString &name)
    {
        const QByteArray stem = QFileInfo(name).completeBaseName().toUtf8();
        return ArchiveMaker::zip(QDir(m_archives).filePath(name),
                                 {ArchiveEntrySpec::file(stem + "/readme.txt", "text of " + stem)});
    }

    bool extracted(const QString &stem) const
    {
        return QFileInfo(QDir(m_archives).filePath(stem + u"/readme.txt"_qs)).isFile();
    }

    static QStringList listedPaths(AppDelegate &delegate)
    {
        QStringList paths;
        for (const auto &item : delegate.rarVC()->rarItems())
            paths << item->path();
        return paths;
    }

    static void settle(AppDelegate &delegate)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!delegate.rarVC()->frameAnimator()->isAnimating(), 3000);
    }

    static void waitForEmptyList(AppDelegate &delegate)
    {
        QTRY_VERIFY_WITH_TIMEOUT(delegate.rarVC()->rarItems().isEmpty(), 20000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        StringTable::install(QLocale(u"en_US"_qs));
        m_archives = QDir(m_env->home()).filePath(u"archives"_qs);
        QVERIFY(QDir().mkpath(m_archives + u"/picked"_qs));
    }

    void init()
    {
        // Later starts, no review question, the window only closes at the end.
        store().setBool(true, SettingsKeys::Desc);
        store().setInteger(2, SettingsKeys::Comment);
        store().setInteger(0, SettingsKeys::ExitApp);
    }

    // The very first start: the window after a wait, the how-to-use window
    // after a longer one, its setting stored before either.
    void firstStartShowsTheWindowThenTheDescription()
    {
        store().removeObjectForKey(SettingsKeys::Desc);
        AppDelegate delegate;
        delegate.launch({});
        QVERIFY(store().boolForKey(SettingsKeys::Desc));
        QVERIFY(!delegate.window()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(delegate.window()->isVisible(), 2000);
        QVERIFY(!delegate.isOpened() && !SheetDriver::visibleSheet<QXDescWindowController>());
        QTRY_VERIFY_WITH_TIMEOUT(SheetDriver::visibleSheet<QXDescWindowController>(), 3000);
    }

    void filesOfTheLaunchExtractInOrderThenReopenRestoresTheHeight()
    {
        const QString a = makeZip(u"first.zip"_qs);
        const QString b = makeZip(u"second.zip"_qs);
        AppDelegate delegate;
        delegate.launch({a, b});
        QCOMPARE(listedPaths(delegate), (QStringList{a, b}));
        waitForEmptyList(delegate);
        QVERIFY(extracted(u"first"_qs) && extracted(u"second"_qs));
        // The end rule closed the window; the program keeps running.
        QTRY_VERIFY(!delegate.window()->isVisible());
        QVERIFY(!delegate.applicationShouldTerminateAfterLastWindowClosed());

        const int top = delegate.window()->geometry().top();
        QVERIFY(!delegate.applicationShouldHandleReopen() && delegate.window()->isVisible());
        settle(delegate);
        QCOMPARE(delegate.rarVC()->view()->height(), AppDelegate::RecoveredContentHeight);
        QCOMPARE(delegate.window()->geometry().top(), top);
    }

    // However the window comes back on screen, it holds its menu bar and
    // every listed row in full: here one archive handed over after the end
    // rule closed the window.
    void rowAfterTheWindowWasClosedFitsBelowTheMenuBar()
    {
        AppDelegate delegate;
        delegate.launch({makeZip(u"fifth.zip"_qs)});
        // Sized for its row, but placed by the window manager.
        QVERIFY(!delegate.window()->testAttribute(Qt::WA_Moved));
        waitForEmptyList(delegate);
        QTRY_VERIFY(!delegate.window()->isVisible());
        // The window shrank to its empty size after it was closed.
        settle(delegate);

        // The folder question holds the row in the list.
        delegate.rarVC()->setWriteTest([](const QString &) { return false; });
        delegate.applicationOpenFile(makeZip(u"sixth.zip"_qs));
        QVERIFY(SheetDriver::waitForSheet<QFileDialog>(u"folderPanel"_qs));
        settle(delegate);
        auto *window = static_cast<QMainWindow *>(delegate.window());
        const int bar = window->menuBar()->height();
        QVERIFY(bar > 0);
        QCOMPARE(window->height(), bar + RowLayout::RowHeight);
        QWidget *row = static_cast<RARItemViewController *>(delegate.rarVC()->rarItems().first()->vc())->view();
        QCOMPARE(row->mapTo(window, QPoint(0, 0)).y(), bar);
        QCOMPARE(row->visibleRegion().boundingRect().height(), RowLayout::RowHeight);
        delegate.rarVC()->folderPanel()->dialog()->reject();
        waitForEmptyList(delegate);
    }

    void laterLaunchesHandOverTheirFilesAndEnd()
    {
        QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        SingleInstance primary;
        QCOMPARE(primary.start({}), SingleInstance::Role::Primary);
        AppDelegate delegate;
        delegate.acceptLaterLaunches(&primary);
        delegate.launch({});
        QTRY_VERIFY(delegate.window()->isVisible());
        // Connected after the delegate, so it sees the list once the files are in.
        QStringList listedOnArrival;
        connect(&primary, &SingleInstance::filesOpened, this,
                [&] { listedOnArrival = listedPaths(delegate); });

        const QStringList files{makeZip(u"third.zip"_qs), makeZip(u"fourth.zip"_qs)};
        QProcess second;
        second.setWorkingDirectory(m_archives);
        second.start(QString::fromUtf8(QUILLBOX_BINARY), {u"third.zip"_qs, u"fourth.zip"_qs});
        // The spy's wait runs the event loop the hand-off needs.
        QVERIFY(QSignalSpy(&second, &QProcess::finished).wait(10000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(listedOnArrival.mid(listedOnArrival.size() - 2), files);
        waitForEmptyList(delegate);
        QVERIFY(extracted(u"third"_qs) && extracted(u"fourth"_qs));

        // A launch without files brings the closed window back.
        QTRY_VERIFY(!delegate.window()->isVisible());
        QProcess reopen;
        reopen.start(QString::fromUtf8(QUILLBOX_BINARY), QStringList());
        QVERIFY(QSignalSpy(&reopen, &QProcess::finished).wait(10000));
        QCOMPARE(reopen.exitCode(), 0);
        QTRY_VERIFY(delegate.window()->isVisible());
        qunsetenv("XDG_RUNTIME_DIR");
    }

    void openDialogOpensThePickedFilesInOrder()
    {
        AppDelegate delegate;
        delegate.launch({});
        delegate.menu_openAction();
        QFileDialog *panel = delegate.openPanel();
        QTRY_VERIFY(panel && panel->isVisible());
        panel->reject();
        QVERIFY(!delegate.openPanel() && !delegate.isOpened());

        const QString folder = QDir(m_archives).filePath(u"picked"_qs);
        QStringList picked;
        for (const QString &name : {u"picked/gamma.zip"_qs, u"picked/alpha.zip"_qs, u"picked/beta.zip"_qs})
            picked << makeZip(name);
        delegate.menu_openAction();
        panel = delegate.openPanel();
        panel->setDirectory(folder);
        panel->selectFile(u"\"gamma.zip\" \"alpha.zip\" \"beta.zip\""_qs);
        static_cast<QDialog *>(panel)->accept();
        QVERIFY(!delegate.openPanel());
        QCOMPARE(listedPaths(delegate), picked);
        waitForEmptyList(delegate);
        QVERIFY(extracted(u"picked/gamma"_qs) && extracted(u"picked/beta"_qs));
    }

};

QTEST_MAIN(TestAppDelegate)
#include "test_app_delegate.moc"
