#include "ArchiveMaker.h"
#include "ExtractionFakes.h"
#include "TestEnvironment.h"

#include "access/QXURLCache.h"
#include "extraction/ExtractionController.h"
#include "extraction/QXTaskQueue.h"
#include "extraction/RARItem.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/settings/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <unistd.h>

namespace {

const QString PasswordZip = QStringLiteral("test_read_format_zip_traditional_encryption_data.zip");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The archive readers this test process started, by their /proc entries.
QList<pid_t> engineHelpers()
{
    QList<pid_t> helpers;
    for (const QString &entry : QDir(u"/proc"_qs).entryList(QDir::Dirs)) {
        const QByteArray stat = readAll(u"/proc/%1/stat"_qs.arg(entry));
        const qsizetype close = stat.lastIndexOf(')');
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (close > 0 && stat.contains("(quillbox-engine)") && fields.size() > 1 && fields.at(1).toInt() == ::getpid())
            helpers.append(pid_t(entry.toInt()));
    }
    return helpers;
}

} // namespace

// The archives' road through the controller with real archives and the real
// engine; the user, the rows and the window are played by fakes.
class TestExtractionController : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void pathsWithoutExtensionAreIgnored();
    void archivesRunOneAtATimeInOrder();
    void exitAppDecidesAtTheEnd_data();
    void exitAppDecidesAtTheEnd();
    void unwritableDestinationAsksForAFolder();
    void cancelledRowIsDroppedWithoutAQuestion();
    void stopEverythingAnswersPromptsAndWaitsForTheWorker();
    void lostHelperIsAFailureAndTheQueueGoesOn();

private:
    void startController();
    QString makeZip(const QString &name, const QString &folder = QString());
    QString copyCorpus(const QString &as);
    QStringList tempFolders() const;
    bool waitForPrompt(const QString &kind);
    void waitUntilIdle();

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_work;
    FakePrompts m_prompts;
    FakeRows m_rows;
    FakeShell m_shell;
    std::unique_ptr<ExtractionController> m_ctl;
};

void TestExtractionController::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    QVERIFY(QFile::exists(TestEnvironment::corpusPath(PasswordZip)));
}

void TestExtractionController::init()
{
    m_work = std::make_unique<QTemporaryDir>();
    for (const QString &key : {SettingsKeys::SaveMethod, SettingsKeys::SelectPath, SettingsKeys::ExitApp,
                               SettingsKeys::DeleteZip, SettingsKeys::CachedURLs})
        UserDefaults::standardUserDefaults().removeObjectForKey(key);
    QXURLCache::resetSharedInstanceForTesting();
    m_prompts = FakePrompts();
    m_rows = FakeRows();
    m_shell = FakeShell();
    startController();
}

void TestExtractionController::startController()
{
    m_ctl.reset();
    m_ctl = std::make_unique<ExtractionController>(&m_prompts, &m_rows, &m_shell);
}

void TestExtractionController::cleanup()
{
    // No worker may outlive its controller: refuse whatever is still asked.
    for (int i = 0; i < 100 && !m_ctl->isStopping() && !(m_ctl->setupTask()->isEmpty() && m_ctl->extractTask()->isEmpty()); ++i) {
        if (!m_prompts.open.isEmpty())
            m_prompts.answer();
        if (auto answer = std::exchange(m_prompts.folderAnswer, nullptr))
            answer(QString());
        QTest::qWait(50);
    }
    m_ctl.reset();
}

QString TestExtractionController::makeZip(const QString &name, const QString &folder)
{
    const QString path = QDir(folder.isEmpty() ? m_work->path() : folder).filePath(name);
    const QByteArray tag = name.toUtf8();
    const bool made = ArchiveMaker::write(path, u"zip"_qs, QString(),
                                          {ArchiveEntrySpec::file("one.txt", "one of " + tag),
                                           ArchiveEntrySpec::file("two.txt", "two of " + tag)});
    return made ? path : QString();
}

QString TestExtractionController::copyCorpus(const QString &as)
{
    const QString target = m_work->filePath(as);
    return QFile::copy(TestEnvironment::corpusPath(PasswordZip), target) ? target : QString();
}

