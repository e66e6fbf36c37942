#include "EngineHarness.h"

#include "platform/engine/Utf8LocaleScope.h"
#include "platform/unarchiver/XADSimpleUnarchiver.h"
#include "platform/encoding/XADString.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

// Every program linked with this harness gets a home of its own and this
// build's helper, as its application object is made.
static void useTestEnvironment()
{
    static const TestEnvironment environment;
}
Q_COREAPP_STARTUP_FUNCTION(useTestEnvironment)

void RecordingDelegate::simpleUnarchiverNeedsPassword(XADSimpleUnarchiver *unarchiver)
{
    const int index = passwordRequests++;
    if (index < passwordAnswers.size())
        unarchiver->setPassword(passwordAnswers.at(index));
    else if (stopWhenUnanswered)
        stop = true;
}

QString RecordingDelegate::encodingNameForXADString(XADSimpleUnarchiver *, const XADString &name)
{
    ++encodingRequests;
    if (name.encoding() != 0 && name.canDecodeWithEncoding(name.encoding()))
        return XADString::encodingNameForEncoding(name.encoding());
    return u"ISO-8859-1"_qs;
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

// Large files by size and a digest of their non-zero blocks, read around
// holes: a corpus archive declares a sparse 4 GiB file.
QByteArray contentDigest(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return QByteArray("(unreadable)");
    const bool whole = st.st_size <= 16 << 20;
    QByteArray block(whole ? st.st_size : 1 << 16, '\0');
    QCryptographicHash hash(QCryptographicHash::Sha1);
    // From inside data, SEEK_DATA stays where it is.
    for (off_t at = 0; !whole && (at = ::lseek(fd, at, SEEK_DATA)) >= 0 && at < st.st_size; at += block.size()) {
        at -= at % block.size();
        const ssize_t got = ::pread(fd, block.data(), size_t(block.size()), at);
        if (got > 0 && QByteArrayView(block.constData(), got).count('\0') != got) {
            hash.addData(QByteArray::number(qint64(at)));
            hash.addData(QByteArrayView(block.constData(), got));
        }
    }
    if (whole)
        block.resize(qMax<ssize_t>(::pread(fd, block.data(), size_t(block.size()), 0), 0));
    ::close(fd);
    return whole ? block : "size " + QByteArray::number(qint64(st.st_size)) + " blocks " + hash.result().toHex();
}

void listInto(const QByteArray &root, const QByteArray &relative, Tree *tree)
{
    DIR *dir = ::opendir(relative.isEmpty() ? root.constData() : QByteArray(root + '/' + relative).constData());
    while (const dirent *entry = dir ? ::readdir(dir) : nullptr) {
        const QByteArray name(entry->d_name);
        const QByteArray rel = relative.isEmpty() ? name : relative + '/' + name;
        const QByteArray full = root + '/' + rel;
        struct stat st;
        if (name == "." || name == ".." || ::lstat(full.constData(), &st) != 0)
            continue;
        TreeItem item;
        if (S_ISDIR(st.st_mode)) {
            item.kind = 'd';
            listInto(root, rel, tree);
        } else if (S_ISREG(st.st_mode)) {
            item.kind = 'f';
            item.content = contentDigest(full);
        } else if (S_ISLNK(st.st_mode)) {
            item.kind = 'l';
            QByteArray target(4096, Qt::Uninitialized);
            item.content = target.left(qMax<ssize_t>(::readlink(full.constData(), target.data(), 4096), 0));
        }
        tree->insert(rel, item);
    }
    if (dir)
        ::closedir(dir);
}

QByteArray withoutTrailingSlashes(QByteArray path)
{
    while (path.endsWith('/'))
        path.chop(1);
    return path;
}

// As bsdtar writes it: blocks at their offsets, sized as the entry declares.
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

} // namespace

Tree listTree(const QString &root)
{
    Tree tree;
    listInto(QFile::encodeName(root), QByteArray(), &tree);
    return tree;
}

Tree filesAndLinks(Tree tree)
{
    tree.removeIf([](auto it) { return it->kind != 'f' && it->kind != 'l'; });
    return tree;
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
    std::unique_ptr<archive, decltype(&archive_read_free)> a(archive_read_new(), archive_read_free);
    archive_read_support_filter_all(a.get());
    archive_read_support_format_all(a.get());
    if (!passphrase.isEmpty())
        archive_read_add_passphrase(a.get(), passphrase.constData());
    QByteArrayList names;
    std::vector<const char *> pointers;
    for (const QString &volume : volumes)
        names.append(QFile::encodeName(volume));
    for (const QByteArray &name : std::as_const(names))
        pointers.push_back(name.constData());
    pointers.push_back(nullptr);
    if (archive_read_open_filenames(a.get(), pointers.data(), 10240) != ARCHIVE_OK)
        return tree;
    archive_entry *entry = nullptr;
    int status;
    while ((status = archive_read_next_header(a.get(), &entry)) >= ARCHIVE_WARN) {
        if (status == ARCHIVE_EOF)
            break;
        const QByteArray path = withoutTrailingSlashes(archive_entry_pathname(entry));
        TreeItem item;
        if (const char *target = archive_entry_hardlink(entry); target && archive_entry_size(entry) == 0) {
            tree.insert(path, tree.value(withoutTrailingSlashes(target)));
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
            // Large files would be digested: none of the archives read here has one.
            if (!readData(a.get(), entry, &item.content) || item.content.size() > 16 << 20)
                return tree;
        }
        tree.insert(path, item);
    }
    *ok = status == ARCHIVE_EOF;
    return tree;
}

ViewFiles filesThroughView(const VolumeSet &volumes, std::unique_ptr<DecryptedView> view,
                           ArchiveReader::PassphraseSource passphrase)
{
    ArchiveReader reader(volumes, [] { return false; }, std::move(passphrase));
    reader.readThrough(std::move(view));
    ViewFiles result;
    int status = reader.open();
    archive_entry *entry = nullptr;
    bool dataRead = true;
    while (status == ARCHIVE_OK && (status = reader.nextHeader(&entry)) == ARCHIVE_OK) {
        if (archive_entry_filetype(entry) != AE_IFREG)
            continue;
        QByteArray data;
        char chunk[8192];
        la_ssize_t got = 0;
        while ((got = archive_read_data(reader.handle(), chunk, sizeof chunk)) > 0)
            data.append(chunk, got);
        dataRead = dataRead && got == 0;
        result.files[QString::fromUtf8(archive_entry_pathname(entry))] = got < 0 ? QByteArray("<unreadable>") : data;
    }
    result.complete = status == ARCHIVE_EOF && dataRead;
    return result;
}
