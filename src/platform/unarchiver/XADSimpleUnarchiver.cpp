#include "platform/unarchiver/XADSimpleUnarchiver.h"

#include "platform/unarchiver/EngineProcess.h"
#include "platform/engine/EngineProtocol.h"
#include "platform/files/StagingFolder.h"
#include "platform/files/TreeRemover.h"
#include "platform/files/UniqueName.h"
#include "platform/errors/XADException.h"
#include "platform/encoding/XADString.h"

#include <QCborArray>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <atomic>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcEngine, "quillbox.engine")

namespace {

using P = EngineProtocol;

// How often the wait for the helper looks at the stop flag and the watchdog.
constexpr int pollMilliseconds = 50;
// A stopped helper gets this long to end by itself before it is killed.
constexpr int stopGraceMilliseconds = 1000;

QString text(const QCborMap &message, const char *key)
{
    return message.value(QLatin1StringView(key)).toString();
}

} // namespace

struct XADSimpleUnarchiver::Private : UnarchiverState {
    XADSimpleUnarchiver *q = nullptr;
    std::atomic<XADSimpleUnarchiverDelegate *> delegate{nullptr};

    std::unique_ptr<EngineProcess> helper;
    QString confinedTo;
    bool parsed = false;
    int parseResult = XADNoError;
    bool stopSent = false;
    QElapsedTimer sinceStop;


    int parse();
    int unarchive();
    int startHelper();
    int exchange(const QCborMap &request, QLatin1StringView replyKind, QCborMap *reply);
    int watch();
    bool shouldStop();
    int passStopOn();
    void sendAnswer(QCborMap answer);
    int lost();
    bool dispatch(const QCborMap &message);
    void answerPassword();
    void answerEncoding(const QCborMap &message);
    void reportEntry(const QCborMap &message);
    void reportProgress(const QCborMap &message);
    void endHelper();
    void removeLeftovers(const QStringList &stagedBefore);
};

// A helper per archive, confined to the folder it will write in. A
// different destination later needs a helper of its own.
int XADSimpleUnarchiver::Private::startHelper()
{
    endHelper();
    helper = std::make_unique<EngineProcess>();
    confinedTo = destination;
    stopSent = false;
    // The helper is confined to the folder before it can make it.
    if (!destination.isEmpty())
        QDir().mkpath(destination);
    if (!helper->start(destination))
        return lost();
    QCborMap hello = P::message(P::hello);
    hello[QLatin1StringView("version")] = P::version;
    QCborMap reply;
    if (const int error = exchange(hello, P::hello, &reply))
        return error;
    if (reply.value(QLatin1StringView("version")).toInteger() != P::version)
        return lost();
    if (!reply.value(QLatin1StringView("confined")).toBool()) {
        static std::once_flag once;
        std::call_once(once, [&] {
            qCWarning(lcEngine).noquote() << "reading archives without file-system confinement:"
                                          << text(reply, "note");
        });
    }
    return XADNoError;
}

void XADSimpleUnarchiver::Private::endHelper()
{
    if (helper)
        helper->finish(stopGraceMilliseconds);
    helper.reset();
}

// A helper that was killed or died half-way cannot remove its hidden
// folder; once it is gone for sure, the staging folders that were not
// there before the run are its own.
void XADSimpleUnarchiver::Private::removeLeftovers(const QStringList &stagedBefore)
{
    for (const QString &folder : StagingFolder::foldersIn(destination)) {
        if (!stagedBefore.contains(folder))
            TreeRemover::remove(folder);
    }
}

int XADSimpleUnarchiver::Private::parse()
{
    if (parsed)
        return parseResult;
    parsed = true;
    errorSubject.clear();
    if (const int error = startHelper())
        return parseResult = error;
    QCborMap request = P::message(P::parse);
    request[QLatin1StringView("path")] = path;
    request[QLatin1StringView("metadata")] = propagatesMetadata;
    request[QLatin1StringView("destination")] = destination;
    if (passwordGiven)
        request[QLatin1StringView("password")] = password;
    QCborMap reply;
    if (const int error = exchange(request, P::parsed, &reply))
        return parseResult = error;
    declaredSize = reply.value(QLatin1StringView("size")).toInteger(-1);
    volumePaths.clear();
    for (const QCborValue &volume : reply.value(QLatin1StringView("volumes")).toArray())
        volumePaths.append(volume.toString());
    errorSubject = text(reply, "subject");
    parseResult = int(reply.value(QLatin1StringView("code")).toInteger(XADUnknownError));
    if (parseResult != XADNoError) {
        declaredSize = -1;
        endHelper();
    }
    return parseResult;
}

