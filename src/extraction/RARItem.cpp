#include "RARItem.h"

#include "ItemController.h"
#include "ItemRow.h"
#include "platform/desktop/FileViewer.h"
#include "platform/system/PatternMatch.h"
#include "platform/unarchiver/SpaceCheck.h"
#include "platform/settings/UserDefaults.h"
#include "platform/errors/XADException.h"
#include "platform/files/XADPlatform.h"
#include "platform/unarchiver/XADSimpleUnarchiver.h"
#include "platform/encoding/XADString.h"
#include "platform/engine/ProgressThrottle.h"
#include "platform/settings/SettingsKeys.h"
#include "support/DateExpand.h"
#include "support/Localized.h"
#include "support/MainQueue.h"
#include "platform/files/PathComponents.h"
#include "support/StringExpand.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <cmath>
#include <thread>
#include <utility>

Q_LOGGING_CATEGORY(lcItem, "quillbox.item")

namespace {

} // namespace

RARItem::RARItem(const QString &path) : m_path(path) {}

RARItem::~RARItem()
{
    // The engine must never call back into a freed item.
    if (m_unarchiver)
        m_unarchiver->setDelegate(nullptr);
}

QString RARItem::filename() const
{
    return lastPathComponent(m_path);
}

QString RARItem::name() const
{
    QString name = deletingPathExtension(filename());
    while (isValid(pathExtension(name)))
        name = deletingPathExtension(name);
    return name;
}

QString RARItem::tmpPath()
{
    if (!m_tmpPath.isNull())
        return m_tmpPath;
    // Locked for as long as the folder exists, so that the start of another
    // Quillbox never sweeps it away; a name another process took in the same
    // millisecond moves on to the next.
    const qint64 stamp = timeStamp();
    for (qint64 next = stamp; next < stamp + 4; ++next) {
        const QString folderName = u".Temp_"_qs + QString::number(next);
        const QString path = toTempFolderPath(folderName);
        if (path.isEmpty())
            return QString(); // no application-support folder: the run fails
        if (m_tmpLock.create(path)) {
            qCInfo(lcItem) << "temporary folder" << folderName << "at" << path;
            m_tmpPath = path;
            return m_tmpPath;
        }
    }
    return QString();
}

QString RARItem::desPath() const
{
    if (isValid(m_desPath))
        return m_desPath;
    const auto &defaults = UserDefaults::standardUserDefaults();
    switch (defaults.integerForKey(SettingsKeys::SaveMethod)) {
    case SaveMethod::ChosenFolder: {
        const QString chosen = defaults.stringForKey(SettingsKeys::SelectPath);
        return isValid(chosen) ? chosen : parentFolderOf(m_path);
    }
    case SaveMethod::Desktop:
        return desktopPath();
    default:
        return parentFolderOf(m_path);
    }
}

XADSimpleUnarchiver *RARItem::unarchiver()
{
    if (!m_unarchiver) {
        m_unarchiver = XADSimpleUnarchiver::simpleUnarchiverForPath(m_path);
        if (m_unarchiver) {
            m_unarchiver->setDelegate(this);
            m_unarchiver->setPropagatesRelevantMetadata(true);
            m_unarchiver->setAlwaysRenamesFiles(true);
        }
    }
    return m_unarchiver.get();
}

void RARItem::setVc(std::unique_ptr<ItemRow> row)
{
    m_vc = std::move(row);
}

ItemController *RARItem::controller() const
{
    return m_vc ? m_vc->controller() : nullptr;
}

void RARItem::extractFile()
{
    std::thread([self = shared_from_this(), destination = desPath()]() mutable {
        extractThread(std::move(self), destination);
    }).detach();
}

