#include "TestEnvironment.h"
#include "platform/system/ConditionLock.h"
#include "platform/desktop/FileViewer.h"
#include "platform/system/PatternMatch.h"
#include "platform/settings/UserDefaults.h"
#include "platform/settings/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

// The settings store, the condition lock and the small platform stand-ins.
class TestCorePlatform : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }

    void absentKeysReadAsZero()
    {
        auto &d = UserDefaults::standardUserDefaults();
        QCOMPARE(d.integerForKey(SettingsKeys::SaveMethod), 0);
        QCOMPARE(d.boolForKey(SettingsKeys::Desc), false);
        QVERIFY(d.stringForKey(SettingsKeys::Day).isNull());
        QVERIFY(d.dictionaryForKey(SettingsKeys::CachedURLs).isEmpty());
    }

    void valuesSurviveARestartUnderTheirExactKeys()
    {
        auto &d = UserDefaults::standardUserDefaults();
        d.setInteger(3, SettingsKeys::SaveMethod);
        d.setString(u"/home/me/out"_qs, SettingsKeys::SelectPath);
        d.setBool(true, SettingsKeys::First);
        d.setDictionary({{u"/a/b"_qs, QByteArray("\x00\x01", 2)}}, SettingsKeys::CachedURLs);
        d.synchronize();
        QCOMPARE(d.storePath(), env->settingsPath());

        UserDefaults::useStoreAtPath(env->settingsPath());
        auto &again = UserDefaults::standardUserDefaults();
        QCOMPARE(again.integerForKey(SettingsKeys::SaveMethod), 3);
        QCOMPARE(again.stringForKey(SettingsKeys::SelectPath), u"/home/me/out"_qs);
        QVERIFY(again.boolForKey(SettingsKeys::First));
        QCOMPARE(again.dictionaryForKey(SettingsKeys::CachedURLs).value(u"/a/b"_qs).toByteArray(),
                 QByteArray("\x00\x01", 2));

        QFile ini(env->settingsPath());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        QVERIFY(text.contains("save%20method=3"));
        QVERIFY(text.contains("select%20path=/home/me/out"));
    }

    void handEditedValuesAreRead()
    {
        QFile ini(env->settingsPath());
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("[General]\nexit%20app=1\ndesc=true\nopen%20folder=junk\n");
        ini.close();
        UserDefaults::useStoreAtPath(env->settingsPath());
        auto &d = UserDefaults::standardUserDefaults();
        QCOMPARE(d.integerForKey(SettingsKeys::ExitApp), 1);
        QVERIFY(d.boolForKey(SettingsKeys::Desc));
        QCOMPARE(d.integerForKey(SettingsKeys::OpenFolder), 0);
    }

    void conditionLockHandsOverInBothOrders()
    {
        ConditionLock lock(0);
        // Answer first: the waiter passes at once.
        lock.lockWhenCondition(0);
        lock.unlockWithCondition(1);
        lock.lockWhenCondition(1);
        lock.unlockWithCondition(0);
        QCOMPARE(lock.condition(), 0);

        // Waiter first: it blocks until the answer.
        std::atomic<bool> woke{false};
        std::thread waiter([&] {
            lock.lockWhenCondition(1);
            woke = true;
            lock.unlockWithCondition(0);
        });
        QTest::qWait(50);
        QVERIFY(!woke);
        lock.lockWhenCondition(0);
        lock.unlockWithCondition(1);
        waiter.join();
        QVERIFY(woke);
        QCOMPARE(lock.condition(), 0);
    }

    void patternsMatchAnywhere()
    {
        const QString mail = u"/Library/Mail Downloads/[^/]+$"_qs;
        QVERIFY(matchedByPattern(u"/home/u/Library/Mail Downloads/x"_qs, mail));
        QVERIFY(!matchedByPattern(u"/home/u/Library/Mail Downloads/sub/x"_qs, mail));
        QVERIFY(!matchedByPattern(u"anything"_qs, u"(unclosed"_qs));
    }

    void packagesAreBundleFolders()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"Tool.app"_qs));
        QVERIFY(QDir(dir.path()).mkpath(u"Plain.folder"_qs));
        QFile file(dir.filePath(u"file.app"_qs));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(FileViewer::isFilePackageAtPath(dir.filePath(u"Tool.app"_qs)));
        QVERIFY(!FileViewer::isFilePackageAtPath(dir.filePath(u"Plain.folder"_qs)));
        QVERIFY(!FileViewer::isFilePackageAtPath(dir.filePath(u"file.app"_qs)));
    }
};

QTEST_GUILESS_MAIN(TestCorePlatform)
#include "test_core_platform.moc"