int XADSimpleUnarchiver::Private::unarchive()
{
    createdItem.clear();
    enclosingName.clear();
    checksVerified = false;
    if (!helper || confinedTo != destination) {
        parsed = false; // read afresh, by a helper that may write here
        if (const int error = parse())
            return error;
    }
    QCborMap request = P::message(P::unarchive);
    request[QLatin1StringView("destination")] = destination;
    request[QLatin1StringView("soloOut")] = removesEnclosingDirectory;
    if (passwordGiven)
        request[QLatin1StringView("password")] = password;
    const QStringList stagedBefore = StagingFolder::foldersIn(destination);
    QCborMap reply;
    const int error = exchange(request, P::unarchived, &reply);
    parsed = false; // the helper's reading is used up either way
    endHelper();
    if (error) {
        removeLeftovers(stagedBefore);
        return error;
    }
    errorSubject = text(reply, "subject");
    const int code = int(reply.value(QLatin1StringView("code")).toInteger(XADUnknownError));
    if (code == XADNoError) {
        createdItem = text(reply, "created");
        enclosingName = text(reply, "enclosing");
        checksVerified = reply.value(QLatin1StringView("verified")).toBool();
    }
    return code;
}

// Sends a request and serves the helper's callbacks until its reply comes;
// 0, or the error that ended the wait.
int XADSimpleUnarchiver::Private::exchange(const QCborMap &request, QLatin1StringView replyKind, QCborMap *reply)
{
    if (!P::is(request, P::hello) && shouldStop())
        return XADBreakError;
    if (!helper->channel().send(request))
        return lost();
    for (;;) {
        QCborMap message;
        switch (helper->channel().receive(&message, pollMilliseconds)) {
        case EngineChannel::Status::Message:
            if (P::is(message, replyKind)) {
                *reply = message;
                return XADNoError;
            }
            if (!dispatch(message))
                return lost();
            helper->noteActivity();
            if (const int error = passStopOn())
                return error;
            break;
        case EngineChannel::Status::Timeout:
            if (const int error = watch())
                return error;
            break;
        case EngineChannel::Status::Closed:
        case EngineChannel::Status::Broken:
            return lost();
        }
    }
}

bool XADSimpleUnarchiver::Private::shouldStop()
{
    XADSimpleUnarchiverDelegate *target = delegate.load();
    return target && target->extractionShouldStop(q);
}

// Passes a stop on once the delegate asks for it; a helper that ignores it
// is ended after a grace period.
int XADSimpleUnarchiver::Private::passStopOn()
{
    if (!stopSent && shouldStop()) {
        stopSent = true;
        sinceStop.start();
        helper->channel().send(P::message(P::stop));
    }
    if (stopSent && sinceStop.elapsed() > stopGraceMilliseconds) {
        helper->kill();
        return XADBreakError;
    }
    return XADNoError;
}

// Between messages: also end a helper that has done nothing at all for too
// long (a loop inside libarchive never comes back to poll for a stop).
int XADSimpleUnarchiver::Private::watch()
{
    if (const int error = passStopOn())
        return error;
    if (helper->hasBeenQuietTooLong()) {
        qCWarning(lcEngine).noquote() << "the archive reader made no progress on" << path << "and was stopped";
        helper->kill();
        return XADCorruptError;
    }
    return XADNoError;
}

// The helper is gone or speaks nonsense: crashed, killed by its memory
// limit, or broken by the archive. Nothing it said is trusted further.
int XADSimpleUnarchiver::Private::lost()
{
    if (helper)
        helper->kill();
    if (stopSent)
        return XADBreakError;
    qCWarning(lcEngine).noquote() << "the archive reader stopped unexpectedly on" << path;
    return XADEngineFailedError;
}

