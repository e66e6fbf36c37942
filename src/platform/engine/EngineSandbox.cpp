#include "platform/engine/EngineSandbox.h"

#include "platform/files/UniqueFd.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <initializer_list>
#include <linux/landlock.h>
#include <memory>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

// Debian 12's kernel headers stop at ABI 2; newer kernels know this right
// under the number the kernel's ABI fixes for it.
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif

namespace {

using Report = EngineSandbox::Report;

void addNote(Report &report, const QString &note)
{
    if (!report.note.isEmpty())
        report.note += u"; "_qs;
    report.note += note;
}

bool fail(Report &report, QStringView what, int error)
{
    addNote(report, u"%1: %2"_qs.arg(what, qt_error_string(error)));
    return false;
}

// Landlock and no_new_privs bind only the calling thread: a thread started
// before would keep writing and gaining privileges freely.
bool singleThreaded(Report &report)
{
    const QDir tasks(u"/proc/self/task"_qs);
    if (tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() <= 1)
        return true;
    addNote(report, u"the sandbox must be applied before any other thread starts"_qs);
    return false;
}

// The hard limit goes down as well, so that the helper cannot lift it again;
// never above where it already is, since raising it takes privilege.
bool lowerLimit(int resource, rlim_t value)
{
    rlimit limit{};
    if (::getrlimit(resource, &limit) != 0)
        return false;
    limit.rlim_cur = limit.rlim_max = std::min(value, limit.rlim_max);
    return ::setrlimit(resource, &limit) == 0;
}

bool limitResources(qint64 addressSpaceLimit, Report &report)
{
    // A helper that crashes on a hostile archive would otherwise leave a core
    // as large as everything it had mapped.
    if (!lowerLimit(RLIMIT_CORE, 0))
        return fail(report, u"RLIMIT_CORE", errno);
    // A decompression bomb then ends in a failed allocation, not in the
    // out-of-memory killer picking some process of the user's.
    if (addressSpaceLimit > 0 && !lowerLimit(RLIMIT_AS, rlim_t(addressSpaceLimit)))
        return fail(report, u"RLIMIT_AS", errno);
    return true;
}

// Landlock and seccomp require it of an unprivileged process, and nothing the
// helper could still run would gain rights from set-user-ID bits.
bool forbidNewPrivileges(Report &report)
{
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return fail(report, u"no_new_privs", errno);
    return true;
}

// Every right that changes the file system, as far as this kernel knows them.
// Reading stays free: the volumes of an archive and ICU's data may be anywhere.
__u64 writeRights(int abi)
{
    __u64 rights = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR
        | LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR
        | LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO
        | LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2)
        rights |= LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3)
        rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
    return rights;
}

bool allowBeneath(int ruleset, const QString &folder, __u64 rights, Report &report)
{
    const UniqueFd folderFd(::open(QFile::encodeName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd.isValid())
        return fail(report, u"opening the writable folder", errno);
    const landlock_path_beneath_attr beneath{rights, folderFd.get()};
    if (::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &beneath, 0) != 0)
        return fail(report, u"Landlock rule", errno);
    return true;
}

bool confineWrites(const QString &writableFolder, Report &report)
{
    const int abi = int(::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION));
    if (abi < 0) {
        // Built without it, or left out of the boot's security modules.
        if (errno != ENOSYS && errno != EOPNOTSUPP)
            return fail(report, u"Landlock version", errno);
        addNote(report, u"this kernel has no Landlock: writes are not confined to one folder"_qs);
        return true;
    }
    const landlock_ruleset_attr attributes{writeRights(abi)};
    const UniqueFd ruleset(int(::syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0)));
    if (!ruleset.isValid())
        return fail(report, u"Landlock ruleset", errno);
    if (!writableFolder.isEmpty() && !allowBeneath(ruleset.get(), writableFolder, attributes.handled_access_fs, report))
        return false;
    if (::syscall(SYS_landlock_restrict_self, ruleset.get(), 0) != 0)
        return fail(report, u"Landlock restriction", errno);
    if (abi < 3)
        addNote(report, u"Landlock ABI %1 cannot refuse truncate() by path"_qs.arg(abi));
    report.landlock = true;
    report.landlockAbi = abi;
    return true;
}

struct FilterRelease {
    void operator()(scmp_filter_ctx filter) const { seccomp_release(filter); }
};
using Filter = std::unique_ptr<void, FilterRelease>;

int addRule(scmp_filter_ctx filter, uint32_t action, int call, std::initializer_list<scmp_arg_cmp> args = {})
{
    return seccomp_rule_add_array(filter, action, call, unsigned(args.size()), args.begin());
}

// Nothing a file parser needs: other processes' memory, new programs or
// processes, namespaces and the kernel's keyrings, BPF and perf, which are
// where exploits look for a way out.
constexpr int refusedCalls[] = {
    SCMP_SYS(ptrace), SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev),
    SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(fork), SCMP_SYS(vfork),
    SCMP_SYS(unshare), SCMP_SYS(setns), SCMP_SYS(keyctl), SCMP_SYS(add_key),
    SCMP_SYS(request_key), SCMP_SYS(bpf), SCMP_SYS(perf_event_open), SCMP_SYS(userfaultfd),
};

// Returns a negative errno as libseccomp does.
int addRules(scmp_filter_ctx filter)
{
    const uint32_t refuse = SCMP_ACT_ERRNO(EPERM);
    for (const int call : refusedCalls) {
        if (const int rc = addRule(filter, refuse, call); rc < 0)
            return rc;
    }
    // No new sockets of any kind: the helper talks to the program over the
    // one it inherits, and a local socket would reach the session bus, which
    // can start programs.
    if (const int rc = addRule(filter, refuse, SCMP_SYS(socket)); rc < 0)
        return rc;
    // Threads stay, new processes do not. The flags are the first argument on
    // every architecture Debian builds this for except s390x.
    if (const int rc = addRule(filter, refuse, SCMP_SYS(clone), {SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0)}); rc < 0)
        return rc;
    // clone3 passes its flags in memory, out of a filter's reach; ENOSYS makes
    // glibc fall back to clone, where the flags can be seen.
    return addRule(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3));
}

// Calls made through another architecture's entry (int 0x80 on x86-64) meet
// libseccomp's default for a foreign architecture, which kills the thread.
bool filterSystemCalls(Report &report)
{
    if (::prctl(PR_GET_SECCOMP, 0, 0, 0, 0) < 0 && errno == EINVAL) {
        addNote(report, u"this kernel has no seccomp: system calls are not filtered"_qs);
        return true;
    }
    const Filter filter(seccomp_init(SCMP_ACT_ALLOW));
    if (!filter)
        return fail(report, u"seccomp", ENOMEM);
    if (const int rc = addRules(filter.get()); rc < 0)
        return fail(report, u"seccomp rule", -rc);
    if (const int rc = seccomp_load(filter.get()); rc < 0)
        return fail(report, u"seccomp load", -rc);
    report.seccomp = true;
    return true;
}

} // namespace

bool EngineSandbox::apply(const QString &writableFolder, qint64 addressSpaceLimit, Report *report)
{
    Report unused;
    Report &out = report ? *report : unused;
    out = Report();
    return singleThreaded(out) && limitResources(addressSpaceLimit, out) && forbidNewPrivileges(out)
        && confineWrites(writableFolder, out) && filterSystemCalls(out);
}
