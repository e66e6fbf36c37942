#include "EngineHarness.h"
#include "platform/engine/EngineChannel.h"
#include "platform/engine/EngineProtocol.h"
#include "platform/errors/XADException.h"
#include "platform/unarchiver/EngineProcess.h"

#include <QProcess>
#include <QtEndian>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>

namespace {

using P = EngineProtocol;
using Status = EngineChannel::Status;

// The first two allocate as fast as they can.
const QStringList spinning = {u"test_read_filter_gzip_recursive.gz"_qs,
                              u"test_read_format_iso_rockridge_ce_loop.iso.Z"_qs,
                              u"test_read_format_xar_doublelink.xar"_qs};

// Kills the helper (this thread's only child) at the password question, and
// answers once it is dead, not dying.
class KillingDelegate : public RecordingDelegate {
public:
    pid_t killed = -1;
    void simpleUnarchiverNeedsPassword(XADSimpleUnarchiver *unarchiver) override
    {
        QFile children(u"/proc/thread-self/children"_qs);
        killed = children.open(QIODevice::ReadOnly) ? children.readAll().trimmed().toInt() : -1;
        siginfo_t info;
        if (killed > 0 && ::kill(killed, SIGKILL) == 0)
            ::waitid(P_PID, id_t(killed), &info, WEXITED | WNOWAIT);
        RecordingDelegate::simpleUnarchiverNeedsPassword(unarchiver);
    }
};

QByteArray frameOf(const QByteArray &body, qint64 length = -1)
{
    QByteArray prefix(4, Qt::Uninitialized);
    qToBigEndian(quint32(length < 0 ? body.size() : length), prefix.data());
    return prefix + body;
}

QCborMap hello()
{
    QCborMap message = P::message(P::hello);
    message[QLatin1StringView("version")] = P::version;
    return message;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    return ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

struct SocketPair {
    UniqueFd ours;
    UniqueFd theirs;
    SocketPair()
    {
        int fds[2] = {-1, -1};
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
        ours.reset(fds[0]);
        theirs.reset(fds[1]);
    }
};

} // namespace

// The helper that reads archives ends, whatever an archive does to it and
// however the program or its channel goes away, and leaves nothing behind.
class TestEngineProcess : public QObject {
    Q_OBJECT

    QTemporaryDir work;
    int runs = 0;

    QString freshDestination() { return work.filePath(u"run%1"_qs.arg(++runs)); }

private Q_SLOTS:
    // libarchive spins inside a single call on these; a cancel still ends the
    // run after a second of grace (the watchdog without one: the corpus test).
    void spinningArchivesEndOnCancel()
    {
        for (const QString &name : spinning) {
            const QString destination = freshDestination();
            RecordingDelegate delegate;
            QElapsedTimer sinceStart;
            sinceStart.start();
            StopTimer cancel(&delegate, 300);
            const EngineResult result = runEngine(TestEnvironment::corpusPath(name), destination, &delegate);
            const qint64 took = sinceStart.elapsed() - 300;
            cancel.disarm();
            QVERIFY2(cancel.fired, qPrintable(name + u" ended before the cancel"_qs));
            QVERIFY2(took < 3000, qPrintable(QString::number(took))); // a loaded machine is slow to reap
            QCOMPARE(result.code(), int(XADBreakError));
            QCOMPARE(entriesIn(destination), QStringList());
        }
    }

