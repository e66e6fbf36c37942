#include "ArchiveMaker.h"
#include "ExtractionFakes.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include "access/QXURLCache.h"
#include "extraction/ExtractionController.h"
#include "extraction/QXTaskQueue.h"
#include "extraction/RARItem.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/settings/UserDefaults.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QString PasswordZip = QStringLiteral("test_read_format_zip_traditional_encryption_data.zip");

} // namespace

// The archives' road through the controller with real archives and the real
// engine; the user, the rows and the window are played by fakes.
class TestExtractionController : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_work;
    FakePrompts m_prompts;
    FakeRows m_rows;
    FakeShell m_shell;
    std::unique_ptr<ExtractionController> m_ctl;

    QString makeZip(const QString &name)
    {
        return ArchiveMaker::zip(m_work->filePath(name), {ArchiveEntrySpec::file("one.txt", "one of " + name.toUtf8()),
                                                         ArchiveEntrySpec::file("two.txt", "two")});
    }

    QString copyCorpus(const QString &as)
    {
        const QString target = m_work->filePath(as);
        return QFile::copy(TestEnvironment::corpusPath(PasswordZip), target) ? target : QString();
    }

    bool waitForPrompt(const QString &kind)
    {
        return QTest::qWaitFor([&] { return !m_prompts.open.isEmpty() && m_prompts.open.first().kind == kind; }, 20000);
    }

    void waitUntilIdle()
    {
        QTRY_VERIFY_WITH_TIMEOUT(m_ctl->rarItems().isEmpty(), 20000);
        QTRY_VERIFY(m_ctl->setupTask()->isEmpty() && m_ctl->extractTask()->isEmpty());
    }

    void answerFolder(const QString &folder) { std::exchange(m_prompts.folderAnswer, nullptr)(folder); }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QVERIFY(QFile::exists(TestEnvironment::corpusPath(PasswordZip)));
    }

    void init()
    {
        m_work = std::make_unique<QTemporaryDir>();
        for (const QString &key : {SettingsKeys::SaveMethod, SettingsKeys::SelectPath, SettingsKeys::ExitApp,
                                   SettingsKeys::DeleteZip, SettingsKeys::CachedURLs})
            UserDefaults::standardUserDefaults().removeObjectForKey(key);
        QXURLCache::resetSharedInstanceForTesting();
        m_prompts = FakePrompts();
        m_rows = FakeRows();
        m_shell = FakeShell();
        m_ctl = std::make_unique<ExtractionController>(&m_prompts, &m_rows, &m_shell);
    }

    void cleanup()
    {
        // No worker may outlive its controller: refuse whatever is still asked.
        for (int i = 0; i < 100 && !m_ctl->isStopping() && !(m_ctl->setupTask()->isEmpty() && m_ctl->extractTask()->isEmpty()); ++i) {
            if (!m_prompts.open.isEmpty())
                m_prompts.answer();
            if (m_prompts.folderAnswer)
                answerFolder(QString());
            QTest::qWait(50);
        }
        m_ctl.reset();
    }

    void archivesRunOneAtATimeInOrder()
    {
        const QString secret = copyCorpus(u"secret.zip"_qs);
        const QString beta = makeZip(u"beta.zip"_qs);
        for (const QString &path : {secret, beta, beta})
            m_ctl->chooseFile(path);
        // The first archive waits for its password; the others have not started.
        QVERIFY(waitForPrompt(u"password"_qs));
        QTest::qWait(200);
        QCOMPARE(m_ctl->extractTask()->taskCount(), 3);
        QVERIFY(!QFile::exists(m_work->filePath(u"beta"_qs)));
        QVERIFY(m_env->temporaryFolders().size() <= 1);
        m_prompts.answer(u"12345678"_qs);
        waitUntilIdle();
        QCOMPARE(m_rows.removed, (QStringList{u"secret.zip"_qs, u"beta.zip"_qs, u"beta.zip"_qs}));
        QCOMPARE(m_prompts.log, QStringList{u"password"_qs});
        QCOMPARE(readAll(m_work->filePath(u"secret/foo.txt"_qs)).size(), 495);
        // The same archive twice: two results side by side, neither overwritten.
        const QStringList results = QDir(m_work->path()).entryList({u"beta*"_qs}, QDir::Dirs);
        QCOMPARE(results.size(), 2);
        for (const QString &result : results)
            QCOMPARE(readAll(m_work->filePath(result + u"/one.txt"_qs)), QByteArray("one of beta.zip"));
        QCOMPARE(m_shell.reviewCalls, 3);
        QVERIFY(m_env->temporaryFolders().isEmpty());
    }

    void exitAppDecidesAtTheEnd_data()
    {
        QTest::addColumn<int>("exitApp");
        QTest::newRow("off: the window closes") << 0;
        QTest::newRow("on: the program ends") << 1;
    }

    void exitAppDecidesAtTheEnd()
    {
        QFETCH(int, exitApp);
        UserDefaults::standardUserDefaults().setInteger(exitApp, SettingsKeys::ExitApp);
        m_ctl->chooseFile(copyCorpus(u"locked.zip"_qs));
        m_ctl->chooseFile(makeZip(u"later.zip"_qs));
        QVERIFY(waitForPrompt(u"password"_qs));
        QCOMPARE(m_shell.closeCalls + m_shell.terminateCalls, 0); // not while work remains
        m_prompts.answer(u"12345678"_qs);
        waitUntilIdle();
        QTest::qWait(50);
        QCOMPARE(m_shell.closeCalls, 1 - exitApp);
        QCOMPARE(m_shell.terminateCalls, exitApp);
    }

    void unwritableDestinationAsksForAFolder()
    {
        // A sandbox in miniature: only folders the cache grants can be
        // written, and "readonly" never.
        const auto sandbox = [](const QString &folder) {
            return !folder.endsWith(u"readonly"_qs) && !QXURLCache::sharedInstance().urlWithAllowAccessToPath(folder).isEmpty();
        };
        const QString granted = m_work->filePath(u"granted"_qs);
        const QString readonly = m_work->filePath(u"readonly"_qs);
        QVERIFY(QDir().mkpath(granted) && QDir().mkpath(readonly));
        UserDefaults::standardUserDefaults().setInteger(SaveMethod::ChosenFolder, SettingsKeys::SaveMethod);
        UserDefaults::standardUserDefaults().setString(granted, SettingsKeys::SelectPath);
        m_ctl->setWriteTest(sandbox);

        // Refused: the row goes silently, and with it the last work.
        m_ctl->chooseFile(makeZip(u"refused.zip"_qs));
        QTRY_COMPARE(m_prompts.folders, QStringList{granted});
        answerFolder(QString());
        QVERIFY(m_ctl->rarItems().isEmpty());
        QCOMPARE(m_shell.closeCalls, 1);

        // Still not writable: asked again at the new folder; then extracted there.
        m_ctl->chooseFile(makeZip(u"first.zip"_qs));
        QTRY_COMPARE(m_prompts.folders.size(), 2);
        answerFolder(readonly);
        QCOMPARE(m_prompts.folders.value(2), readonly);
        answerFolder(granted);
        waitUntilIdle();
        QCOMPARE(readAll(granted + u"/first/one.txt"_qs), QByteArray("one of first.zip"));
    }

    void stopEverythingAnswersPromptsAndWaitsForTheWorker()
    {
        m_ctl->chooseFile(copyCorpus(u"locked.zip"_qs));
        m_ctl->chooseFile(makeZip(u"next.zip"_qs));
        QVERIFY(waitForPrompt(u"password"_qs));
        const auto locked = m_ctl->rarItems().first();
        bool stopped = false;
        bool workerGoneFirst = false;
        m_ctl->stopEverything([&] {
            stopped = true;
            workerGoneFirst = !m_ctl->isExtracting() && m_env->temporaryFolders().isEmpty();
        });
        QCOMPARE(m_prompts.cancelCalls, 1);
        QVERIFY(!stopped); // the worker still runs
        QTRY_VERIFY_WITH_TIMEOUT(stopped, 10000);
        QVERIFY(workerGoneFirst && locked->isCancelled());

        // Nothing new starts, a later launch's archive is not taken, and the
        // end rule stays out of the way.
        m_ctl->chooseFile(makeZip(u"late.zip"_qs));
        m_ctl->stopEverything([] { QFAIL("a second stop must change nothing"); });
        QTest::qWait(300);
        QCOMPARE(m_rows.added.size(), 2);
        QVERIFY(!QFile::exists(m_work->filePath(u"next"_qs)));
        QCOMPARE(m_shell.closeCalls + m_shell.terminateCalls, 0);
        // A request on the way out is answered as cancelled, never shown.
        m_ctl->passwordWithItem(m_ctl->rarItems().first());
        QTRY_COMPARE(m_prompts.log.last(), u"password (answered as cancelled)"_qs);
        QVERIFY(m_prompts.open.isEmpty());
    }

};

QTEST_GUILESS_MAIN(TestExtractionController)
#include "test_extraction_controller.moc"
