#include "platform/engine/EngineSandbox.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <linux/landlock.h>
#include <sched.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Well above what a forked test process has mapped, well below what it could
// allocate without a limit.
constexpr qint64 AddressSpace = qint64(768) << 20;
constexpr int ApplyFailed = 200;

// A path as the system calls take it.
struct Path {
    QByteArray bytes;
    operator const char *() const { return bytes.constData(); }
};

// The writable folder "inside" and its sibling "outside", each with one file.
struct Paths {
    QByteArray base;
    Path in(const char *name) const { return {base + "/inside/" + name}; }
    Path out(const char *name) const { return {base + "/outside/" + name}; }
};

// Each probe tries one thing in the sandboxed child: 0 when it worked, else errno.
using Probe = int (*)(const Paths &);

int result(long rc) { return rc < 0 ? errno : 0; }

int create(const Path &path)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    return fd < 0 ? errno : result(::close(fd));
}

int forkChild(const Paths &)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    return child < 0 ? errno : result(::waitpid(child, nullptr, 0));
}

int readOwnMemory(const Paths &)
{
    int source = 7;
    int target = 0;
    const iovec local{&target, sizeof target};
    const iovec remote{&source, sizeof source};
    return result(::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0));
}

int allocateBeyondLimit(const Paths &)
{
    void *block = std::malloc(size_t(AddressSpace));
    if (!block)
        return ENOMEM;
    std::memset(block, 1, size_t(AddressSpace));
    asm volatile("" : : "r"(block) : "memory"); // keeps the touching from being optimised away
    std::free(block);
    return 0;
}

int kernelLandlockAbi()
{
    return int(::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION));
}

// The sandbox cannot be undone, so it goes into a child that reports through its exit code.
int inSandbox(const QString &folder, Probe probe, const Paths &paths)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const bool landlockExpected = kernelLandlockAbi() > 0;
        EngineSandbox::Report report;
        if (!EngineSandbox::apply(folder, AddressSpace, &report) || !report.seccomp
            || report.landlock != landlockExpected)
            ::_exit(ApplyFailed);
        ::_exit(probe(paths));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// Every entry beneath base with the contents of its files.