QStringList TestExtractionController::tempFolders() const
{
    return QDir(m_env->appData()).entryList({u".Temp_*"_qs}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
}

bool TestExtractionController::waitForPrompt(const QString &kind)
{
    return QTest::qWaitFor([&] { return !m_prompts.open.isEmpty() && m_prompts.open.first().kind == kind; }, 20000);
}

void TestExtractionController::waitUntilIdle()
{
    QTRY_VERIFY_WITH_TIMEOUT(m_ctl->rarItems().isEmpty(), 20000);
    QTRY_VERIFY(m_ctl->setupTask()->isEmpty() && m_ctl->extractTask()->isEmpty());
}

void TestExtractionController::pathsWithoutExtensionAreIgnored()
{
    for (const QString &name : {u"README"_qs, u"name. "_qs, u"name.(null)"_qs, u".hidden"_qs, u"trailing."_qs, QString()})
        m_ctl->chooseFile(name.isNull() ? name : m_work->filePath(name));
    QTest::qWait(50);
    QVERIFY(m_ctl->rarItems().isEmpty());
    QVERIFY(m_rows.added.isEmpty());
    QCOMPARE(m_ctl->setupTask()->taskCount(), 0);
    QCOMPARE(m_shell.closeCalls + m_shell.terminateCalls, 0); // no end rule either
}

void TestExtractionController::archivesRunOneAtATimeInOrder()
{
    const QString secret = copyCorpus(u"secret.zip"_qs);
    const QString beta = makeZip(u"beta.zip"_qs);
    for (const QString &path : {secret, beta, beta})
        m_ctl->chooseFile(path);
    QCOMPARE(m_rows.added, (QStringList{u"secret.zip"_qs, u"beta.zip"_qs, u"beta.zip"_qs}));

    // The first archive waits for its password; the others have not started.
    QVERIFY(waitForPrompt(u"password"_qs));
    QVERIFY(m_ctl->isExtracting());
    QTest::qWait(200);
    QCOMPARE(m_ctl->extractTask()->taskCount(), 3);
    QVERIFY(!QFile::exists(m_work->filePath(u"beta"_qs)));
    QVERIFY(tempFolders().size() <= 1);
    QCOMPARE(m_shell.closeCalls, 0);

    m_prompts.answer(u"12345678"_qs);
    waitUntilIdle();
    QVERIFY(!m_ctl->isExtracting());
    QCOMPARE(m_rows.removed, m_rows.added);
    QCOMPARE(m_prompts.log, QStringList{u"password"_qs});
    QCOMPARE(readAll(m_work->filePath(u"secret/foo.txt"_qs)).size(), 495);
    // The same archive twice: two results side by side, neither overwritten.
    const QStringList results = QDir(m_work->path()).entryList({u"beta*"_qs}, QDir::Dirs);
    QCOMPARE(results.size(), 2);
    for (const QString &result : results)
        QCOMPARE(readAll(m_work->filePath(result + u"/one.txt"_qs)), QByteArray("one of beta.zip"));
    QCOMPARE(m_shell.reviewCalls, 3);
    QVERIFY(tempFolders().isEmpty());
}

void TestExtractionController::exitAppDecidesAtTheEnd_data()
{
    QTest::addColumn<int>("exitApp");
    QTest::newRow("off: the window closes") << 0;
    QTest::newRow("on: the program ends") << 1;
}

void TestExtractionController::exitAppDecidesAtTheEnd()
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
    QCOMPARE(m_shell.closeCalls, exitApp == 0 ? 1 : 0);
    QCOMPARE(m_shell.terminateCalls, exitApp == 0 ? 0 : 1);
    QVERIFY(QFile::exists(m_work->filePath(u"later/one.txt"_qs)));

    // Nothing runs: a stop is over at once.
    bool stopped = false;
    m_ctl->stopEverything([&] { stopped = true; });
    QVERIFY(stopped);
}

