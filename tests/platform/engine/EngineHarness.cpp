#include "EngineHarness.h"

#include "platform/engine/Utf8LocaleScope.h"
#include "platform/unarchiver/XADSimpleUnarchiver.h"
#include "platform/encoding/XADString.h"

#include <QDir>
#include <QCryptographicHash>
#include <QFile>
#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

void RecordingDelegate::simpleUnarchiverNeedsPassword(XADSimpleUnarchiver *unarchiver)
{
    const int index = passwordRequests++;
    if (index < passwordAnswers.size()) {
        unarchiver->setPassword(passwordAnswers.at(index));
    } else if (stopWhenUnanswered) {
        stop = true;
    }
}

QString RecordingDelegate::encodingNameForXADString(XADSimpleUnarchiver *, const XADString &name)
{
    ++encodingRequests;
    if (encodingAnswer == u"-"_qs)
        return QString();
    if (!encodingAnswer.isNull())
        return encodingAnswer;
    if (name.encoding() != 0 && name.canDecodeWithEncoding(name.encoding()))
        return XADString::encodingNameForEncoding(name.encoding());
    return u"ISO-8859-1"_qs;
}

void RecordingDelegate::extractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, qint64, qint64,
                                           qint64 totalProgress, qint64 totalSize)
{
    ++byteReports;
    lastTotal = totalProgress;
    lastTotalSize = totalSize;
    if (totalProgress < 0 || totalProgress > totalSize)
        fractionsInRange = false;
    if (onProgress)
        onProgress();
}

void RecordingDelegate::estimatedExtractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, double,
                                                    double totalProgress)
{
    ++estimatedReports;
    lastFraction = totalProgress;
    if (!(totalProgress >= 0.0 && totalProgress <= 1.0))
        fractionsInRange = false;
    if (onProgress)
        onProgress();
}

void RecordingDelegate::didExtractEntry(XADSimpleUnarchiver *, const XADEntryInfo &entry, const QString &,
                                        int error)
{
    if (error)
        entryErrors.append({entry.path, error});
    else
        extracted.append(entry.path);
}

QList<int> RecordingDelegate::errorCodes() const
{
    QList<int> codes;
    for (const auto &error : entryErrors)
        codes.append(error.second);
    return codes;
}

EngineResult runEngine(const QString &archive, const QString &destination,
                       XADSimpleUnarchiverDelegate *delegate, bool removeSoloFolder)
{
    EngineResult result;
    auto unarchiver = XADSimpleUnarchiver::simpleUnarchiverForPath(archive);
    if (!unarchiver)
        return result;
    result.opened = true;
    unarchiver->setDelegate(delegate);
    unarchiver->setPropagatesRelevantMetadata(true);
    unarchiver->setAlwaysRenamesFiles(true);
    unarchiver->setDestination(destination);
    unarchiver->setRemovesEnclosingDirectoryForSoloItems(removeSoloFolder);
    result.parse = unarchiver->parse();
    result.subject = unarchiver->errorSubject();
    result.volumes = unarchiver->volumePaths();
    if (result.parse != 0)
        return result;
    result.unarchive = unarchiver->unarchive();
    result.created = unarchiver->createdItem();
    result.enclosing = unarchiver->enclosingDirectoryName();
    result.subject = unarchiver->errorSubject();
    result.verified = unarchiver->checksVerified();
    return result;
}

EngineResult makeAndRun(const QString &archive, const QString &format, const QString &filter,
                        const QList<ArchiveEntrySpec> &entries, const QString &destination,
                        XADSimpleUnarchiverDelegate *delegate)
{
    if (!ArchiveMaker::write(archive, format, filter, entries))
        return {};
    return runEngine(archive, destination, delegate);
}

