#include "app/AppDelegate.h"
#include "app/QXBannerInfo.h"
#include "app/QXDescWindowController.h"
#include "extraction/RARItem.h"
#include "extraction/RARViewController.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/settings/UserDefaults.h"
#include "platform/settings/SettingsKeys.h"
#include "support/StringTable.h"
#include "window/WindowFrameAnimator.h"
#include "ArchiveMaker.h"
#include "TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMainWindow>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// Records the web pages the program would open.
class PageRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

class TestAppDelegate : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    PageRecorder m_pages;
    QString m_archives;

    UserDefaults &store() { return UserDefaults::standardUserDefaults(); }

    // A real zip; its result lands beside it.
    QString makeZip(const QString &name)
    {
        const QString path = QDir(m_archives).filePath(name);
        const QByteArray stem = QFileInfo(path).completeBaseName().toUtf8();
        const bool written = ArchiveMaker::write(
            path, u"zip"_qs, QString(),
            {ArchiveEntrySpec::directory(stem + "/"),
             ArchiveEntrySpec::file(stem + "/readme.txt", "text of " + stem)});
        return written ? path : QString();
    }

    static QStringList listedPaths(AppDelegate &delegate)
    {
        QStringList paths;
        for (const auto &item : delegate.rarVC()->rarItems())
            paths << item->path();
        return paths;
    }

    static bool descWindowVisible()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<QXDescWindowController *>(widget) && widget->isVisible())
                return true;
        }
        return false;
    }

    static int contentHeight(AppDelegate &delegate) { return delegate.rarVC()->view()->height(); }

    // Waits for the window's size animation, if any, to end.
    static void settle(AppDelegate &delegate)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!delegate.rarVC()->frameAnimator()->isAnimating(), 3000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QDesktopServices::setUrlHandler(u"https"_qs, &m_pages, "open");
        StringTable::install(QLocale(u"en_US"_qs));
        m_archives = QDir(m_env->home()).filePath(u"archives"_qs);
        QVERIFY(QDir().mkpath(m_archives));
    }

    void init()
    {
        // Later starts, no review question, the window only closes at the end.
        store().setBool(true, SettingsKeys::Desc);
        store().setInteger(2, SettingsKeys::Comment);
        store().setInteger(0, SettingsKeys::ExitApp);
        m_pages.opened.clear();
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"https"_qs); }

    void windowAppearsAfterThreeTenthsOfASecondWithoutFiles()
    {
        AppDelegate delegate;
        QElapsedTimer clock;
        clock.start();
        delegate.launch({});
        QCOMPARE(delegate.window()->windowTitle(), u"Quillbox"_qs);
        QVERIFY(!delegate.window()->isVisible());
        QTest::qWait(200);
        QVERIFY(!delegate.window()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(delegate.window()->isVisible(), 2000);
        QVERIFY(clock.elapsed() >= 300);
        QVERIFY(!delegate.isOpened());
        QCOMPARE(static_cast<QMainWindow *>(delegate.window())->centralWidget(),
                 delegate.rarVC()->view());
    }

    void descriptionOpensOnceAtTheVeryFirstStart()
    {
        store().removeObjectForKey(SettingsKeys::Desc);
        {
            AppDelegate first;
            QElapsedTimer clock;
            clock.start();
            first.launch({});
            // Stored before the window is even scheduled.
            QVERIFY(store().boolForKey(SettingsKeys::Desc));
            QVERIFY(!descWindowVisible());
            QTRY_VERIFY_WITH_TIMEOUT(descWindowVisible(), 3000);
            QVERIFY(clock.elapsed() >= 1000);
        }
        QVERIFY(!descWindowVisible());
        AppDelegate later;
        later.setTimings({std::chrono::milliseconds(10), std::chrono::milliseconds(10)});
        later.launch({});
        QTest::qWait(300);
        QVERIFY(later.window()->isVisible());
        QVERIFY(!descWindowVisible());
    }

    void filesOfTheLaunchReachTheControllerInOrder()
    {
        const QString a = makeZip(u"first.zip"_qs);
        const QString b = makeZip(u"second.zip"_qs);
        AppDelegate delegate;
        delegate.launch({a, b});
        QCOMPARE(listedPaths(delegate), (QStringList{a, b}));
        QVERIFY(delegate.isOpened());
        // Shown at the first file, not by the timer.
        QVERIFY(delegate.window()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(delegate.rarVC()->rarItems().isEmpty(), 20000);
        QVERIFY(QFileInfo(QDir(m_archives).filePath(u"first/readme.txt"_qs)).isFile());
        QVERIFY(QFileInfo(QDir(m_archives).filePath(u"second/readme.txt"_qs)).isFile());
        // The end rule closed the window; the program keeps running.
        QTRY_VERIFY(!delegate.window()->isVisible());
        QVERIFY(!delegate.applicationShouldTerminateAfterLastWindowClosed());
        QVERIFY(delegate.isCompleted());

        // Reopen: 300 points of content, top edge where it was.
        const int top = delegate.window()->geometry().top();
        QVERIFY(delegate.applicationShouldHandleReopen() == false);
        QVERIFY(delegate.window()->isVisible());
        settle(delegate);
        QCOMPARE(contentHeight(delegate), AppDelegate::RecoveredContentHeight);
        QCOMPARE(delegate.window()->geometry().top(), top);
    }

    void laterLaunchesHandOverTheirFilesAndEnd()
    {
        QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        SingleInstance primary;
        QCOMPARE(primary.start({}), SingleInstance::Role::Primary);
        QVERIFY(primary.socketPath().startsWith(runtime.path()));

        AppDelegate delegate;
        delegate.acceptLaterLaunches(&primary);
        delegate.launch({});
        QTRY_VERIFY(delegate.window()->isVisible());
        // Connected after the delegate, so it sees the list once the files are in.
        QStringList listedOnArrival;
        connect(&primary, &SingleInstance::filesOpened, this,
                [&] { listedOnArrival = listedPaths(delegate); });

        const QString third = makeZip(u"third.zip"_qs);
        const QString fourth = makeZip(u"fourth.zip"_qs);
        QProcess second;
        second.setWorkingDirectory(m_archives);
        QElapsedTimer clock;
        clock.start();
        second.start(QString::fromUtf8(QUILLBOX_BINARY), {u"third.zip"_qs, u"fourth.zip"_qs});
        QSignalSpy ended(&second, &QProcess::finished);
        QVERIFY(ended.wait(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(listedOnArrival.mid(listedOnArrival.size() - 2), (QStringList{third, fourth}));
        QTRY_VERIFY_WITH_TIMEOUT(delegate.rarVC()->rarItems().isEmpty(), 20000);
        QVERIFY(QFileInfo(QDir(m_archives).filePath(u"third/readme.txt"_qs)).isFile());
        QVERIFY(QFileInfo(QDir(m_archives).filePath(u"fourth/readme.txt"_qs)).isFile());

        // A launch without files brings the closed window back.
        QTRY_VERIFY(!delegate.window()->isVisible());
        QProcess reopen;
        reopen.start(QString::fromUtf8(QUILLBOX_BINARY), QStringList());
        QSignalSpy thirdEnded(&reopen, &QProcess::finished);
        QVERIFY(thirdEnded.wait(10000));
        QCOMPARE(reopen.exitCode(), 0);
        QTRY_VERIFY(delegate.window()->isVisible());
        settle(delegate);
        QCOMPARE(contentHeight(delegate), AppDelegate::RecoveredContentHeight);
        qunsetenv("XDG_RUNTIME_DIR");
    }

    void startLaunchLeavesAnOpenedWindowAlone()
    {
        AppDelegate delegate;
        delegate.setTimings({std::chrono::milliseconds(50), std::chrono::milliseconds(10)});
        delegate.launch({u"/nowhere/without-extension"_qs});
        QVERIFY(delegate.isOpened());
        QVERIFY(delegate.rarVC()->rarItems().isEmpty());
        QVERIFY(delegate.window()->isVisible());
        delegate.window()->hide();
        QTest::qWait(150);
        QVERIFY(!delegate.window()->isVisible());
    }

    void reopenBeforeAnythingWasListedKeepsTheSize()
    {
        AppDelegate delegate;
        delegate.launch({});
        QTRY_VERIFY(delegate.window()->isVisible());
        delegate.window()->setGeometry(100, 120, 500, 200);
        delegate.window()->close();
        QVERIFY(!delegate.window()->isVisible());
        QVERIFY(!delegate.isCompleted());
        delegate.applicationShouldHandleReopen();
        QVERIFY(delegate.window()->isVisible());
        settle(delegate);
        QCOMPARE(delegate.window()->geometry(), QRect(100, 120, 500, 200));
    }

    void reopenWhileAnArchiveIsListedKeepsTheSize()
    {
        AppDelegate delegate;
        delegate.launch({});
        QTRY_VERIFY(delegate.window()->isVisible());
        delegate.setIsCompleted(false);
        delegate.window()->setGeometry(100, 120, 460, 90);
        delegate.menu_hideAction();
        QVERIFY(!delegate.window()->isVisible());
        delegate.applicationShouldHandleReopen();
        QVERIFY(delegate.window()->isVisible());
        QCOMPARE(delegate.window()->geometry(), QRect(100, 120, 460, 90));
    }

    void reopenAfterTheListEmptiedRestoresTheHeight()
    {
        AppDelegate delegate;
        delegate.launch({});
        QTRY_VERIFY(delegate.window()->isVisible());
        const int chrome = delegate.window()->height() - contentHeight(delegate);
        delegate.window()->setGeometry(140, 160, 480, chrome);
        delegate.setIsCompleted(true);
        delegate.window()->close();
        delegate.applicationShouldHandleReopen();
        QVERIFY(delegate.window()->isVisible());
        settle(delegate);
        QCOMPARE(delegate.window()->geometry().top(), 160);
        QCOMPARE(delegate.window()->geometry().left(), 140);
        QCOMPARE(delegate.window()->width(), 480);
        QCOMPARE(contentHeight(delegate), AppDelegate::RecoveredContentHeight);
    }

    void cancelledOpenDialogOpensNothing()
    {
        AppDelegate delegate;
        delegate.launch({});
        QTRY_VERIFY(delegate.window()->isVisible());
        delegate.menu_openAction();
        QFileDialog *panel = delegate.openPanel();
        QVERIFY(panel);
        QCOMPARE(panel->parentWidget(), delegate.window());
        QCOMPARE(panel->windowModality(), Qt::WindowModal);
        QCOMPARE(panel->fileMode(), QFileDialog::ExistingFiles);
        QCOMPARE(panel->labelText(QFileDialog::Accept), u"Unarchive"_qs);
        QVERIFY(panel->nameFilters().isEmpty() || panel->nameFilters().first().contains(u"*"_qs));
        QTRY_VERIFY(panel->isVisible());
        panel->reject();
        QVERIFY(!delegate.openPanel());
        QVERIFY(!delegate.isOpened());
        QVERIFY(delegate.rarVC()->rarItems().isEmpty());
    }

    void threeFilesFromTheOpenDialogAreOpenedInOrder()
    {
        const QString folder = QDir(m_archives).filePath(u"picked"_qs);
        QVERIFY(QDir().mkpath(folder));
        QStringList picked;
        for (const QString &name : {u"picked/gamma.zip"_qs, u"picked/alpha.zip"_qs,
                                    u"picked/beta.zip"_qs})
            picked << makeZip(name);
        AppDelegate delegate;
        delegate.launch({});
        delegate.menu_openAction();
        QFileDialog *panel = delegate.openPanel();
        QVERIFY(panel);
        panel->setDirectory(folder);
        panel->selectFile(u"\"gamma.zip\" \"alpha.zip\" \"beta.zip\""_qs);
        QCOMPARE(panel->selectedFiles(), picked);
        static_cast<QDialog *>(panel)->accept();
        QVERIFY(!delegate.openPanel());
        QVERIFY(delegate.isOpened());
        QCOMPARE(listedPaths(delegate), picked);
        QTRY_VERIFY_WITH_TIMEOUT(delegate.rarVC()->rarItems().isEmpty(), 20000);
        for (const QString &stem : {u"gamma"_qs, u"alpha"_qs, u"beta"_qs})
            QVERIFY(QFileInfo(QDir(folder).filePath(stem + u"/readme.txt"_qs)).isFile());

        // The next dialog opens where the last one picked.
        delegate.menu_openAction();
        QVERIFY(delegate.openPanel());
        QCOMPARE(delegate.openPanel()->directory().absolutePath(), QDir(folder).absolutePath());
        delegate.openPanel()->reject();
    }

    void menusNameTheProgram()
    {
        AppDelegate delegate;
        delegate.awakeFromNib();
        QCOMPARE(delegate.menu_about()->text(), u"About Quillbox"_qs);
        QCOMPARE(delegate.menu_hide()->text(), u"Hide Quillbox"_qs);
        QCOMPARE(delegate.menu_quit()->text(), u"Quit Quillbox"_qs);
        QCOMPARE(delegate.menu_pref()->text(), u"Preferences…"_qs);
        QCOMPARE(delegate.menu_open()->text(), u"Open…"_qs);
        QCOMPARE(delegate.menu_open()->shortcut(), QKeySequence(QKeySequence::Open));

        StringTable::install(QLocale(u"zh_CN"_qs));
        AppDelegate chinese;
        chinese.awakeFromNib();
        StringTable::install(QLocale(u"en_US"_qs));
        QCOMPARE(chinese.menu_about()->text(), u"关于 Quillbox"_qs);
        QCOMPARE(chinese.menu_quit()->text(), u"退出 Quillbox"_qs);
        QCOMPARE(chinese.window()->windowTitle(), u"Quillbox"_qs);
    }

    void pagesOfTheMenus()
    {
        AppDelegate delegate;
        delegate.awakeFromNib();
        store().setInteger(1, SettingsKeys::Comment);
        delegate.menu_supportAction();
        delegate.downloadVantorAction();
        delegate.downloadMiravelAction();
        delegate.menu_commentAction();
        QCOMPARE(store().integerForKey(SettingsKeys::Comment), 1);
        delegate.goCommentAction();
        QCOMPARE(store().integerForKey(SettingsKeys::Comment), 2);
        delegate.openPhoneAppAction();
        QCOMPARE(m_pages.opened,
                 (QList<QUrl>{AppDelegate::supportPageUrl(), QUrl(QXBannerInfo::vantor().url()),
                              QUrl(QXBannerInfo::miravel().url()),
                              ReviewScheduler::reviewPageUrl(), ReviewScheduler::reviewPageUrl(),
                              QUrl(u"https://quillbox.app/apps"_qs)}));
    }

    void successfulExtractionMayAskForAReview()
    {
        store().removeObjectForKey(SettingsKeys::Comment);
        store().removeObjectForKey(SettingsKeys::First);
        int asked = 0;
        AppDelegate delegate;
        delegate.reviewScheduler().setAsk([&asked] {
            ++asked;
            return ReviewScheduler::Answer::Postpone;
        });
        delegate.launch({makeZip(u"review.zip"_qs)});
        QTRY_VERIFY_WITH_TIMEOUT(delegate.rarVC()->rarItems().isEmpty(), 20000);
        QTRY_COMPARE(asked, 1);
        QCOMPARE(store().integerForKey(SettingsKeys::Comment), 1);
    }
};

QTEST_MAIN(TestAppDelegate)
#include "test_app_delegate.moc"
