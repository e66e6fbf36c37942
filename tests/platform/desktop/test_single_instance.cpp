#include "TestEnvironment.h"
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

// Launches are real separate processes: a launch blocks while it waits for
// the running instance's answer, so both ends cannot share one thread.
class TestSingleInstance : public QObject {
    Q_OBJECT

    const TestEnvironment m_env;
    QTemporaryDir m_dir;
    int m_counter = 0;

    QString freshSocket() { return m_dir.filePath(u"s%1.socket"_qs.arg(++m_counter)); }

    static std::unique_ptr<QProcess> launch(const QString &socket, const QStringList &files, int stayMs = 0,
                                            int timeoutMs = 5000, const QString &workingDir = QString())
    {
        auto process = std::make_unique<QProcess>();
        process->setWorkingDirectory(workingDir);
        process->start(QString::fromUtf8(PROBE_PATH),
                       QStringList{socket, QString::number(timeoutMs), QString::number(stayMs)} + files);
        return process;
    }

    // Waits with the event loop running, so an in-process instance can answer;
    // gives the exit code and the output.
    static std::pair<int, QString> finish(QProcess *process)
    {
        QSignalSpy done(process, &QProcess::finished);
        if (process->state() != QProcess::NotRunning && !done.wait(10000))
            return {-1, QString()};
        return {process->exitCode(), QString::fromUtf8(process->readAllStandardOutput()).trimmed()};
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // In order, relative ones read in the launch's own folder; a launch
    // without files brings the window back. The socket is private to the user.
    void laterLaunchesHandOverTheirFiles()
    {
        SingleInstance primary(freshSocket());
        QCOMPARE(primary.start({}), SingleInstance::Role::Primary);
        QCOMPARE(QFileInfo(primary.socketPath()).permissions()
                     & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
        QSignalSpy files(&primary, &SingleInstance::filesOpened);
        QSignalSpy reopen(&primary, &SingleInstance::reopenRequested);
        QTemporaryDir launchDir;
        auto second = launch(primary.socketPath(), {u"/tmp/b.zip"_qs, u"/tmp/a b/\u00fcml.rar"_qs, u"x.zip"_qs,
                                                    u"sub/../y.zip"_qs, u"file:///tmp/z.zip"_qs},
                             0, 5000, launchDir.path());
        QCOMPARE(finish(second.get()), std::make_pair(0, u"forwarded"_qs));
        QCOMPARE(files.size(), 1);
        QCOMPARE(files.at(0).at(0).toStringList(),
                 (QStringList{u"/tmp/b.zip"_qs, u"/tmp/a b/\u00fcml.rar"_qs, launchDir.filePath(u"x.zip"_qs),
                              launchDir.filePath(u"y.zip"_qs), u"/tmp/z.zip"_qs}));
        QCOMPARE(reopen.size(), 0);

        QCOMPARE(finish(launch(primary.socketPath(), {}).get()).first, 0);
        QTRY_COMPARE(reopen.size(), 1);
        QCOMPARE(files.size(), 1);
    }

    void simultaneousLaunchesElectOneInstance()
    {
        const QString socket = freshSocket();
        std::vector<std::unique_ptr<QProcess>> launches;
        for (int i = 0; i < 4; ++i)
            launches.push_back(launch(socket, {u"/r/%1.zip"_qs.arg(i)}, 1500));
        QStringList primaries;
        for (auto &process : launches) {
            const auto [code, output] = finish(process.get());
            QCOMPARE(code, 0);
            if (output != u"forwarded"_qs)
                primaries.append(output);
        }
        QCOMPARE(primaries.size(), 1);
        QCOMPARE(primaries.first().split(u'\n').size(), 4); // "primary" and the three others' files
    }

    void socketLeftByADeadProcessIsTakenOver()
    {
        const QString socket = freshSocket();
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(socket).constData(), sizeof(address.sun_path));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        ::close(fd);
        QVERIFY(QFileInfo::exists(socket));

        SingleInstance primary(socket);
        QCOMPARE(primary.start({}), SingleInstance::Role::Primary);
        QSignalSpy files(&primary, &SingleInstance::filesOpened);
        QCOMPARE(finish(launch(socket, {u"/s/a.zip"_qs}).get()).first, 0);
        QCOMPARE(files.size(), 1);
    }

    void silentInstanceIsAFailureNotASuccess()
    {
        const QString socket = freshSocket();
        QLocalServer mute;
        QVERIFY(mute.listen(socket));
        const auto [code, output] = finish(launch(socket, {u"/a.zip"_qs}, 0, 300).get());
        QCOMPARE(code, 1);
        QVERIFY(output.startsWith(u"failed"_qs));
    }

    // Each dropped with the connection, and the instance still serves the next launch.
    void malformedRequestsAreDropped_data()
    {
        QTest::addColumn<QByteArray>("request");
        QByteArray header(8, '\0');
        qToBigEndian<quint32>(0x51425831, header.data());
        qToBigEndian<quint32>(0xFFFFFFF0u, header.data() + 4);
        QByteArray payload;
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << QStringList{u"rel.zip"_qs}; // a relative path names nothing usable
        QTest::newRow("wrong magic") << QByteArray("GET / HTTP/1.0\r\n\r\n");
        QTest::newRow("huge length") << header;
        qToBigEndian<quint32>(quint32(payload.size()), header.data() + 4);
        QTest::newRow("relative path") << header + payload;
    }

    void malformedRequestsAreDropped()
    {
        QFETCH(QByteArray, request);
        SingleInstance primary(freshSocket());
        QCOMPARE(primary.start({}), SingleInstance::Role::Primary);
        QSignalSpy files(&primary, &SingleInstance::filesOpened);
        QSignalSpy reopen(&primary, &SingleInstance::reopenRequested);
        QLocalSocket client;
        client.connectToServer(primary.socketPath());
        QVERIFY(client.waitForConnected(1000));
        client.write(request);
        QTRY_COMPARE(client.state(), QLocalSocket::UnconnectedState);

        QCOMPARE(finish(launch(primary.socketPath(), {u"/ok.zip"_qs}).get()).first, 0);
        QCOMPARE(files.size(), 1);
        QCOMPARE(files.at(0).at(0).toStringList(), QStringList{u"/ok.zip"_qs});
        QCOMPARE(reopen.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