// Runs on the worker. The item is handed on to the main thread by move, so
// the worker never holds the last reference and the item always dies there.
// The destination is only for the space check; the result goes where the
// settings say when the run ends.
void RARItem::extractThread(std::shared_ptr<RARItem> self, const QString &destination)
{
    // The temporary folder comes first: it is the one place the engine's
    // helper process may write in, from the start.
    XADSimpleUnarchiver *unarchiver = self->unarchiver();
    const QString tmp = unarchiver ? self->tmpPath() : QString();
    bool ok = !tmp.isEmpty();
    if (ok) {
        unarchiver->setDestination(tmp);
        unarchiver->setRemovesEnclosingDirectoryForSoloItems(true);
        ok = unarchiver->parse() == 0;
    }
    if (ok && refuseWhenShortOfSpace(self, destination)) {
        endInFailure(std::move(self));
        return;
    }
    ok = ok && unarchiver->unarchive() == 0 && isValid(unarchiver->createdItem());
    if (ok) {
        enterForeground([item = std::move(self)] { item->extractSuccess(); });
        return;
    }
    extractFailTip(self);
    endInFailure(std::move(self));
}

// Before a byte is written: an archive that says it will not fit is refused
// with both sizes, instead of filling the disk to find out. The prompt is
// the only one; the run then ends as any failed one does.
bool RARItem::refuseWhenShortOfSpace(const std::shared_ptr<RARItem> &self, const QString &destination)
{
    const auto shortfall =
        SpaceCheck::check(self->m_unarchiver->declaredSize(), self->m_tmpPath, destination);
    if (!shortfall)
        return false;
    const QStringList sizes = readableSizes(shortfall->needed, shortfall->available);
    //% "“%1” needs %2 of free space in “%3”, but only %4 is free."
    self->setErrorTip(localizedString("space_error_info")
                          .arg(self->filename(), sizes.at(0), self->visibleFolder(shortfall->folder), sizes.at(1)));
    self->askAndWait([&](ItemController *c) { c->errorTipWithItem(self); });
    return true;
}

// The hidden temporary folder means nothing to the user; the folder that
// holds it names the disk just as well.
QString RARItem::visibleFolder(const QString &folder) const
{
    return folder == m_tmpPath ? QFileInfo(m_tmpPath).path() : folder;
}

// As many decimals as it takes for the two to read differently: "needs
// 2 GiB, only 2 GiB free" would tell the user nothing.
QStringList RARItem::readableSizes(qint64 first, qint64 second)
{
    const QLocale locale;
    QStringList sizes;
    for (int precision = 2; precision <= 9; ++precision) {
        sizes = {locale.formattedDataSize(first, precision), locale.formattedDataSize(second, precision)};
        if (sizes.at(0) != sizes.at(1))
            break;
    }
    return sizes;
}

void RARItem::extractFailTip(const std::shared_ptr<RARItem> &self)
{
    self->setErrorTip(self->failureText());
    self->askAndWait([&](ItemController *c) { c->errorTipWithItem(self); });
}

void RARItem::askAndWait(const std::function<void(ItemController *)> &ask)
{
    ItemController *c = controller();
    if (!c)
        return;
    ask(c);
    c->startConditionLock();
}

// Worker: a temporary folder may hold tens of thousands of files, too many
// to remove on the main thread.
void RARItem::endInFailure(std::shared_ptr<RARItem> self)
{
    self->discardTemporaryFolder();
    enterForeground([item = std::move(self)] { item->extractFail(); });
}

void RARItem::discardTemporaryFolder()
{
    if (!m_tmpPath.isEmpty())
        XADPlatform::removeItemAtPath(m_tmpPath);
    m_tmpLock.release();
}

void RARItem::extractFail()
{
    if (ItemController *c = controller())
        c->extractFinished(shared_from_this());
}

void RARItem::extractSuccess()
{
    const auto &defaults = UserDefaults::standardUserDefaults();
    const Completion completion{desPath(), defaults.integerForKey(SettingsKeys::OpenFolder) != 0,
                                defaults.integerForKey(SettingsKeys::DeleteZip) != 0};
    std::thread([self = shared_from_this(), completion]() mutable {
        finishThread(std::move(self), completion);
    }).detach();
}

