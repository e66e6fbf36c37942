#include "platform/unarchiver/EngineProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <csignal>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// The helper finds its end of the channel here.
constexpr int helperChannelFd = 3;

QMutex settingsMutex;
EngineProcess::Limits currentLimits;
QString chosenHelperPath;

QString defaultHelperPath()
{
    const QString beside = QCoreApplication::applicationDirPath() + u"/quillbox-engine"_qs;
    if (QFileInfo(beside).isExecutable())
        return beside;
    // Installed: <prefix>/bin/quillbox and <prefix>/<libexec>/quillbox/quillbox-engine.
    return QCoreApplication::applicationDirPath() + u"/../"_qs + QStringLiteral(QUILLBOX_LIBEXEC_RELATIVE)
           + u"/quillbox/quillbox-engine"_qs;
}

struct SpawnActions {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnActions() { posix_spawn_file_actions_init(&actions), posix_spawnattr_init(&attributes); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions), posix_spawnattr_destroy(&attributes); }
};

// The helper starts with default signal handling and nothing blocked,
// whatever this program set up for itself; dup2 onto the agreed number
// clears close-on-exec there.
void prepare(SpawnActions &spawn, int childFd)
{
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD})
        sigaddset(&defaults, signal);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&spawn.attributes, &defaults);
    posix_spawnattr_setsigmask(&spawn.attributes, &none);
    posix_spawnattr_setflags(&spawn.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawn_file_actions_adddup2(&spawn.actions, childFd, helperChannelFd);
}

} // namespace

EngineProcess::Limits EngineProcess::limits()
{
    QMutexLocker lock(&settingsMutex);
    return currentLimits;
}

void EngineProcess::setLimits(const Limits &limits)
{
    QMutexLocker lock(&settingsMutex);
    currentLimits = limits;
}

QString EngineProcess::helperPath()
{
    QMutexLocker lock(&settingsMutex);
    return chosenHelperPath.isEmpty() ? defaultHelperPath() : chosenHelperPath;
}

void EngineProcess::setHelperPath(const QString &path)
{
    QMutexLocker lock(&settingsMutex);
    chosenHelperPath = path;
}

EngineProcess::~EngineProcess()
{
    kill();
}

bool EngineProcess::start(const QString &writableFolder)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return false;
    m_channel = std::make_unique<EngineChannel>(UniqueFd(fds[0]));
    UniqueFd childEnd(fds[1]);
    if (childEnd.get() == helperChannelFd) // dup2 onto itself would keep close-on-exec
        childEnd.reset(::fcntl(fds[1], F_DUPFD_CLOEXEC, helperChannelFd + 1));
    const QByteArray program = QFile::encodeName(helperPath());
    const QByteArray limit = "--address-space=" + QByteArray::number(limits().addressSpace);
    const QByteArray writable = "--writable=" + QFile::encodeName(writableFolder);
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>(limit.constData()),
                    const_cast<char *>(writable.constData()), nullptr};
    SpawnActions spawn;
    prepare(spawn, childEnd.get());
    if (posix_spawn(&m_pid, program.constData(), &spawn.actions, &spawn.attributes, argv, environ) != 0) {
        m_pid = -1;
        return false;
    }
    noteActivity();
    return true;
}

// A message is activity enough; the helper's I/O counters are read only
// once it falls silent, not for every message.
void EngineProcess::noteActivity()
{
    m_lastIo = -1;
    m_quiet.start();
}

bool EngineProcess::hasBeenQuietTooLong()
{
    const qint64 io = ioCount();
    if (io != m_lastIo) {
        m_lastIo = io;
        m_quiet.start();
        return false;
    }
    return m_quiet.isValid() && m_quiet.elapsed() > limits().quietMilliseconds;
}

// Bytes the helper read and wrote through system calls, archive and
// channel alike; -1 when they cannot be read.
qint64 EngineProcess::ioCount() const
{
    if (m_pid <= 0)
        return -1;
    QFile io(u"/proc/%1/io"_qs.arg(m_pid));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    qint64 total = 0;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:") || line.startsWith("wchar:"))
            total += line.mid(6).trimmed().toLongLong();
    }
    return total;
}

void EngineProcess::finish(int waitMs)
{
    m_channel.reset();
    if (m_pid > 0 && !reap(waitMs))
        kill();
}

void EngineProcess::kill()
{
    m_channel.reset();
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    reap(-1);
}

// waitMs -1 waits for as long as it takes (only after SIGKILL).
bool EngineProcess::reap(int waitMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const pid_t done = ::waitpid(m_pid, nullptr, waitMs < 0 ? 0 : WNOHANG);
        if (done == m_pid || (done < 0 && errno != EINTR)) {
            m_pid = -1;
            return true;
        }
        if (waitMs >= 0 && waited.elapsed() >= waitMs)
            return false;
        if (done == 0)
            ::usleep(2000);
    }
}
