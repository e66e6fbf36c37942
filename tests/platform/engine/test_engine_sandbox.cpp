#include "EngineHarness.h"
#include "platform/engine/EngineSandbox.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sched.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Well above what a forked test process has mapped, well below what it could
// allocate without a limit.
constexpr qint64 AddressSpace = qint64(768) << 20;

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
            ::_exit(200); // no errno a probe reports
        ::_exit(probe(paths));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

} // namespace

Q_DECLARE_METATYPE(Probe)

class TestEngineSandbox : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Only what a run never needs: whatever it needs, every extraction does.
    void confinement_data()
    {
        QTest::addColumn<Probe>("probe");
        QTest::addColumn<int>("landlockAbi"); // the Landlock ABI the row needs; 0: none
        QTest::addColumn<QList<int>>("results");
        QTest::addColumn<bool>("writable"); // whether "inside" is given as the writable folder
        const QList<int> refused{EACCES, EPERM};
        // Moving or linking across the folder's edge may also be refused as a cross-device move.
        const QList<int> across{EACCES, EPERM, EXDEV};
        const auto row = [](const char *name, Probe probe, int abi, const QList<int> &results, bool writable = true) {
            QTest::newRow(name) << probe << abi << results << writable;
        };
        row("new file outside", [](const Paths &p) { return create(p.out("new")); }, 1, refused);
        row("folder outside", [](const Paths &p) { return result(::mkdir(p.out("dir"), 0700)); }, 1, refused);
        row("rename to outside", [](const Paths &p) { return result(::rename(p.in("kept"), p.out("kept"))); }, 1, across);
        row("symlink outside", [](const Paths &p) { return result(::symlink("victim", p.out("link"))); }, 1, refused);
        row("hard link outside", [](const Paths &p) { return result(::link(p.in("kept"), p.out("hard"))); }, 1, across);
        row("hard link from outside", [](const Paths &p) { return result(::link(p.out("victim"), p.in("hard"))); }, 1,
            across);
        row("open outside for writing",
            [](const Paths &p) { return result(::open(p.out("victim"), O_WRONLY | O_TRUNC | O_CLOEXEC)); }, 1, refused);
        row("truncate outside", [](const Paths &p) { return result(::truncate(p.out("victim"), 0)); }, 3, refused);
        row("delete outside", [](const Paths &p) { return result(::unlink(p.out("victim"))); }, 1, refused);
        row("no folder: new file inside", [](const Paths &p) { return create(p.in("new")); }, 1, refused, false);
        row("inet socket", [](const Paths &) { return result(::socket(AF_INET, SOCK_STREAM, 0)); }, 0, {EPERM});
        row("execve", [](const Paths &) {
            char *const argv[] = {const_cast<char *>("/bin/true"), nullptr};
            return result(::execve("/bin/true", argv, environ));
        }, 0, {EPERM});
        row("fork", forkChild, 0, {EPERM});
        row("ptrace", [](const Paths &) { return result(::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr)); }, 0, {EPERM});
        row("user namespace", [](const Paths &) { return result(::unshare(CLONE_NEWUSER)); }, 0, {EPERM});
        row("allocation beyond the limit", allocateBeyondLimit, 0, {ENOMEM});
    }

    void confinement()
    {
        QFETCH(Probe, probe);
        QFETCH(int, landlockAbi);
        QFETCH(QList<int>, results);
        QFETCH(bool, writable);
        if (landlockAbi > 0 && kernelLandlockAbi() < landlockAbi)
            QSKIP("this kernel's Landlock is missing or too old for this case");
        QTemporaryDir base;
        QVERIFY(QDir(base.path()).mkdir(u"inside"_qs) && QDir(base.path()).mkdir(u"outside"_qs));
        QVERIFY(writeFile(base.filePath(u"inside/kept"_qs), "kept"));
        QVERIFY(writeFile(base.filePath(u"outside/victim"_qs), "victim"));
        const Tree before = listTree(base.path());
        const QString folder = writable ? base.filePath(u"inside"_qs) : QString();
        const int status = inSandbox(folder, probe, {QFile::encodeName(base.path())});
        QVERIFY2(results.contains(status), qPrintable(u"the child ended with %1"_qs.arg(status)));
        COMPARE_TREES(listTree(base.path()), before);
    }
};

QTEST_GUILESS_MAIN(TestEngineSandbox)
#include "test_engine_sandbox.moc"