// Runs on a worker of its own: across disks the move is a copy, and the
// temporary folder may hold tens of thousands of files.
void RARItem::finishThread(std::shared_ptr<RARItem> self, const Completion &completion)
{
    QString finalPath;
    switch (self->placeCreatedItem(completion.destination, &finalPath)) {
    case Placement::Failed:
        // The result stays in the temporary folder and the archive stays too;
        // the user learns where, and nothing is deleted.
        reportKeptResult(std::move(self), completion.destination);
        return;
    case Placement::CopyStopped:
        // Cancelled while copying: the copy is gone already, and the run ends
        // as any cancelled one, the archive kept.
        extractFailTip(self);
        endInFailure(std::move(self));
        return;
    case Placement::Moved:
        self->discardTemporaryFolder();
        // A cancel that came as the run ended still means: keep the archive.
        if (completion.deleteArchive && !self->isCancelled())
            self->deleteArchive(finalPath);
        break;
    case Placement::NothingToMove:
        // The folder stays where it is; the next start sweeps it.
        self->m_tmpLock.release();
        break;
    }
    enterForeground([item = std::move(self), finalPath, completion] { item->finishSuccess(finalPath, completion); });
}

void RARItem::finishSuccess(const QString &finalPath, const Completion &completion)
{
    showResult(finalPath, completion);
    if (ItemController *c = controller()) {
        c->extractFinished(shared_from_this());
        c->readyComment();
    }
}

// Worker: moves the created item to a free name in the destination. A move
// across disks is a copy, which the row shows and a cancel stops.
RARItem::Placement RARItem::placeCreatedItem(const QString &destination, QString *finalPath)
{
    if (m_unarchiver->enclosingDirectoryName().isNull())
        return Placement::NothingToMove;
    const QString created = m_unarchiver->createdItem();
    QString target = QDir(destination).filePath(lastPathComponent(created));
    if (FileViewer::isFilePackageAtPath(created))
        target = deletingPathExtension(target);
    *finalPath = XADSimpleUnarchiver::_findUniquePathForOriginalPath(target);
    bool stopped = false;
    bool shown = false;
    ProgressThrottle throttle;
    const auto progress = [&](qint64 done, qint64 total) {
        if (extractionShouldStop(m_unarchiver.get())) {
            stopped = true;
            return false;
        }
        if (!std::exchange(shown, true))
            postCopyStarted(*finalPath);
        if (done >= total || throttle.shouldReport())
            postProgress(total > 0 ? double(done) / double(total) : 0.0);
        return true;
    };
    if (XADPlatform::moveItemAtPath(created, *finalPath, progress))
        return Placement::Moved;
    return stopped ? Placement::CopyStopped : Placement::Failed;
}

// The archive goes only when its result was checked through and now stands
// in its final place, and then every volume goes with it: one volume
// without the others is of no use to anybody.
void RARItem::deleteArchive(const QString &finalPath)
{
    if (!m_unarchiver->checksVerified()) {
        qCInfo(lcItem) << "kept" << m_path << "since not every check of it could be made";
        return;
    }
    if (!QFileInfo::exists(finalPath) && !QFileInfo(finalPath).isSymLink())
        return;
    for (const QString &volume : m_unarchiver->volumePaths())
        XADPlatform::removeItemAtPath(volume);
}

// The failure prompt says why, unless an entry's prompt just did, or the
// user cancelled.
QString RARItem::failureText() const
{
    const QString text = localizedString("file_error_info").arg(filename());
    if (m_entryErrorShown || !m_unarchiver || isCancelled())
        return text;
    const int error = m_unarchiver->lastError();
    if (error == XADNoError || error == XADBreakError)
        return text;
    const QString subject = m_unarchiver->errorSubject();
    return text + reasonText(error, subject.isEmpty() ? QString() : QFileInfo(subject).fileName());
}

QString RARItem::reasonText(int error, const QString &subject)
{
    const bool named = !subject.isEmpty() && XADException::describeXADError(error, true).contains(u"%1"_qs);
    const QString reason = localizedString(XADException::describeXADError(error, named));
    return named ? reason.arg(subject) : reason;
}