QStringList snapshot(const QString &base)
{
    QStringList entries;
    QDirIterator it(base, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        const QByteArray content = it.fileInfo().isFile() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        entries.append(path.mid(base.size() + 1) + u'=' + QString::fromUtf8(content));
    }
    entries.sort();
    return entries;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

Q_DECLARE_METATYPE(Probe)

class TestEngineSandbox : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void confinement_data()
    {
        QTest::addColumn<Probe>("probe");
        QTest::addColumn<bool>("writable");   // whether "inside" is given as the writable folder
        QTest::addColumn<int>("landlockAbi"); // the Landlock ABI the row needs; 0: none
        QTest::addColumn<QList<int>>("results");
        QTest::addColumn<QStringList>("added");
        const QList<int> worked{0};
        const QList<int> refused{EACCES, EPERM};
        // Moving or linking across the folder's edge may also be refused as a cross-device move.
        const QList<int> refusedAcross{EACCES, EPERM, EXDEV};

        const auto row = [](const char *name, Probe probe, bool writable, int abi, const QList<int> &results,
                            const QStringList &added = {}) {
            QTest::newRow(name) << probe << writable << abi << results << added;
        };
        row("new file inside", [](const Paths &p) { return create(p.in("new")); }, true, 1, worked,
            {u"inside/new="_qs});
        row("new file in a subfolder", [](const Paths &p) {
            return ::mkdir(p.in("sub"), 0700) < 0 ? errno : create(p.in("sub/new"));
        }, true, 1, worked, {u"inside/sub="_qs, u"inside/sub/new="_qs});
        row("move between subfolders inside", [](const Paths &p) {
            if (::mkdir(p.in("sub"), 0700) < 0 || ::rename(p.in("kept"), p.in("sub/kept")) < 0)
                return errno;
            return result(::rename(p.in("sub/kept"), p.in("kept")));
        }, true, 2, worked, {u"inside/sub="_qs});
        row("new file outside", [](const Paths &p) { return create(p.out("new")); }, true, 1, refused);
        row("folder outside", [](const Paths &p) { return result(::mkdir(p.out("dir"), 0700)); }, true, 1, refused);
        row("rename to outside", [](const Paths &p) { return result(::rename(p.in("kept"), p.out("kept"))); },
            true, 1, refusedAcross);
        row("symlink outside", [](const Paths &p) { return result(::symlink("victim", p.out("link"))); }, true, 1,
            refused);
        row("hard link outside", [](const Paths &p) { return result(::link(p.in("kept"), p.out("hard"))); }, true,
            1, refusedAcross);
        row("hard link from outside", [](const Paths &p) { return result(::link(p.out("victim"), p.in("hard"))); },
            true, 1, refusedAcross);
        row("open outside for writing", [](const Paths &p) {
            return result(::open(p.out("victim"), O_WRONLY | O_TRUNC | O_CLOEXEC));
        }, true, 1, refused);
        row("truncate outside", [](const Paths &p) { return result(::truncate(p.out("victim"), 0)); }, true, 3,
            refused);
        row("delete outside", [](const Paths &p) { return result(::unlink(p.out("victim"))); }, true, 1, refused);
        row("no folder: new file inside", [](const Paths &p) { return create(p.in("new")); }, false, 1, refused);
        row("no folder: new file outside", [](const Paths &p) { return create(p.out("new")); }, false, 1, refused);

        row("inet socket", [](const Paths &) { return result(::socket(AF_INET, SOCK_STREAM, 0)); }, true, 0,
            {EPERM});
        row("netlink socket", [](const Paths &) { return result(::socket(AF_NETLINK, SOCK_RAW, 0)); }, true, 0,
            {EPERM});
        row("unix socket", [](const Paths &) { return result(::socket(AF_UNIX, SOCK_STREAM, 0)); }, true, 0,
            {EPERM});
        row("execve", [](const Paths &) {
            char *const argv[] = {const_cast<char *>("/bin/true"), nullptr};
            return result(::execve("/bin/true", argv, environ));
        }, true, 0, {EPERM});
        row("fork", forkChild, true, 0, {EPERM});
        row("ptrace", [](const Paths &) { return result(::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr)); }, true, 0,
            {EPERM});
        row("process_vm_readv", readOwnMemory, true, 0, {EPERM});
        row("user namespace", [](const Paths &) { return result(::unshare(CLONE_NEWUSER)); }, true, 0, {EPERM});
        row("allocation beyond the limit", allocateBeyondLimit, true, 0, {ENOMEM});
    }

    void confinement()
    {
        QFETCH(Probe, probe);
        QFETCH(bool, writable);
        QFETCH(int, landlockAbi);
        QFETCH(QList<int>, results);
        QFETCH(QStringList, added);
        if (landlockAbi > 0 && kernelLandlockAbi() < landlockAbi)
            QSKIP("this kernel's Landlock is missing or too old for this case");

        QTemporaryDir base;
        QVERIFY(base.isValid());
        QVERIFY(QDir(base.path()).mkdir(u"inside"_qs) && QDir(base.path()).mkdir(u"outside"_qs));
        QVERIFY(writeFile(base.filePath(u"inside/kept"_qs), "kept"));
        QVERIFY(writeFile(base.filePath(u"outside/victim"_qs), "victim"));
        QStringList expected = snapshot(base.path()) + added;
        expected.sort();

        const QString folder = writable ? base.filePath(u"inside"_qs) : QString();
        const int status = inSandbox(folder, probe, {QFile::encodeName(base.path())});
        QVERIFY2(results.contains(status), qPrintable(u"the child ended with %1"_qs.arg(status)));
        QCOMPARE(snapshot(base.path()), expected);
    }

    // A thread already running would stay unconfined; the helper must hear of it.
    void refusedWithAnotherThread()
    {
        const pid_t child = ::fork();
        if (child == 0) {
            std::promise<void> release;
            std::thread waiting([future = release.get_future()] { future.wait(); });
            const bool applied = EngineSandbox::apply(QString(), AddressSpace, nullptr);
            release.set_value();
            waiting.join();
            ::_exit(applied ? 1 : 0);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
};

QTEST_GUILESS_MAIN(TestEngineSandbox)
#include "test_engine_sandbox.moc"
