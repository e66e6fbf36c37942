#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "TestEnvironment.h"
#include "platform/engine/EngineChannel.h"
#include "platform/unarchiver/EngineProcess.h"
#include "platform/engine/EngineProtocol.h"
#include "platform/errors/XADException.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <linux/landlock.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

using P = EngineProtocol;
using Status = EngineChannel::Status;

// The first two allocate as fast as they can.
const QStringList spinning = {u"test_read_filter_gzip_recursive.gz"_qs,
                              u"test_read_format_iso_rockridge_ce_loop.iso.Z"_qs,
                              u"test_read_format_xar_doublelink.xar"_qs};

// Hidden included: a run works in a hidden folder of its own there.
QStringList leftIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

int codeOf(const EngineResult &result)
{
    return result.parse != XADNoError ? result.parse : result.unarchive;
}

// The helper this process started, found as the user would: by name among
// its children.
pid_t helperChild()
{
    const QStringList names = QDir(u"/proc"_qs).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        QFile stat(u"/proc/"_qs + name + u"/stat"_qs);
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ..."; comm may hold spaces and parentheses.
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (line.mid(open + 1, close - open - 1) == "quillbox-engine" && rest.value(1).toInt() == ::getpid())
            return pid_t(name.toInt());
    }
    return -1;
}

