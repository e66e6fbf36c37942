#include "platform/engine/EngineServer.h"

#include "platform/engine/EngineChannel.h"
#include "platform/engine/EngineProtocol.h"
#include "platform/errors/XADException.h"

#include <QCborArray>

namespace {

using P = EngineProtocol;

constexpr qint64 lookInterval = 2'000'000; // ns

QString text(const QCborMap &message, const char *key)
{
    return message.value(QLatin1StringView(key)).toString();
}

} // namespace

EngineServer::EngineServer(EngineChannel &channel, QCborMap hello)
    : m_channel(channel), m_hello(std::move(hello))
{
}

int EngineServer::run()
{
    if (!greet())
        return 2;
    for (;;) {
        QCborMap request;
        const EngineChannel::Status status = m_channel.receive(&request, -1);
        if (status == EngineChannel::Status::Closed)
            return 0;
        if (status != EngineChannel::Status::Message || !serve(request))
            return 2;
    }
}

// Both ends must speak the same version; anything else is a mix-up of
// installed files, and no guess is made.
bool EngineServer::greet()
{
    QCborMap hello;
    if (m_channel.receive(&hello, -1) != EngineChannel::Status::Message || !P::is(hello, P::hello)
        || hello.value(QLatin1StringView("version")).toInteger() != P::version)
        return false;
    QCborMap reply = m_hello;
    reply[P::kind] = P::hello;
    reply[QLatin1StringView("version")] = P::version;
    return m_channel.send(reply);
}

bool EngineServer::serve(const QCborMap &request)
{
    if (P::is(request, P::parse))
        parse(request);
    else if (P::is(request, P::unarchive))
        unarchive(request);
    else if (P::is(request, P::stop))
        m_stopped = true;
    else
        return false;
    return !m_gone;
}

void EngineServer::configure(const QCborMap &request)
{
    m_engine->setDestination(text(request, "destination"));
    if (request.contains(QLatin1StringView("password")))
        m_engine->setPassword(text(request, "password"));
}

void EngineServer::parse(const QCborMap &request)
{
    QCborMap reply = P::message(P::parsed);
    m_engine = ArchiveEngine::forPath(text(request, "path"));
    if (!m_engine) {
        reply[QLatin1StringView("code")] = XADOpenFileError;
        send(reply);
        return;
    }
    m_engine->setDelegate(this);
    m_engine->setPropagatesRelevantMetadata(request.value(QLatin1StringView("metadata")).toBool());
    m_engine->setAlwaysRenamesFiles(true);
    configure(request);
    reply[QLatin1StringView("code")] = m_engine->parse();
    reply[QLatin1StringView("size")] = m_engine->declaredSize();
    reply[QLatin1StringView("volumes")] = QCborArray::fromStringList(m_engine->volumePaths());
    reply[QLatin1StringView("subject")] = m_engine->errorSubject();
    send(reply);
}

void EngineServer::unarchive(const QCborMap &request)
{
    QCborMap reply = P::message(P::unarchived);
    if (!m_engine) {
        reply[QLatin1StringView("code")] = XADOpenFileError;
        send(reply);
        return;
    }
    configure(request);
    m_engine->setRemovesEnclosingDirectoryForSoloItems(request.value(QLatin1StringView("soloOut")).toBool());
    reply[QLatin1StringView("code")] = m_stopped ? int(XADBreakError) : m_engine->unarchive();
    reply[QLatin1StringView("created")] = m_engine->createdItem();
    reply[QLatin1StringView("enclosing")] = m_engine->enclosingDirectoryName();
    reply[QLatin1StringView("verified")] = m_engine->checksVerified();
    reply[QLatin1StringView("subject")] = m_engine->errorSubject();
    send(reply);
}

void EngineServer::send(const QCborMap &message)
{
    if (!m_gone && !m_channel.send(message))
        m_gone = m_stopped = true;
}

// The program sends nothing unasked but a stop; anything else means the
// conversation is lost, and the run had better end.
void EngineServer::noteUnasked(const QCborMap &message)
{
    if (!P::is(message, P::stop))
        m_gone = true;
    m_stopped = true;
}

// A stop may cross a request on its way; the answer still follows it.
QCborMap EngineServer::waitForAnswer()
{
    while (!m_gone) {
        QCborMap message;
        if (m_channel.receive(&message, -1) != EngineChannel::Status::Message) {
            m_gone = m_stopped = true;
            break;
        }
        if (P::is(message, P::answer)) {
            if (message.value(QLatin1StringView("stop")).toBool())
                m_stopped = true;
            return message;
        }
        noteUnasked(message);
    }
    return {};
}

// Asked at every entry and every block: the channel is looked at a few
// hundred times a second at most, which is soon enough for a cancel and
// spares an archive of small files a system call per entry.
bool EngineServer::extractionShouldStop(ArchiveEngine *)
{
    if (m_stopped)
        return true;
    if (m_sinceLook.isValid() && m_sinceLook.nsecsElapsed() < lookInterval)
        return false;
    m_sinceLook.start();
    QCborMap message;
    while (!m_stopped) {
        const EngineChannel::Status status = m_channel.receive(&message, 0);
        if (status == EngineChannel::Status::Timeout)
            break;
        if (status == EngineChannel::Status::Message)
            noteUnasked(message);
        else
            m_gone = m_stopped = true;
    }
    return m_stopped;
}

void EngineServer::simpleUnarchiverNeedsPassword(ArchiveEngine *engine)
{
    send(P::message(P::passwordRequest));
    const QCborMap answer = waitForAnswer();
    if (answer.contains(QLatin1StringView("password")))
        engine->setPassword(text(answer, "password"));
}

QString EngineServer::encodingNameForXADString(ArchiveEngine *, const XADString &name)
{
    send(P::fromName(name));
    return text(waitForAnswer(), "encoding");
}

void EngineServer::extractionProgress(ArchiveEngine *, const XADEntryInfo &entry, qint64 fileProgress,
                                      qint64 fileSize, qint64 totalProgress, qint64 totalSize)
{
    QCborMap message = P::message(P::progress);
    message[P::entry] = P::fromEntry(entry);
    message[QLatin1StringView("file")] = fileProgress;
    message[QLatin1StringView("fileSize")] = fileSize;
    message[QLatin1StringView("total")] = totalProgress;
    message[QLatin1StringView("totalSize")] = totalSize;
    send(message);
}

void EngineServer::estimatedExtractionProgress(ArchiveEngine *, const XADEntryInfo &entry, double fileProgress,
                                               double totalProgress)
{
    QCborMap message = P::message(P::estimate);
    message[P::entry] = P::fromEntry(entry);
    message[QLatin1StringView("file")] = fileProgress;
    message[QLatin1StringView("total")] = totalProgress;
    send(message);
}

// A failed entry waits for the program: the user reads about it first. A
// fine one is not worth a message: for small files that would cost about
// as much as writing them.
void EngineServer::didExtractEntry(ArchiveEngine *, const XADEntryInfo &entry, const QString &destinationPath,
                                   int error)
{
    if (error == XADNoError)
        return;
    QCborMap message = P::message(P::entry);
    message[P::entry] = P::fromEntry(entry);
    message[QLatin1StringView("to")] = destinationPath;
    message[QLatin1StringView("code")] = error;
    send(message);
    if (error != XADNoError)
        waitForAnswer();
}
