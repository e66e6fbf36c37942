// quillbox-engine: reads one archive for Quillbox, confined, and talks to it
// over the channel it inherits. Started by the program, never by hand.

#include "platform/engine/EngineChannel.h"
#include "platform/engine/EngineSandbox.h"
#include "platform/engine/EngineServer.h"

#include <QByteArray>
#include <QCborMap>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>

namespace {

constexpr int channelFd = 3;

struct Options {
    QString writable;
    qint64 addressSpace = qint64(1) << 30;
    QString tryWriting; // test-only: is a write there refused?
};

Options parseOptions(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument.startsWith("--writable="))
            options.writable = QFile::decodeName(argument.mid(11));
        else if (argument.startsWith("--address-space="))
            options.addressSpace = argument.mid(16).toLongLong();
        else if (argument.startsWith("--try-writing="))
            options.tryWriting = QFile::decodeName(argument.mid(14));
    }
    return options;
}

// Proves the confinement from inside: 0 when the write was refused.
int tryWriting(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "refused: %s\n", std::strerror(errno));
        return 0;
    }
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    // A helper outliving its program would go on alone; the channel's end
    // tells it otherwise only when it listens.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // libarchive turns each zip entry's time into local time; with TZ unset,
    // glibc stats /etc/localtime every time, under a lock all the workers
    // share. Naming the same default zone once reads it once.
    if (!qEnvironmentVariableIsSet("TZ"))
        ::setenv("TZ", ":/etc/localtime", 0);
    const Options options = parseOptions(argc, argv);
    EngineSandbox::Report report;
    if (!EngineSandbox::apply(options.writable, options.addressSpace, &report)) {
        std::fprintf(stderr, "quillbox-engine: cannot confine itself: %s\n", qPrintable(report.note));
        return 3;
    }
    if (!options.tryWriting.isEmpty())
        return tryWriting(options.tryWriting);
    EngineChannel channel{UniqueFd(channelFd)};
    QCborMap hello;
    hello[QLatin1StringView("confined")] = report.landlock && report.seccomp;
    hello[QLatin1StringView("note")] = report.note;
    return EngineServer(channel, hello).run();
}
