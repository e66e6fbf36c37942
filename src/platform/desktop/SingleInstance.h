#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// Keeps Quillbox to one running process per user session. The first launch
// listens on a local socket; a later launch hands its files to that process
// and is done. Files travel as absolute paths, in the order given; a launch
// without files asks the running process to reopen its window.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        Primary,   // this process is the running instance and now listens
        Forwarded, // the running instance took the files; this process may end
        Failed,    // neither: no answer from the running instance, or no socket
    };

    explicit SingleInstance(const QString &socketPath = defaultSocketPath(),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    // Becomes the running instance, or forwards the files to it. Blocks for
    // at most the timeout while a running instance answers.
    Role start(const QStringList &files);

    QString socketPath() const { return m_socketPath; }
    QString errorString() const { return m_error; }
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    // In the user's runtime folder, named with the user id, so that two users
    // of one machine never meet.
    static QString defaultSocketPath();
    // Paths from a command line made absolute against the launch's working
    // folder; file: URLs become paths. Symbolic links are kept as given.
    static QStringList absolutePaths(const QStringList &arguments);

Q_SIGNALS:
    // Files of a later launch, in its order.
    void filesOpened(const QStringList &paths);
    // A later launch without files.
    void reopenRequested();

private:
    bool forward(QLocalSocket &socket, const QStringList &files);
    bool listen();
    void acceptConnections();
    void readMessage(QLocalSocket *socket);

    QString m_socketPath;
    QString m_error;
    int m_timeoutMs = 10000;
    QLocalServer *m_server = nullptr;
};