void TestExtractionController::unwritableDestinationAsksForAFolder()
{
    // A sandbox in miniature: only folders the cache grants can be written,
    // and "readonly" never.
    const auto sandbox = [](const QString &folder) {
        return !folder.endsWith(u"readonly"_qs) && !QXURLCache::sharedInstance().urlWithAllowAccessToPath(folder).isEmpty();
    };
    const QString granted = m_work->filePath(u"granted"_qs);
    const QString readonly = m_work->filePath(u"readonly"_qs);
    QVERIFY(QDir().mkpath(granted) && QDir().mkpath(readonly));
    auto &defaults = UserDefaults::standardUserDefaults();
    defaults.setInteger(SaveMethod::ChosenFolder, SettingsKeys::SaveMethod);
    defaults.setString(granted, SettingsKeys::SelectPath);
    m_ctl->setWriteTest(sandbox);

    // Refused: the row goes silently, and with it the last work.
    m_ctl->chooseFile(makeZip(u"refused.zip"_qs));
    QTRY_COMPARE(m_prompts.folders, QStringList{granted});
    std::exchange(m_prompts.folderAnswer, nullptr)(QString());
    QVERIFY(m_ctl->rarItems().isEmpty());
    QCOMPARE(m_shell.closeCalls, 1);

    // Still not writable: asked again at the new folder; then extracted there.
    m_ctl->chooseFile(makeZip(u"first.zip"_qs));
    QTRY_COMPARE(m_prompts.folders.size(), 2);
    std::exchange(m_prompts.folderAnswer, nullptr)(readonly);
    QCOMPARE(m_prompts.folders.value(2), readonly);
    std::exchange(m_prompts.folderAnswer, nullptr)(granted);
    waitUntilIdle();
    QCOMPARE(readAll(granted + u"/first/one.txt"_qs), QByteArray("one of first.zip"));
    QVERIFY(m_prompts.log.isEmpty());

    // A new controller and a freshly read cache: the grant was kept.
    QXURLCache::resetSharedInstanceForTesting();
    startController();
    m_ctl->setWriteTest(sandbox);
    m_ctl->chooseFile(makeZip(u"second.zip"_qs));
    waitUntilIdle();
    QCOMPARE(m_prompts.folders.size(), 3);
    QVERIFY(QFile::exists(granted + u"/second/two.txt"_qs));
}

void TestExtractionController::cancelledRowIsDroppedWithoutAQuestion()
{
    m_ctl->setWriteTest([](const QString &) { return false; });
    m_ctl->chooseFile(makeZip(u"never.zip"_qs));
    m_ctl->rarItems().first()->extractCancel();
    QTRY_VERIFY(m_ctl->rarItems().isEmpty());
    QVERIFY(m_prompts.folders.isEmpty());
    QCOMPARE(m_shell.closeCalls, 1);
}

void TestExtractionController::stopEverythingAnswersPromptsAndWaitsForTheWorker()
{
    m_ctl->chooseFile(copyCorpus(u"locked.zip"_qs));
    m_ctl->chooseFile(makeZip(u"next.zip"_qs));
    QVERIFY(waitForPrompt(u"password"_qs));
    const auto locked = m_ctl->rarItems().first();
    bool stopped = false;
    bool workerGoneFirst = false;
    m_ctl->stopEverything([&] {
        stopped = true;
        workerGoneFirst = !m_ctl->isExtracting() && tempFolders().isEmpty();
    });
    QCOMPARE(m_prompts.cancelCalls, 1);
    QVERIFY(!stopped); // the worker still runs
    QTRY_VERIFY_WITH_TIMEOUT(stopped, 10000);
    QVERIFY(workerGoneFirst);
    QVERIFY(locked->isCancelled());

    // Nothing new starts, a later launch's archive is not taken, and the end
    // rule stays out of the way.
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

// The reader dies while the password is asked: the archive ends with an
// error, nothing is left behind, and the next archive extracts.
void TestExtractionController::lostHelperIsAFailureAndTheQueueGoesOn()
{
    const QString locked = copyCorpus(u"locked box.zip"_qs);
    m_ctl->chooseFile(locked);
    m_ctl->chooseFile(makeZip(u"after.zip"_qs));
    QVERIFY(waitForPrompt(u"password"_qs));
    const QList<pid_t> helpers = engineHelpers();
    QCOMPARE(helpers.size(), 1);
    QCOMPARE(::kill(helpers.first(), SIGKILL), 0);
    m_prompts.answer(u"password"_qs);
    QVERIFY(waitForPrompt(u"error"_qs));
    const QString tip = m_prompts.open.first().item->errorTip();
    QVERIFY2(tip.contains(u"locked box.zip"_qs) && tip.contains(u"archive reader"_qs), qPrintable(tip));
    m_prompts.answer();
    waitUntilIdle();
    QVERIFY(QFileInfo(m_work->filePath(u"after"_qs)).isDir());
    QVERIFY(QFile::exists(locked));
    QVERIFY(tempFolders().isEmpty());
    QVERIFY(engineHelpers().isEmpty());
}

QTEST_GUILESS_MAIN(TestExtractionController)
#include "test_extraction_controller.moc"
