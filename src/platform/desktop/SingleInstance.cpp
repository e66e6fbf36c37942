#include "platform/desktop/SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QUrl>
#include <QtEndian>
#include <unistd.h>

namespace {

// A frame is the magic number, the payload's length and the payload, a
// QDataStream of the path list. The running instance answers one byte.
constexpr quint32 kMagic = 0x51425831; // "QBX1"
constexpr qsizetype kHeaderSize = 8;
// Far more than any command line; anything larger is not ours.
constexpr quint32 kMaxPayload = 16 * 1024 * 1024;
constexpr char kAck = '\x06';

QByteArray frame(const QStringList &files)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << files;
    QByteArray header(kHeaderSize, '\0');
    qToBigEndian<quint32>(kMagic, header.data());
    qToBigEndian<quint32>(quint32(payload.size()), header.data() + 4);
    return header + payload;
}

} // namespace

SingleInstance::SingleInstance(const QString &socketPath, QObject *parent)
    : QObject(parent), m_socketPath(socketPath)
{
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

QString SingleInstance::defaultSocketPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + u"/quillbox-"_qs + QString::number(::getuid()) + u".socket"_qs;
}

QStringList SingleInstance::absolutePaths(const QStringList &arguments)
{
    QStringList paths;
    for (const QString &argument : arguments) {
        if (argument.isEmpty())
            continue;
        const QUrl url(argument);
        if (url.isLocalFile() && argument.startsWith(u"file:"_qs)) {
            paths.append(url.toLocalFile());
            continue;
        }
        paths.append(QDir::cleanPath(QDir::current().absoluteFilePath(argument)));
    }
    return paths;
}

SingleInstance::Role SingleInstance::start(const QStringList &files)
{
    QDir().mkpath(QFileInfo(m_socketPath).absolutePath());
    // Two launches at the same moment must not both decide that nobody runs.
    QLockFile lock(m_socketPath + u".lock"_qs);
    if (!lock.tryLock(m_timeoutMs)) {
        m_error = u"another launch holds %1"_qs.arg(m_socketPath + u".lock"_qs);
        return Role::Failed;
    }
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (socket.waitForConnected(m_timeoutMs))
        return forward(socket, files) ? Role::Forwarded : Role::Failed;
    return listen() ? Role::Primary : Role::Failed;
}

bool SingleInstance::forward(QLocalSocket &socket, const QStringList &files)
{
    socket.write(frame(files));
    if (!socket.waitForBytesWritten(m_timeoutMs)) {
        m_error = socket.errorString();
        return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(m_timeoutMs)) {
            m_error = u"the running Quillbox did not answer"_qs;
            return false;
        }
    }
    char answer = 0;
    socket.getChar(&answer);
    if (answer != kAck) {
        m_error = u"the running Quillbox refused the request"_qs;
        return false;
    }
    return true;
}

bool SingleInstance::listen()
{
    // Nobody answered on the socket, so a file left there by a process that
    // died is in the way; the lock guarantees no live instance owns it.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        m_error = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return true;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessage(socket); });
        readMessage(socket);
    }
}

void SingleInstance::readMessage(QLocalSocket *socket)
{
    if (socket->bytesAvailable() < kHeaderSize)
        return;
    const QByteArray header = socket->peek(kHeaderSize);
    const quint32 length = qFromBigEndian<quint32>(header.constData() + 4);
    if (qFromBigEndian<quint32>(header.constData()) != kMagic || length > kMaxPayload) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < kHeaderSize + qsizetype(length))
        return;
    socket->skip(kHeaderSize);
    QDataStream in(socket->read(length));
    in.setVersion(QDataStream::Qt_6_0);
    QStringList received;
    in >> received;
    if (in.status() != QDataStream::Ok) {
        socket->abort();
        return;
    }
    socket->putChar(kAck);
    socket->flush();
    socket->disconnectFromServer();

    // A relative path would be read against this process's folder, which is
    // not the folder the other launch was started in.
    QStringList paths;
    for (const QString &path : std::as_const(received)) {
        if (QDir::isAbsolutePath(path))
            paths.append(path);
    }
    if (received.isEmpty())
        Q_EMIT reopenRequested();
    else if (!paths.isEmpty())
        Q_EMIT filesOpened(paths);
}
