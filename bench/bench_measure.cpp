// Runs one command and prints what it cost, for bench/compare.sh:
//
//   bench_measure [--watch-children] [--log FILE] [--timeout SECONDS] -- COMMAND [ARGS...]
//
// prints one line of key=value pairs: wall_ms, user_ms and sys_ms (the
// command and every child it waited for), exit (124 when it ran out of
// time and was killed), and with --watch-children self_peak_kib,
// child_peak_kib and children. The command's own output goes to FILE.
//
// Peak memory is the kernel's high-water mark of a process's resident set
// (VmHWM in /proc/PID/status), sampled every 5 ms while the process lives:
// self_peak_kib is the command's own process, child_peak_kib the largest
// over its direct children (Quillbox's engine helpers), children how many
// there were. Only growth in a process's last 5 ms can go unseen.
// child_user_ms and child_sys_ms are the CPU times of the children the
// command had waited for by its last sample (cutime and cstime in
// /proc/PID/stat): for Quillbox, its engine helpers, which end before it does.
// getrusage's figures cannot tell the two apart: a child started by
// posix_spawn (vfork) is charged its parent's high-water mark when it execs,
// so RUSAGE_CHILDREN's maxrss is never below the parent's own.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <map>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

long highWaterKib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1; // gone, or a zombie whose memory is already freed
}

// A child belongs to the thread that started it, so every thread's list counts.
std::vector<pid_t> childrenOf(pid_t pid)
{
    std::vector<pid_t> children;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR *dir = ::opendir(tasks.c_str());
    if (!dir)
        return children;
    while (dirent *task = ::readdir(dir)) {
        if (task->d_name[0] == '.')
            continue;
        std::ifstream list(tasks + '/' + task->d_name + "/children");
        pid_t child;
        while (list >> child)
            children.push_back(child);
    }
    ::closedir(dir);
    return children;
}

// Fields 16 and 17 of /proc/PID/stat, in clock ticks; the name in field 2
// may hold spaces, so counting starts after its closing parenthesis.
bool waitedChildrenTicks(pid_t pid, long long *user, long long *system)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return false;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int number = 3; number <= 17 && fields >> field; ++number) {
        if (number == 16)
            *user = std::stoll(field);
        else if (number == 17)
            *system = std::stoll(field);
    }
    return bool(fields);
}

struct Peaks {
    long self = 0;
    std::map<pid_t, long> children;
    long long childUserTicks = 0;
    long long childSystemTicks = 0;
};

std::string programOf(pid_t pid)
{
    char target[4096];
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
    return length > 0 ? std::string(target, size_t(length)) : std::string();
}

void sample(pid_t pid, Peaks &peaks)
{
    peaks.self = std::max(peaks.self, highWaterKib(pid));
    long long user = 0, system = 0;
    if (waitedChildrenTicks(pid, &user, &system)) {
        peaks.childUserTicks = std::max(peaks.childUserTicks, user);
        peaks.childSystemTicks = std::max(peaks.childSystemTicks, system);
    }
    const std::string program = programOf(pid);
    for (pid_t child : childrenOf(pid)) {
        // Between posix_spawn's vfork and its exec a child still shares its
        // parent's memory, and would report the parent's high-water mark.
        const std::string childProgram = programOf(child);
        if (childProgram.empty() || childProgram == program)
            continue;
        long &peak = peaks.children[child];
        peak = std::max(peak, highWaterKib(child));
    }
}

double milliseconds(const timeval &t)
{
    return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
}

struct Options {
    bool watch = false;
    const char *log = nullptr;
    double timeoutSeconds = 0;
    int command = 0; // index of the command in argv
};

Options parse(int argc, char *argv[])
{
    Options options;
    int at = 1;
    for (; at < argc && std::strncmp(argv[at], "--", 2) == 0; ++at) {
        if (std::strcmp(argv[at], "--") == 0) {
            ++at;
            break;
        }
        if (std::strcmp(argv[at], "--watch-children") == 0)
            options.watch = true;
        else if (std::strcmp(argv[at], "--log") == 0 && at + 1 < argc)
            options.log = argv[++at];
        else if (std::strcmp(argv[at], "--timeout") == 0 && at + 1 < argc)
            options.timeoutSeconds = std::atof(argv[++at]);
        else
            return {};
    }
    options.command = at < argc ? at : 0;
    return options;
}

pid_t spawn(const Options &options, char *argv[])
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (options.log) {
        posix_spawn_file_actions_addopen(&actions, 1, options.log, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    pid_t pid = -1;
    char **command = argv + options.command;
    if (const int error = ::posix_spawnp(&pid, command[0], &actions, nullptr, command, environ)) {
        std::fprintf(stderr, "bench_measure: %s: %s\n", command[0], std::strerror(error));
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

} // namespace

int main(int argc, char *argv[])
{
    const Options options = parse(argc, argv);
    if (options.command == 0) {
        std::fprintf(stderr, "usage: bench_measure [--watch-children] [--log FILE] [--timeout SECONDS]"
                             " -- COMMAND [ARGS...]\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = spawn(options, argv);
    if (pid < 0)
        return 127;
    const auto elapsed = [&] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    // Polled rather than waited for when something must be watched meanwhile.
    const bool poll = options.watch || options.timeoutSeconds > 0;
    Peaks peaks;
    int status = 0;
    rusage usage{};
    bool timedOut = false;
    for (;;) {
        if (options.watch)
            sample(pid, peaks);
        const pid_t done = ::wait4(pid, &status, poll ? WNOHANG : 0, &usage);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR) {
            std::perror("bench_measure: wait4");
            return 1;
        }
        if (!timedOut && options.timeoutSeconds > 0 && elapsed() > options.timeoutSeconds * 1e3) {
            timedOut = true;
            ::kill(pid, SIGKILL);
        }
        if (poll)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double wall = elapsed();
    const int exitCode = timedOut ? 124 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::printf("wall_ms=%.0f user_ms=%.0f sys_ms=%.0f exit=%d", wall, milliseconds(usage.ru_utime),
                milliseconds(usage.ru_stime), exitCode);
    if (options.watch) {
        long childPeak = 0;
        for (const auto &[child, peak] : peaks.children)
            childPeak = std::max(childPeak, peak);
        const double tick = 1e3 / double(::sysconf(_SC_CLK_TCK));
        std::printf(" self_peak_kib=%ld child_peak_kib=%ld children=%zu child_user_ms=%.0f child_sys_ms=%.0f",
                    peaks.self, childPeak, peaks.children.size(), double(peaks.childUserTicks) * tick,
                    double(peaks.childSystemTicks) * tick);
    }
    std::printf("\n");
    return exitCode;
}