namespace {

// Small files are kept whole, so a failure shows them; large ones by size
// and a digest of their non-zero blocks with their offsets, read around
// holes: a corpus archive declares a sparse 4 GiB file.
QByteArray contentDigest(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray("(unreadable)");
    struct stat st;
    ::fstat(fd, &st);
    QByteArray content;
    if (st.st_size <= 1 << 20) {
        content.resize(st.st_size);
        const ssize_t got = ::pread(fd, content.data(), size_t(content.size()), 0);
        content.resize(got < 0 ? 0 : got);
        ::close(fd);
        return content;
    }
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QByteArray block(1 << 16, Qt::Uninitialized);
    const QByteArray zeros(block.size(), '\0');
    off_t at = 0;
    off_t next = 0; // blocks are aligned to their size and read once
    while ((at = ::lseek(fd, at, SEEK_DATA)) >= 0 && at < st.st_size) {
        const off_t end = ::lseek(fd, at, SEEK_HOLE);
        for (off_t offset = qMax(next, at - at % block.size()); offset < end; offset += block.size()) {
            next = offset + block.size();
            const ssize_t got = ::pread(fd, block.data(), size_t(block.size()), offset);
            if (got <= 0)
                break;
            if (QByteArrayView(block.constData(), got) == QByteArrayView(zeros.constData(), got))
                continue;
            hash.addData(QByteArray::number(qint64(offset)));
            hash.addData(QByteArrayView(block.constData(), got));
        }
        at = end;
    }
    ::close(fd);
    return "size " + QByteArray::number(qint64(st.st_size)) + " blocks " + hash.result().toHex();
}

void listInto(const QByteArray &root, const QByteArray &relative, Tree *tree)
{
    const QByteArray folder = relative.isEmpty() ? root : root + '/' + relative;
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    QByteArrayList names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    for (const QByteArray &name : names) {
        const QByteArray rel = relative.isEmpty() ? name : relative + '/' + name;
        const QByteArray full = root + '/' + rel;
        struct stat st;
        if (::lstat(full.constData(), &st) != 0)
            continue;
        TreeItem item;
        if (S_ISDIR(st.st_mode)) {
            item.kind = 'd';
            tree->insert(rel, item);
            listInto(root, rel, tree);
            continue;
        }
        if (S_ISREG(st.st_mode)) {
            item.kind = 'f';
            item.content = contentDigest(full);
        } else if (S_ISLNK(st.st_mode)) {
            item.kind = 'l';
            QByteArray target(4096, Qt::Uninitialized);
            const ssize_t n = ::readlink(full.constData(), target.data(), size_t(target.size()));
            item.content = n >= 0 ? target.left(n) : QByteArray();
        }
        tree->insert(rel, item);
    }
}

// As bsdtar writes it: blocks at their offsets, cut or extended to the
// size the entry declares.
bool readData(archive *a, archive_entry *entry, QByteArray *content)
{
    const void *block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    int status;
    while ((status = archive_read_data_block(a, &block, &size, &offset)) == ARCHIVE_OK) {
        if (content->size() < offset + qint64(size))
            content->resize(offset + qint64(size), '\0');
        if (size > 0)
            memcpy(content->data() + offset, block, size);
    }
    if (status != ARCHIVE_EOF)
        return false;
    if (archive_entry_size_is_set(entry))
        content->resize(archive_entry_size(entry), '\0');
    return true;
}

// The digest contentDigest() gives for a large file with these bytes.
QByteArray digestOf(const QByteArray &content)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const qsizetype blockSize = 1 << 16;
    const QByteArray zeros(blockSize, '\0');
    for (qsizetype offset = 0; offset < content.size(); offset += blockSize) {
        const QByteArrayView block(content.constData() + offset, qMin(blockSize, content.size() - offset));
        if (block == QByteArrayView(zeros.constData(), block.size()))
            continue;
        hash.addData(QByteArray::number(offset));
        hash.addData(block);
    }
    return "size " + QByteArray::number(content.size()) + " blocks " + hash.result().toHex();
}

struct ReadFree {
    void operator()(archive *a) const { archive_read_free(a); }
};

} // namespace

Tree listTree(const QString &root)
{
    Tree tree;
    listInto(QFile::encodeName(root), QByteArray(), &tree);
    return tree;
}

Tree filesAndLinks(const Tree &tree)
{
    Tree kept;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (it->kind == 'f' || it->kind == 'l')
            kept.insert(it.key(), *it);
    }
    return kept;
}

QString describeTree(const Tree &tree)
{
    QStringList lines;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        lines.append(QString::fromUtf8(it.key()) + u' ' + QChar::fromLatin1(it->kind) + u' '
                     + QString::number(it->content.size()));
    return lines.join(u'\n');
}

Tree referenceTree(const QStringList &volumes, bool *ok, const QByteArray &passphrase)
{
    Tree tree;
    *ok = false;
    // Unicode names come out as UTF-8 whatever the test's own locale.
    const Utf8LocaleScope utf8;
    std::unique_ptr<archive, ReadFree> a(archive_read_new());
    archive_read_support_filter_all(a.get());
    archive_read_support_format_all(a.get());
    if (!passphrase.isEmpty())
        archive_read_add_passphrase(a.get(), passphrase.constData());
    QList<QByteArray> names;
    std::vector<const char *> pointers;
    for (const QString &volume : volumes)
        names.append(QFile::encodeName(volume));
    for (const QByteArray &name : names)
        pointers.push_back(name.constData());
    pointers.push_back(nullptr);
    if (archive_read_open_filenames(a.get(), pointers.data(), 10240) != ARCHIVE_OK)
        return tree;
    archive_entry *entry = nullptr;
    int status;
    while ((status = archive_read_next_header(a.get(), &entry)) >= ARCHIVE_WARN) {
        if (status == ARCHIVE_EOF)
            break;
        QByteArray path(archive_entry_pathname(entry));
        while (path.endsWith('/'))
            path.chop(1);
        TreeItem item;
        if (const char *target = archive_entry_hardlink(entry); target && archive_entry_size(entry) == 0) {
            QByteArray key(target);
            while (key.endsWith('/'))
                key.chop(1);
            tree.insert(path, tree.value(key));
            continue;
        }
        switch (archive_entry_filetype(entry)) {
        case AE_IFDIR:
            item.kind = 'd';
            break;
        case AE_IFLNK:
            item.kind = 'l';
            item.content = archive_entry_symlink(entry);
            break;
        default:
            item.kind = 'f';
            if (!readData(a.get(), entry, &item.content))
                return tree;
            if (item.content.size() > 1 << 20)
                item.content = digestOf(item.content);
        }
        tree.insert(path, item);
    }
    *ok = status == ARCHIVE_EOF;
    return tree;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}
