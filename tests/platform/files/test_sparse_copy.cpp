#include "EngineHarness.h"
#include "OtherFileSystem.h"
#include "TestEnvironment.h"
#include "platform/files/TreeCopy.h"
#include "platform/files/XADPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 GiB = qint64(1) << 30;
constexpr qint64 KiB = 1024;

// A file `size` bytes long holding `length` bytes of its own letter at each
// offset, and holes everywhere else.
struct Layout {
    qint64 size = 0;
    QList<qint64> offsets;
    int length = 0;

    QByteArray extent(int index) const { return QByteArray(length, char('a' + index)); }
    char expectedAt(qint64 at) const
    {
        for (int i = 0; i < offsets.size(); ++i) {
            if (at >= offsets.at(i) && at < offsets.at(i) + length)
                return char('a' + i);
        }
        return '\0';
    }
    qint64 nextDataAt(qint64 at) const
    {
        qint64 next = size;
        for (qint64 offset : offsets)
            next = offset >= at ? qMin(next, offset) : next;
        return next;
    }
    // Just outside each stretch of data, in the middle of the gaps, and the last byte.
    QList<qint64> probes() const
    {
        QList<qint64> at{0, size / 4, size / 2 + 7, size * 3 / 4, size - 1};
        for (qint64 offset : offsets)
            at << qMax<qint64>(offset - 1, 0) << offset << qMin(offset + length, size - 1);
        return at;
    }
};

struct stat statOf(const QString &path)
{
    struct stat st = {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

qint64 allocated(const QString &path)
{
    return qint64(statOf(path).st_blocks) * 512;
}

bool makeSparse(const QString &path, const Layout &layout)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    for (int i = 0; ok && i < layout.offsets.size(); ++i)
        ok = ::pwrite(fd, layout.extent(i).constData(), size_t(layout.length), layout.offsets.at(i)) == layout.length;
    ok = ok && ::ftruncate(fd, layout.size) == 0;
    return fd >= 0 && ::close(fd) == 0 && ok;
}

void verifyContent(const QString &path, const Layout &layout)
{
    QCOMPARE(statOf(path).st_size, off_t(layout.size));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    for (int i = 0; i < layout.offsets.size(); ++i) {
        QVERIFY(file.seek(layout.offsets.at(i)));
        QCOMPARE(file.read(layout.length), layout.extent(i));
    }
    for (qint64 at : layout.probes()) {
        QVERIFY(file.seek(at));
        QCOMPARE(file.read(1), QByteArray(1, layout.expectedAt(at)));
    }
}

// A copy that wrote the holes out would hold gigabytes; a little slack is
// left for file systems that allocate a few blocks more than the data.
void verifyStillSparse(const QString &copy, qint64 originalAllocation)
{
    const qint64 ceiling = originalAllocation + 1024 * KiB;
    QVERIFY2(allocated(copy) <= ceiling, qPrintable(u"%1 bytes allocated"_qs.arg(allocated(copy))));
}

struct WriterDeleter {
    void operator()(archive *a) const { archive_write_free(a); }
};
struct EntryDeleter {
    void operator()(archive_entry *e) const { archive_entry_free(e); }
};

// The pax writer takes the whole apparent content and stores only the data
// its sparse map names.
bool writeSparseTar(const QString &tarPath, const QByteArray &name, const Layout &layout)
{
    std::unique_ptr<archive, WriterDeleter> a(archive_write_new());
    std::unique_ptr<archive_entry, EntryDeleter> entry(archive_entry_new());
    archive_entry_copy_pathname(entry.get(), name.constData());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), layout.size);
    for (qint64 offset : layout.offsets)
        archive_entry_sparse_add_entry(entry.get(), offset, layout.length);
    if (archive_write_set_format_pax(a.get()) != ARCHIVE_OK
        || archive_write_open_filename(a.get(), QFile::encodeName(tarPath).constData()) != ARCHIVE_OK
        || archive_write_header(a.get(), entry.get()) != ARCHIVE_OK)
        return false;
    const QByteArray zeros(16 << 20, '\0');
    for (qint64 at = 0; at < layout.size;) {
        const char letter = layout.expectedAt(at);
        const QByteArray &chunk = letter ? layout.extent(letter - 'a') : zeros;
        const qint64 wanted = letter ? layout.length : qMin<qint64>(zeros.size(), layout.nextDataAt(at) - at);
        if (archive_write_data(a.get(), chunk.constData(), size_t(wanted)) != wanted)
            return false;
        at += wanted;
    }
    return archive_write_close(a.get()) == ARCHIVE_OK;
}

} // namespace

Q_DECLARE_METATYPE(Layout)

// Sparse files keep their holes on their way to another file system.
class TestSparseCopy : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }

    void copyKeepsTheHoles_data()
    {
        QTest::addColumn<Layout>("layout");
        QTest::newRow("data at start, middle and end") << Layout{2 * GiB, {0, GiB, 2 * GiB - 64 * KiB}, 64 * KiB};
        QTest::newRow("hole at the end") << Layout{2 * GiB, {0, GiB}, 64 * KiB};
        QTest::newRow("a few unaligned bytes between holes") << Layout{2 * GiB, {GiB + 100}, 3};
        QTest::newRow("nothing but a hole") << Layout{2 * GiB, {}, 0};
    }

    void copyKeepsTheHoles()
    {
        QFETCH(Layout, layout);
        QTemporaryDir dir;
        const QString source = dir.filePath(u"sparse.img"_qs);
        QVERIFY(makeSparse(source, layout));
        if (allocated(source) > 16 * 1024 * KiB)
            QSKIP("the temporary folder's file system keeps no holes");
        OtherFileSystem other(dir.path());
        if (!other.isValid())
            QSKIP(qPrintable(other.whyNot()));
        QVERIFY(statOf(other.path()).st_dev != statOf(dir.path()).st_dev);

        const QString copy = other.filePath(u"sparse.img"_qs);
        QVERIFY(TreeCopy::copy(source, copy));
        verifyStillSparse(copy, allocated(source));
        verifyContent(copy, layout);
        QCOMPARE(statOf(copy).st_mode & 07777, mode_t(0644));
    }

    void extractedSparseEntryStaysSparseWhenMoved()
    {
        const Layout layout{2 * GiB, {0, GiB}, 64 * KiB};
        QTemporaryDir dir;
        const QString tar = dir.filePath(u"disk.tar"_qs);
        QVERIFY(writeSparseTar(tar, "disk.img", layout));
        QVERIFY(QFileInfo(tar).size() < 1024 * KiB);
        OtherFileSystem other(dir.path());
        if (!other.isValid())
            QSKIP(qPrintable(other.whyNot()));

        QVERIFY(QDir().mkpath(dir.filePath(u"stage"_qs)));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(tar, dir.filePath(u"stage"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(QFileInfo(result.created).fileName(), u"disk.img"_qs);
        QVERIFY(allocated(result.created) < 16 * 1024 * KiB);

        const qint64 extractedAllocation = allocated(result.created);
        const QString moved = other.filePath(u"disk.img"_qs);
        QVERIFY(XADPlatform::moveItemAtPath(result.created, moved));
        QVERIFY(!QFileInfo::exists(result.created));
        verifyStillSparse(moved, extractedAllocation);
        verifyContent(moved, layout);
    }
};

QTEST_GUILESS_MAIN(TestSparseCopy)
#include "test_sparse_copy.moc"