bool XADSimpleUnarchiver::Private::dispatch(const QCborMap &message)
{
    if (P::is(message, P::progress) || P::is(message, P::estimate))
        reportProgress(message);
    else if (P::is(message, P::entry))
        reportEntry(message);
    else if (P::is(message, P::passwordRequest))
        answerPassword();
    else if (P::is(message, P::encodingRequest))
        answerEncoding(message);
    else
        return false;
    return true;
}

// The user may take minutes over a prompt: that is no silence of the helper.
void XADSimpleUnarchiver::Private::answerPassword()
{
    passwordGiven = false;
    if (XADSimpleUnarchiverDelegate *target = delegate.load())
        target->simpleUnarchiverNeedsPassword(q);
    QCborMap answer = P::message(P::answer);
    if (passwordGiven)
        answer[QLatin1StringView("password")] = password;
    sendAnswer(answer);
}

void XADSimpleUnarchiver::Private::answerEncoding(const QCborMap &message)
{
    const XADString name = P::toName(message);
    QString encoding;
    if (XADSimpleUnarchiverDelegate *target = delegate.load())
        encoding = target->encodingNameForXADString(q, name);
    else
        encoding = name.encodingNameWithoutAsking();
    QCborMap answer = P::message(P::answer);
    if (!encoding.isNull())
        answer[QLatin1StringView("encoding")] = encoding;
    sendAnswer(answer);
}

// A prompt often ends in a stop (a cancelled password); the engine learns
// of it with the answer, before it goes on.
void XADSimpleUnarchiver::Private::sendAnswer(QCborMap answer)
{
    if (shouldStop()) {
        answer[QLatin1StringView("stop")] = true;
        stopSent = true;
        sinceStop.start();
    }
    helper->channel().send(answer);
}

void XADSimpleUnarchiver::Private::reportEntry(const QCborMap &message)
{
    const int error = int(message.value(QLatin1StringView("code")).toInteger());
    if (XADSimpleUnarchiverDelegate *target = delegate.load())
        target->didExtractEntry(q, P::toEntry(message.value(P::entry)), text(message, "to"), error);
    if (error != XADNoError)
        sendAnswer(P::message(P::answer));
}

void XADSimpleUnarchiver::Private::reportProgress(const QCborMap &message)
{
    XADSimpleUnarchiverDelegate *target = delegate.load();
    if (!target)
        return;
    const XADEntryInfo entry = P::toEntry(message.value(P::entry));
    const auto number = [&](const char *key) { return message.value(QLatin1StringView(key)); };
    if (P::is(message, P::progress))
        target->extractionProgress(q, entry, number("file").toInteger(), number("fileSize").toInteger(),
                                   number("total").toInteger(), number("totalSize").toInteger());
    else
        target->estimatedExtractionProgress(q, entry, number("file").toDouble(), number("total").toDouble());
}

std::unique_ptr<XADSimpleUnarchiver> XADSimpleUnarchiver::simpleUnarchiverForPath(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return nullptr;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    ::close(fd);
    return std::unique_ptr<XADSimpleUnarchiver>(new XADSimpleUnarchiver(std::make_unique<Private>(), path));
}

QString XADSimpleUnarchiver::_findUniquePathForOriginalPath(const QString &path)
{
    return UniqueName::freePath(path);
}

XADSimpleUnarchiver::XADSimpleUnarchiver(std::unique_ptr<Private> state, const QString &path)
    : UnarchiverBase(state.get()), d(std::move(state))
{
    d->q = this;
    d->path = QFileInfo(path).absoluteFilePath();
}

XADSimpleUnarchiver::~XADSimpleUnarchiver()
{
    d->endHelper();
}

void XADSimpleUnarchiver::setDelegate(XADSimpleUnarchiverDelegate *delegate)
{
    d->delegate.store(delegate);
}

XADSimpleUnarchiverDelegate *XADSimpleUnarchiver::delegate() const
{
    return d->delegate.load();
}

int XADSimpleUnarchiver::parse()
{
    return d->lastError = d->parse();
}

int XADSimpleUnarchiver::unarchive()
{
    return d->lastError = d->unarchive();
}

