#include "platform/system/ConditionLock.h"
#include "platform/system/TemporaryFolderLock.h"
#include "platform/system/TemporaryFolderSweeper.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

enum Setup { LiveOwner, KilledOwner, WithoutLock, FreshWithoutLock, HandedOver, SymlinkElsewhere };

bool makeOld(const QString &path)
{
    const time_t twoMinutesAgo = std::time(nullptr) - 120;
    const timespec times[2] = {{twoMinutesAgo, 0}, {twoMinutesAgo, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace

// The condition lock is the one the worker and the main thread hand over with.
class TestSystem : public QObject {
    Q_OBJECT

    const TestEnvironment m_env;
    QList<pid_t> m_children;

    // The child shares the lock's open file and keeps it held until it dies.
    pid_t lockedByChild(const QString &folder)
    {
        TemporaryFolderLock lock;
        if (!lock.create(folder))
            return -1;
        const pid_t child = ::fork();
        if (child == 0) {
            for (;;)
                ::pause();
        }
        lock.release();
        m_children.append(child);
        return child;
    }

    void kill(pid_t child)
    {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        m_children.removeAll(child);
    }

    void make(Setup setup, const QString &path, const QString &elsewhere)
    {
        switch (setup) {
        case LiveOwner:
        case KilledOwner: {
            const pid_t child = lockedByChild(path);
            QVERIFY(child > 0);
            if (setup == KilledOwner)
                kill(child);
            break;
        }
        case WithoutLock:
        case FreshWithoutLock:
            QVERIFY(QDir().mkdir(path));
            break;
        case HandedOver: {
            TemporaryFolderLock lock;
            QVERIFY(lock.create(path));
            lock.handOver();
            break;
        }
        case SymlinkElsewhere:
            QVERIFY(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(path).constData()) == 0);
            return;
        }
        QVERIFY(writeFile(path + u"/part.bin"_qs, "half written"));
        // Age never decides over a lock; it decides only without one.
        if (setup != FreshWithoutLock)
            QVERIFY(makeOld(path));
    }

private Q_SLOTS:
    void cleanup()
    {
        for (pid_t child : std::as_const(m_children))
            kill(child);
    }

    void sweepsWhatNoRunningProcessHolds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("setup");
        QTest::addColumn<bool>("swept");
        QTest::newRow("held by a live process") << u".Temp_1"_qs << int(LiveOwner) << false;
        QTest::newRow("its process was killed") << u".Temp_2"_qs << int(KilledOwner) << true;
        QTest::newRow("old, without a lock") << u".Temp_3"_qs << int(WithoutLock) << true;
        QTest::newRow("fresh, without a lock") << u".Temp_4"_qs << int(FreshWithoutLock) << false;
        QTest::newRow("result handed to the user") << u".Temp_5"_qs << int(HandedOver) << false;
        QTest::newRow("symlink to a folder elsewhere") << u".Temp_x"_qs << int(SymlinkElsewhere) << true;
        QTest::newRow("other name, process killed") << u"Temp_6"_qs << int(KilledOwner) << false;
        QTest::newRow("other name, old") << u".temp_7"_qs << int(WithoutLock) << false;
    }

    void sweepsWhatNoRunningProcessHolds()
    {
        QFETCH(QString, name);
        QFETCH(int, setup);
        QFETCH(bool, swept);
        QTemporaryDir appData;
        QTemporaryDir elsewhere;
        const QString precious = elsewhere.filePath(u"precious.txt"_qs);
        QVERIFY(writeFile(precious, "not ours"));
        const QString path = appData.filePath(name);
        make(Setup(setup), path, elsewhere.path());
        if (QTest::currentTestFailed())
            return;

        const QStringList removed = TemporaryFolderSweeper::sweep(appData.path());
        QCOMPARE(removed, swept ? QStringList{name} : QStringList());
        QCOMPARE(statOf(path).st_mode != 0, !swept);
        QVERIFY(QFile::exists(precious));
    }

    void aFolderCanBeLockedOnlyOnce()
    {
        QTemporaryDir appData;
        const QString path = appData.filePath(u"nested/.Temp_9"_qs);
        TemporaryFolderLock first;
        QVERIFY(first.create(path));
        TemporaryFolderLock second;
        QVERIFY(!second.create(path));
        QVERIFY(!second.isHeld());

        const QString parent = appData.filePath(u"nested"_qs);
        QVERIFY(TemporaryFolderSweeper::sweep(parent).isEmpty());
        first.release();
        QCOMPARE(TemporaryFolderSweeper::sweep(parent), QStringList{u".Temp_9"_qs});
    }

    void conditionLockHandsOverInBothOrders()
    {
        ConditionLock lock(0);
        // Answer first: the waiter passes at once; waiter first: it blocks until the answer.
        lock.lockWhenCondition(0);
        lock.unlockWithCondition(1);
        lock.lockWhenCondition(1);
        lock.unlockWithCondition(0);
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
};

QTEST_GUILESS_MAIN(TestSystem)
#include "test_system.moc"