bool isGone(pid_t pid)
{
    QFile stat(u"/proc/%1/stat"_qs.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
}

// Kills the helper while it waits for the password, then answers.
class KillingDelegate : public RecordingDelegate {
public:
    pid_t killed = -1;
    void simpleUnarchiverNeedsPassword(XADSimpleUnarchiver *unarchiver) override
    {
        killed = helperChild();
        if (killed > 0 && ::kill(killed, SIGKILL) == 0) {
            // The answer then surely meets a dead helper, not a dying one.
            QElapsedTimer waited;
            waited.start();
            while (!isGone(killed) && waited.elapsed() < 5000)
                QThread::msleep(10);
        }
        RecordingDelegate::simpleUnarchiverNeedsPassword(unarchiver);
    }
};

QByteArray lengthOf(qint64 size)
{
    QByteArray length(4, Qt::Uninitialized);
    qToBigEndian(quint32(size), length.data());
    return length;
}

QByteArray frameOf(const QByteArray &body)
{
    return lengthOf(body.size()) + body;
}

QByteArray frameOf(const QCborMap &message)
{
    return frameOf(message.toCborValue().toCbor());
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

// The helper started by hand, its end of the channel on descriptor 3 as the
// program passes it; killed at the end if it is still there.
class HandStartedHelper {
public:
    explicit HandStartedHelper(UniqueFd channelEnd)
    {
        // Moved out of the way first: dup2 onto itself would keep close-on-exec.
        const UniqueFd childEnd(::fcntl(channelEnd.get(), F_DUPFD_CLOEXEC, 10));
        const QByteArray program = QFile::encodeName(EngineProcess::helperPath());
        char *argv[] = {const_cast<char *>(program.constData()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, childEnd.get(), 3);
        if (posix_spawn(&m_pid, program.constData(), &actions, nullptr, argv, environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~HandStartedHelper()
    {
        if (m_pid > 0 && ::kill(m_pid, SIGKILL) == 0)
            ::waitpid(m_pid, nullptr, 0);
    }
    bool started() const { return m_pid > 0; }
    // The wait status once it ended by itself within timeoutMs, else -1.
    int waitForExit(int timeoutMs)
    {
        QElapsedTimer waited;
        waited.start();
        int status = 0;
        while (waited.elapsed() < timeoutMs) {
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return status;
            }
            QThread::msleep(20);
        }
        return -1;
    }

private:
    pid_t m_pid = -1;
};

bool kernelHasLandlock()
{
    return ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) >= 0;
}

} // namespace

// The helper that reads archives ends, whatever an archive does to it and
// however the program or its channel goes away, and leaves nothing behind.
class TestEngineProcess : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;
    QTemporaryDir work;
    int runs = 0;

    QString freshDestination() { return work.filePath(u"run%1"_qs.arg(++runs)); }

private Q_SLOTS:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        QVERIFY(work.isValid());
        QVERIFY(QFileInfo(TestEnvironment::corpusPath(spinning.constFirst())).isFile());
    }

    // libarchive spins inside a single call on these; a cancel still ends the
    // run within a second of grace. (That the watchdog or the memory limit ends
    // them without one, the corpus test sees.)
    void spinningArchivesEndOnCancel_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : spinning)
            QTest::newRow(qPrintable(name)) << name;
    }

    void spinningArchivesEndOnCancel()
    {
        QFETCH(QString, name);
        const QString destination = freshDestination();
        RecordingDelegate delegate;
        StopTimer cancel(&delegate, 300);
        const EngineResult result = runEngine(TestEnvironment::corpusPath(name), destination, &delegate);
        const qint64 took = cancel.sinceFired();
        cancel.disarm();
        QVERIFY2(cancel.fired(), "the run ended before the cancel");
        QVERIFY2(took < 3000, qPrintable(QString::number(took))); // a loaded machine is slow to reap
        QCOMPARE(codeOf(result), int(XADBreakError));
        QVERIFY2(leftIn(destination).isEmpty(), qPrintable(leftIn(destination).join(u", "_qs)));
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
        QVERIFY2(delegate.killed > 0, "no helper among this process's children");
        QCOMPARE(result.parse, int(XADNoError));
        QCOMPARE(result.unarchive, int(XADEngineFailedError));
        QVERIFY(result.created.isNull());
        QVERIFY2(leftIn(destination).isEmpty(), qPrintable(leftIn(destination).join(u", "_qs)));

        // The next archive gets a helper of its own, as if nothing happened.
        const QString plain = work.filePath(u"plain.zip"_qs);
        QVERIFY(ArchiveMaker::write(plain, u"zip"_qs, QString(), {ArchiveEntrySpec::file("note.txt", "fine\n")}));
        RecordingDelegate good;
        const EngineResult next = runEngine(plain, freshDestination(), &good);
        QCOMPARE(codeOf(next), int(XADNoError));
        QCOMPARE(readAll(next.created), QByteArray("fine\n"));
    }

    void helperConfinesItsWrites_data()
    {
        QTest::addColumn<bool>("inside");
        QTest::newRow("another folder") << false;
        QTest::newRow("the writable folder") << true;
    }

    void helperConfinesItsWrites()
    {
        QFETCH(bool, inside);
        if (!inside && !kernelHasLandlock())
            QSKIP("this kernel has no Landlock");
        const QTemporaryDir base;
        QVERIFY(QDir(base.path()).mkpath(u"A"_qs) && QDir(base.path()).mkpath(u"B"_qs));
        const QString target = base.filePath(inside ? u"A/probe"_qs : u"B/probe"_qs);
        QProcess helper;
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(EngineProcess::helperPath(),
                     {u"--writable="_qs + base.filePath(u"A"_qs), u"--try-writing="_qs + target});
        QVERIFY(helper.waitForFinished(10000));
        QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(helper.exitCode(), inside ? 1 : 0); // 0: refused
        QCOMPARE(QFileInfo::exists(target), inside);
    }

    void channelFraming_data()
    {
        QTest::addColumn<QByteArrayList>("chunks"); // each followed by one receive
        QTest::addColumn<bool>("closeAfter");       // before the last chunk's receive
        QTest::addColumn<QList<int>>("statuses");   // the receives' results, then more
        const QByteArray frame = frameOf(hello());
        const auto s = [](Status status) { return int(status); };
        QTest::newRow("split across a timeout") << QByteArrayList{frame.left(3), frame.mid(3)} << false
                                                << QList<int>{s(Status::Timeout), s(Status::Message)};
        QTest::newRow("peer closes mid-message") << QByteArrayList{frame.left(frame.size() / 2)} << true
                                                 << QList<int>{s(Status::Broken)};
        QTest::newRow("length above the maximum")
            << QByteArrayList{lengthOf(EngineChannel::maximumMessageSize + 1) + "abc"} << false
            << QList<int>{s(Status::Broken)};
        QTest::newRow("clean close between messages") << QByteArrayList{frame} << true
                                                      << QList<int>{s(Status::Message), s(Status::Closed)};
        QTest::newRow("an array, not a map")
            << QByteArrayList{frameOf(QCborValue(QCborArray{1, 2}).toCbor())} << false << QList<int>{s(Status::Broken)};
        QTest::newRow("not CBOR at all") << QByteArrayList{frameOf(QByteArray("\xff\xfe\xfd", 3))} << false
                                         << QList<int>{s(Status::Broken)};
    }

    void channelFraming()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(bool, closeAfter);
        QFETCH(QList<int>, statuses);
        SocketPair pair;
        EngineChannel channel(std::move(pair.ours));
        for (qsizetype i = 0; i < statuses.size(); ++i) {
            if (i < chunks.size())
                QVERIFY(writeAll(pair.theirs.get(), chunks.at(i)));
            if (i == chunks.size() - 1 && closeAfter)
                pair.theirs.reset();
            QCborMap message;
            QCOMPARE(int(channel.receive(&message, 300)), statuses.at(i));
            if (statuses.at(i) == int(Status::Message))
                QCOMPARE(message, hello());
        }
    }

    void helperEndsWhenPeerBreaksOff_data()
    {
        QTest::addColumn<bool>("greetFirst");
        QTest::newRow("in the greeting") << false;
        QTest::newRow("in a request") << true;
    }

    void helperEndsWhenPeerBreaksOff()
    {
        QFETCH(bool, greetFirst);
        SocketPair pair;
        HandStartedHelper helper(std::move(pair.theirs));
        QVERIFY(helper.started());
        std::optional<EngineChannel> channel(std::in_place, std::move(pair.ours));
        if (greetFirst) {
            QVERIFY(channel->send(hello()));
            QCborMap reply;
            QCOMPARE(channel->receive(&reply, 10000), Status::Message);
            QVERIFY(P::is(reply, P::hello));
        }
        QCborMap request = P::message(P::parse);
        request[QLatin1StringView("path")] = u"/nonexistent.zip"_qs;
        const QByteArray frame = frameOf(greetFirst ? request : hello());
        QVERIFY(writeAll(channel->fd(), frame.left(frame.size() / 2)));
        channel.reset();
        const int status = helper.waitForExit(5000);
        QVERIFY2(status != -1, "the helper is still waiting");
        QVERIFY(WIFEXITED(status));
        QVERIFY2(WEXITSTATUS(status) != 0, "a broken frame taken for a clean end");
    }
};

QTEST_GUILESS_MAIN(TestEngineProcess)
#include "test_engine_process.moc"
