#pragma once

#include "platform/engine/ArchiveEngine.h"

#include <QCborMap>
#include <QElapsedTimer>
#include <memory>

class EngineChannel;

// The helper's end: runs the engine on the program's requests and carries
// every callback of the engine back to the program as a message. A stop, or
// a program that is gone, ends the run at the engine's next poll.
class EngineServer : public ArchiveEngineDelegate {
public:
    // hello: what the helper tells the program about itself on greeting.
    EngineServer(EngineChannel &channel, QCborMap hello);

    // Serves until the program closes the channel; the process exit code.
    int run();

    bool extractionShouldStop(ArchiveEngine *engine) override;
    void simpleUnarchiverNeedsPassword(ArchiveEngine *engine) override;
    QString encodingNameForXADString(ArchiveEngine *engine, const XADString &name) override;
    void extractionProgress(ArchiveEngine *engine, const XADEntryInfo &entry, qint64 fileProgress,
                            qint64 fileSize, qint64 totalProgress, qint64 totalSize) override;
    void estimatedExtractionProgress(ArchiveEngine *engine, const XADEntryInfo &entry,
                                     double fileProgress, double totalProgress) override;
    void didExtractEntry(ArchiveEngine *engine, const XADEntryInfo &entry, const QString &destinationPath,
                         int error) override;

private:
    bool greet();
    bool serve(const QCborMap &request);
    void parse(const QCborMap &request);
    void unarchive(const QCborMap &request);
    void configure(const QCborMap &request);
    QCborMap waitForAnswer();
    void send(const QCborMap &message);
    void noteUnasked(const QCborMap &message);

    EngineChannel &m_channel;
    QCborMap m_hello;
    std::unique_ptr<ArchiveEngine> m_engine;
    bool m_stopped = false;
    bool m_gone = false;
    QElapsedTimer m_sinceLook;
};