void RARItem::showResult(const QString &finalPath, const Completion &completion)
{
    FileViewer &viewer = FileViewer::shared();
    if (completion.openFolder) {
        if (finalPath.isNull()) {
            viewer.openFile(completion.destination);
        } else if (QFileInfo(finalPath).isDir() && !FileViewer::isFilePackageAtPath(finalPath)) {
            viewer.openFile(finalPath);
        } else {
            viewer.selectFile(finalPath);
        }
        return;
    }
    if (!finalPath.isNull() && matchedByPattern(finalPath, u"/Library/Mail Downloads/[^/]+$"_qs))
        viewer.selectFile(finalPath);
}

// Worker: the error prompt is a worker-side handshake; the extraction queue
// stays held until it is answered.
void RARItem::reportKeptResult(std::shared_ptr<RARItem> self, const QString &destination)
{
    self->m_tmpLock.handOver(); // the user's now: no later start sweeps it
    const QString keptAt = self->m_unarchiver->createdItem();
    self->setErrorTip(localizedString("move_error_info").arg(self->filename(), destination, keptAt));
    self->askAndWait([&](ItemController *c) { c->errorTipWithItem(self); });
    enterForeground([item = std::move(self)] {
        if (ItemController *c = item->controller())
            c->extractFinished(item);
    });
}

bool RARItem::extractionShouldStop(XADSimpleUnarchiver *)
{
    return isCancelled();
}

void RARItem::simpleUnarchiverNeedsPassword(XADSimpleUnarchiver *unarchiver)
{
    auto self = shared_from_this();
    askAndWait([&](ItemController *c) { c->passwordWithItem(self); });
    if (!m_password.isNull())
        unarchiver->setPassword(m_password);
    else
        setIsCancelled(true);
}

QString RARItem::encodingNameForXADString(XADSimpleUnarchiver *, const XADString &name)
{
    quint64 candidate = m_encoding;
    if (candidate == 0) {
        const float confidence = name.confidence();
        if (!std::isnan(confidence) && confidence * 100.0f >= 80.0f)
            candidate = name.encoding();
    }
    if (candidate != 0 && name.canDecodeWithEncoding(candidate))
        return XADString::encodingNameForEncoding(candidate);

    auto self = shared_from_this();
    askAndWait([&](ItemController *c) { c->encodingWithItem(self, name); });
    if (m_encoding == 0) {
        setIsCancelled(true);
        return QString();
    }
    return XADString::encodingNameForEncoding(m_encoding);
}

void RARItem::postProgress(double fraction)
{
    enterForeground([weak = weak_from_this(), fraction] {
        if (auto item = weak.lock(); item && item->vc())
            item->vc()->setProgress(fraction);
    });
}

void RARItem::postCopyStarted(const QString &finalPath)
{
    enterForeground([weak = weak_from_this(), finalPath] {
        if (auto item = weak.lock(); item && item->vc())
            item->vc()->showCopy(finalPath);
    });
}

void RARItem::extractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, qint64, qint64,
                                 qint64 totalProgress, qint64 totalSize)
{
    // An archive of empty files reports a total of 0; show an empty bar then.
    const double fraction = totalSize > 0 ? double(totalProgress) / double(totalSize) : 0.0;
    postProgress(fraction);
}

void RARItem::estimatedExtractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, double,
                                          double totalProgress)
{
    postProgress(std::isfinite(totalProgress) ? totalProgress : 0.0);
}

void RARItem::didExtractEntry(XADSimpleUnarchiver *, const XADEntryInfo &entry, const QString &, int error)
{
    if (error == 0 || isCancelled())
        return;
    m_entryErrorShown = true;
    setErrorTip(localizedString("file_error_info").arg(filename()) + reasonText(error, entry.path));
    auto self = shared_from_this();
    askAndWait([&](ItemController *c) { c->errorTipWithItem(self); });
    setIsCancelled(true);
}
