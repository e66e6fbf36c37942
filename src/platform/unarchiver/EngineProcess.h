#pragma once

#include "platform/engine/EngineChannel.h"

#include <QElapsedTimer>
#include <QString>
#include <memory>
#include <sys/types.h>

// The engine helper as a child process: started confined to one writable
// folder, watched for signs of life, and ended for sure.
class EngineProcess {
public:
    struct Limits {
        qint64 addressSpace = qint64(1) << 30;
        // How long the helper may neither read nor write before it counts as
        // stuck (a loop inside libarchive never comes back to be stopped).
        int quietMilliseconds = 30000;
    };
    static Limits limits();
    static void setLimits(const Limits &limits);
    // Where the helper program is; by default beside this program or in the
    // installed libexec folder.
    static QString helperPath();
    static void setHelperPath(const QString &path);

    EngineProcess() = default;
    ~EngineProcess();
    EngineProcess(const EngineProcess &) = delete;
    EngineProcess &operator=(const EngineProcess &) = delete;

    // writableFolder: the only folder the helper may write in (none if empty).
    bool start(const QString &writableFolder);
    EngineChannel &channel() { return *m_channel; }
    pid_t pid() const { return m_pid; }

    // Input and output of the helper, messages included, count as life.
    void noteActivity();
    bool hasBeenQuietTooLong();
    // Closes the channel and gives the helper waitMs to end by itself.
    void finish(int waitMs);
    void kill();

private:
    qint64 ioCount() const;
    bool reap(int waitMs);

    std::unique_ptr<EngineChannel> m_channel;
    pid_t m_pid = -1;
    qint64 m_lastIo = -1;
    QElapsedTimer m_quiet;
};
