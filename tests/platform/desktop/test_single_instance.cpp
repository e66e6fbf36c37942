#include "platform/desktop/SingleInstance.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// Every test talks to real separate processes: a launch blocks while it waits
// for the running instance's answer, so both ends cannot share one thread.
class TestSingleInstance : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_counter = 0;

    QString freshSocket() { return m_dir.filePath(u"s%1.socket"_qs.arg(++m_counter)); }

    static QProcess *launch(const QString &socket, const QStringList &files, int stayMs = 0,
                            int timeoutMs = 5000, const QString &workingDir = QString())
    {
        auto *process = new QProcess;
        process->setProgram(QString::fromUtf8(PROBE_PATH));
        process->setArguments(QStringList{socket, QString::number(timeoutMs),
                                          QString::number(stayMs)} + files);
        if (!workingDir.isEmpty())
            process->setWorkingDirectory(workingDir);
        process->start();
        return process;
    }

    // Waits with the event loop running, so an in-process instance can answer.
    static bool finish(QProcess *process, int ms = 10000)
    {
        QSignalSpy done(process, &QProcess::finished);
        return process->state() == QProcess::NotRunning || done.wait(ms);
    }

    static QString output(QProcess *process)
    {
        return QString::fromUtf8(process->readAllStandardOutput()).trimmed();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // In order, relative ones read in the launch's own folder; a launch
    // without files brings the window back.
    void laterLaunchesHandOverTheirFiles()
    {
        SingleInstance primary(freshSocket());
        QCOMPARE(primary.start({}), SingleInstance::Role::Primary);
        QSignalSpy files(&primary, &SingleInstance::filesOpened);
        QSignalSpy reopen(&primary, &SingleInstance::reopenRequested);
        QTemporaryDir launchDir;
        std::unique_ptr<QProcess> second(launch(primary.socketPath(),
                                                {u"/tmp/b.zip"_qs, u"/tmp/a b/\u00fcml\u00e4ut.rar"_qs, u"x.zip"_qs,
                                                 u"sub/../y.zip"_qs, u"file:///tmp/z.zip"_qs},
                                                0, 5000, launchDir.path()));
        QVERIFY(finish(second.get()));
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(output(second.get()), u"forwarded"_qs);
        QCOMPARE(files.size(), 1);
        QCOMPARE(files.at(0).at(0).toStringList(),
                 (QStringList{u"/tmp/b.zip"_qs, u"/tmp/a b/\u00fcml\u00e4ut.rar"_qs, launchDir.filePath(u"x.zip"_qs),
                              launchDir.filePath(u"y.zip"_qs), u"/tmp/z.zip"_qs}));
        QCOMPARE(reopen.size(), 0);

        std::unique_ptr<QProcess> third(launch(primary.socketPath(), {}));
        QVERIFY(finish(third.get()));
        QCOMPARE(third->exitCode(), 0);
        QTRY_COMPARE(reopen.size(), 1);
        QCOMPARE(files.size(), 1);
    }

    void runningInstanceInAnotherProcess()
    {
        const QString socket = freshSocket();
        std::unique_ptr<QProcess> first(launch(socket, {}, 1500));
        QVERIFY(first->waitForReadyRead(5000));
        QCOMPARE(QString::fromUtf8(first->readLine()).trimmed(), u"primary"_qs);

        std::unique_ptr<QProcess> second(launch(socket, {u"/x/1.zip"_qs, u"/x/2.zip"_qs}));
        QVERIFY(finish(second.get()));
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(output(second.get()), u"forwarded"_qs);
        QVERIFY(finish(first.get()));
        QCOMPARE(output(first.get()), u"files /x/1.zip|/x/2.zip"_qs);
    }

    void simultaneousLaunchesElectOneInstance()
    {
        const QString socket = freshSocket();
        std::vector<std::unique_ptr<QProcess>> launches;
        for (int i = 0; i < 4; ++i)
            launches.emplace_back(launch(socket, {u"/r/%1.zip"_qs.arg(i)}, 1500));
        int primaries = 0;
        QStringList received;
        for (auto &process : launches) {
            QVERIFY(finish(process.get()));
            QCOMPARE(process->exitCode(), 0);
            const QStringList lines = output(process.get()).split(u'\n');
            if (lines.first() == u"primary"_qs) {
                ++primaries;
                received = lines.mid(1);
            } else {
                QCOMPARE(lines, QStringList{u"forwarded"_qs});
            }
        }
        QCOMPARE(primaries, 1);
        QCOMPARE(received.size(), 3);
    }

    void socketLeftByADeadProcessIsTakenOver()
    {
        const QString socket = freshSocket();
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(socket);
        qstrncpy(address.sun_path, native.constData(), sizeof(address.sun_path));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        ::close(fd);
        QVERIFY(QFileInfo::exists(socket));

        SingleInstance primary(socket);
        QCOMPARE(primary.start({}), SingleInstance::Role::Primary);
        QSignalSpy files(&primary, &SingleInstance::filesOpened);
        std::unique_ptr<QProcess> second(launch(socket, {u"/s/a.zip"_qs}));
        QVERIFY(finish(second.get()));
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(files.size(), 1);
    }

    void silentInstanceIsAFailureNotASuccess()
    {
        const QString socket = freshSocket();
        QLocalServer mute;
        QVERIFY(mute.listen(socket));
        std::unique_ptr<QProcess> second(launch(socket, {u"/a.zip"_qs}, 0, 300));
        QVERIFY(finish(second.get()));
        QCOMPARE(second->exitCode(), 1);
        QVERIFY(output(second.get()).startsWith(u"failed"_qs));
    }

    void malformedRequestsAreDropped()
    {
        SingleInstance primary(freshSocket());
        QCOMPARE(primary.start({}), SingleInstance::Role::Primary);
        QSignalSpy files(&primary, &SingleInstance::filesOpened);
        QSignalSpy reopen(&primary, &SingleInstance::reopenRequested);

        QLocalSocket wrongMagic;
        wrongMagic.connectToServer(primary.socketPath());
        QVERIFY(wrongMagic.waitForConnected(1000));
        wrongMagic.write(QByteArray("GET / HTTP/1.0\r\n\r\n"));
        QTRY_COMPARE(wrongMagic.state(), QLocalSocket::UnconnectedState);

        QLocalSocket hugeLength;
        hugeLength.connectToServer(primary.socketPath());
        QVERIFY(hugeLength.waitForConnected(1000));
        QByteArray header(8, '\0');
        qToBigEndian<quint32>(0x51425831, header.data());
        qToBigEndian<quint32>(0xFFFFFFF0u, header.data() + 4);
        hugeLength.write(header);
        QTRY_COMPARE(hugeLength.state(), QLocalSocket::UnconnectedState);

        // A well-formed frame whose only path is relative names nothing usable.
        QLocalSocket relative;
        relative.connectToServer(primary.socketPath());
        QVERIFY(relative.waitForConnected(1000));
        QByteArray payload;
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << QStringList{u"rel.zip"_qs};
        qToBigEndian<quint32>(quint32(payload.size()), header.data() + 4);
        relative.write(header + payload);
        QTRY_COMPARE(relative.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(relative.readAll(), QByteArray("\x06"));

        std::unique_ptr<QProcess> good(launch(primary.socketPath(), {u"/ok.zip"_qs}));
        QVERIFY(finish(good.get()));
        QCOMPARE(good->exitCode(), 0);
        QCOMPARE(files.size(), 1);
        QCOMPARE(files.at(0).at(0).toStringList(), QStringList{u"/ok.zip"_qs});
        QCOMPARE(reopen.size(), 0);
    }

    // Private to the user, and by default in the user's runtime folder.
    void socketBelongsToTheUser()
    {
        SingleInstance primary(freshSocket());
        QCOMPARE(primary.start({}), SingleInstance::Role::Primary);
        QCOMPARE(QFileInfo(primary.socketPath()).permissions()
                     & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
        QTemporaryDir runtime;
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        const QString path = SingleInstance::defaultSocketPath();
        qputenv("XDG_RUNTIME_DIR", saved);
        QCOMPARE(QFileInfo(path).absolutePath(), runtime.path());
        QVERIFY(QFileInfo(path).fileName().contains(QString::number(::getuid())));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