    void killedHelperFailsTheRun()
    {
        const QString locked = work.filePath(u"locked.zip"_qs);
        QVERIFY(ArchiveMaker::write(locked, u"zip"_qs, QString(), {ArchiveEntrySpec::file("secret.txt", "attack at dawn\n")},
                                    u"zip:encryption=zipcrypt"_qs, "hunter2"));
        const QString destination = freshDestination();
        KillingDelegate delegate;
        delegate.passwordAnswers = {u"hunter2"_qs};
        const EngineResult result = runEngine(locked, destination, &delegate);
        QVERIFY2(delegate.killed > 0, "no helper among this thread's children");
        QCOMPARE(result.parse, int(XADNoError));
        QCOMPARE(result.unarchive, int(XADEngineFailedError));
        QVERIFY(result.created.isNull());
        QCOMPARE(entriesIn(destination), QStringList());
        // The next archive gets a helper of its own, as if nothing happened.
        RecordingDelegate good;
        const EngineResult next = makeAndRun(work.filePath(u"plain.zip"_qs), u"zip"_qs, QString(),
                                             {ArchiveEntrySpec::file("note.txt", "fine\n")}, freshDestination(), &good);
        QCOMPARE(next.code(), int(XADNoError));
        QCOMPARE(readAll(next.created), QByteArray("fine\n"));
    }

    // Only in the folder the program names, where the kernel can confine it.
    void helperConfinesItsWrites()
    {
        const QTemporaryDir base;
        QVERIFY(QDir(base.path()).mkpath(u"A"_qs) && QDir(base.path()).mkpath(u"B"_qs));
        const bool landlock = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) >= 0;
        for (const QString &target : {base.filePath(u"A/probe"_qs), base.filePath(u"B/probe"_qs)}) {
            const bool inside = target.contains(u"/A/"_qs);
            QProcess helper;
            helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            helper.start(EngineProcess::helperPath(), {u"--writable="_qs + base.filePath(u"A"_qs), u"--try-writing="_qs + target});
            QVERIFY(helper.waitForFinished(10000));
            QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
            QCOMPARE(helper.exitCode() == 0, landlock && !inside); // 0: refused
            QCOMPARE(QFileInfo::exists(target), inside || !landlock);
        }
        if (!landlock)
            QSKIP("this kernel has no Landlock");
    }

    // A message split across a wait, a length above the maximum, a peer gone
    // in the middle of a message.
    void channelFraming()
    {
        const QByteArray frame = frameOf(hello().toCborValue().toCbor());
        QCborMap message;
        SocketPair pair;
        EngineChannel channel(std::move(pair.ours));
        QVERIFY(writeAll(pair.theirs.get(), frame.left(3)));
        QCOMPARE(channel.receive(&message, 300), Status::Timeout);
        QVERIFY(writeAll(pair.theirs.get(), frame.mid(3)));
        QCOMPARE(channel.receive(&message, 300), Status::Message);
        QCOMPARE(message, hello());
        QVERIFY(writeAll(pair.theirs.get(), frameOf("abc", EngineChannel::maximumMessageSize + 1)));
        QCOMPARE(channel.receive(&message, 300), Status::Broken);
        SocketPair other;
        EngineChannel cut(std::move(other.ours));
        QVERIFY(writeAll(other.theirs.get(), frame.left(frame.size() / 2)));
        other.theirs.reset();
        QCOMPARE(cut.receive(&message, 300), Status::Broken);
    }

    // The program goes away: the helper ends too, and not as if the channel
    // had been closed cleanly between messages.
    void helperEndsWhenPeerBreaksOff()
    {
        SocketPair pair;
        QProcess helper;
        const int theirs = pair.theirs.get();
        // Its end of the channel on descriptor 3, as the program passes it.
        helper.setChildProcessModifier([theirs] {
            ::dup2(theirs, 3);
            ::fcntl(3, F_SETFD, 0);
        });
        helper.start(EngineProcess::helperPath(), {});
        QVERIFY(helper.waitForStarted());
        pair.theirs.reset();
        const QByteArray frame = frameOf(hello().toCborValue().toCbor());
        QVERIFY(writeAll(pair.ours.get(), frame.left(frame.size() / 2)));
        pair.ours.reset();
        QVERIFY2(helper.waitForFinished(5000), "the helper is still waiting");
        QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
        QVERIFY2(helper.exitCode() != 0, "a broken frame taken for a clean end");
    }
};

QTEST_GUILESS_MAIN(TestEngineProcess)
#include "test_engine_process.moc"
