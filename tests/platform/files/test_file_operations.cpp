#include "EngineHarness.h"
#include "OtherFileSystem.h"
#include "platform/files/EntryPath.h"
#include "platform/files/PathComponents.h"
#include "platform/files/TreeCopy.h"
#include "platform/files/XADPlatform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 GiB = qint64(1) << 30;
constexpr qint64 KiB = 1024;

qint64 allocated(const QString &path) { return qint64(statOf(path).st_blocks) * 512; }

bool setTimes(const QString &path, time_t seconds)
{
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

// A tree with everything a move must keep.
void makeSampleTree(const QString &root)
{
    QVERIFY(writeFile(root + u"/docs/readme.txt"_qs, "read me"));
    QVERIFY(writeFile(root + u"/docs/tool.sh"_qs, "#!/bin/sh\n"));
    QCOMPARE(::chmod(QFile::encodeName(root + u"/docs/tool.sh"_qs).constData(), 0750), 0);
    QVERIFY(QFile::link(u"readme.txt"_qs, root + u"/docs/link"_qs));
    QVERIFY(QFile::link(u"/nowhere/at/all"_qs, root + u"/dangling"_qs));
    QCOMPARE(::link(QFile::encodeName(root + u"/docs/readme.txt"_qs).constData(),
                    QFile::encodeName(root + u"/hard.txt"_qs).constData()), 0);
    QVERIFY(writeFile(root + u"/locked/inner/deep.txt"_qs, "deep"));
    QVERIFY(setTimes(root + u"/docs/readme.txt"_qs, 1600000000));
    QVERIFY(setTimes(root + u"/docs/link"_qs, 1500000000));
    QVERIFY(setTimes(root + u"/locked/inner"_qs, 1400000000));
    QCOMPARE(::chmod(QFile::encodeName(root + u"/locked"_qs).constData(), 0555), 0);
}

void verifySampleTree(const QString &root)
{
    QCOMPARE(readAll(root + u"/docs/readme.txt"_qs), QByteArray("read me"));
    QCOMPARE(statOf(root + u"/docs/tool.sh"_qs).st_mode & 07777, mode_t(0750));
    QCOMPARE(QFile::symLinkTarget(root + u"/docs/link"_qs), root + u"/docs/readme.txt"_qs);
    QVERIFY(S_ISLNK(statOf(root + u"/dangling"_qs).st_mode));
    QCOMPARE(statOf(root + u"/hard.txt"_qs).st_ino, statOf(root + u"/docs/readme.txt"_qs).st_ino);
    QCOMPARE(readAll(root + u"/locked/inner/deep.txt"_qs), QByteArray("deep"));
    QCOMPARE(statOf(root + u"/docs/readme.txt"_qs).st_mtim.tv_sec, time_t(1600000000));
    QCOMPARE(statOf(root + u"/docs/link"_qs).st_mtim.tv_sec, time_t(1500000000));
    QCOMPARE(statOf(root + u"/locked/inner"_qs).st_mtim.tv_sec, time_t(1400000000));
    QCOMPARE(statOf(root + u"/locked"_qs).st_mode & 07777, mode_t(0555));
}

// `length` bytes of its own letter at each offset, holes everywhere else.
struct Layout {
    qint64 size = 0;
    QList<qint64> offsets;
    int length = 0;
};

bool makeSparse(const QString &path, const Layout &layout)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    for (int i = 0; ok && i < layout.offsets.size(); ++i)
        ok = ::pwrite(fd, QByteArray(layout.length, char('a' + i)).constData(), size_t(layout.length),
                      layout.offsets.at(i)) == layout.length;
    ok = ok && ::ftruncate(fd, layout.size) == 0;
    return fd >= 0 && ::close(fd) == 0 && ok;
}

} // namespace

Q_DECLARE_METATYPE(Layout)

// Moves that never replace anything, on one file system or across two, with
// sparse files kept sparse; removals that never follow a link; entry paths
// that stay inside the folder they are written to.
class TestFileOperations : public QObject {
    Q_OBJECT


private Q_SLOTS:
    // On one file system and across two; only a copy tells its progress,
    // from nothing done to all of it.
    void movesKeepEverything()
    {
        for (const bool acrossFileSystems : {false, true}) {
            QTemporaryDir dir;
            OtherFileSystem other(dir.path());
            if (acrossFileSystems && !other.isValid())
                QSKIP(qPrintable(other.whyNot()));
            const QString targets = acrossFileSystems ? other.path() : dir.filePath(u"targets"_qs);
            QVERIFY(QDir().mkpath(targets));
            makeSampleTree(dir.filePath(u"tree"_qs));
            QList<std::pair<qint64, qint64>> reports;
            const auto progress = [&](qint64 done, qint64 total) { return reports.append({done, total}), true; };
            QVERIFY(XADPlatform::moveItemAtPath(dir.filePath(u"tree"_qs), targets + u"/tree"_qs, progress));
            QVERIFY(!QFileInfo::exists(dir.filePath(u"tree"_qs)));
            verifySampleTree(targets + u"/tree"_qs);
            QCOMPARE(reports.isEmpty(), !acrossFileSystems);
            for (qsizetype i = 1; i < reports.size(); ++i)
                QVERIFY(reports.at(i).first >= reports.at(i - 1).first && reports.at(i).second == reports.first().second);
            if (acrossFileSystems)
                QVERIFY(reports.first().first == 0 && reports.last().first == reports.last().second);
            // A file or a link on its own moves just as well.
            QVERIFY(writeFile(dir.filePath(u"single.txt"_qs), "one"));
            QVERIFY(XADPlatform::moveItemAtPath(dir.filePath(u"single.txt"_qs), targets + u"/single.txt"_qs));
            QCOMPARE(readAll(targets + u"/single.txt"_qs), QByteArray("one"));
            QVERIFY(XADPlatform::moveItemAtPath(targets + u"/tree/dangling"_qs, targets + u"/link"_qs));
            QVERIFY(S_ISLNK(statOf(targets + u"/link"_qs).st_mode));
            QVERIFY(XADPlatform::removeItemAtPath(targets + u"/tree"_qs));
        }
    }

    void neverReplacesAnything()
    {
        for (const bool acrossFileSystems : {false, true}) {
            QTemporaryDir dir;
            OtherFileSystem other(dir.path());
            if (acrossFileSystems && !other.isValid())
                QSKIP(qPrintable(other.whyNot()));
            const QString targets = acrossFileSystems ? other.path() : dir.path();
            QVERIFY(writeFile(dir.filePath(u"from.txt"_qs), "mine"));
            QVERIFY(QDir().mkpath(dir.filePath(u"fromdir/x"_qs)));
            QVERIFY(writeFile(targets + u"/file"_qs, "theirs"));
            QVERIFY(QDir().mkpath(targets + u"/emptydir"_qs));
            QVERIFY(QFile::link(u"/nowhere"_qs, targets + u"/dangling"_qs));
            for (const QString &from : {dir.filePath(u"from.txt"_qs), dir.filePath(u"fromdir"_qs)}) {
                for (const QString &to : {u"file"_qs, u"emptydir"_qs, u"dangling"_qs})
                    QVERIFY2(!XADPlatform::moveItemAtPath(from, targets + u'/' + to), qPrintable(from + u" onto "_qs + to));
            }
            QCOMPARE(readAll(dir.filePath(u"from.txt"_qs)), QByteArray("mine"));
            QVERIFY(QFileInfo(dir.filePath(u"fromdir/x"_qs)).isDir());
            QCOMPARE(readAll(targets + u"/file"_qs), QByteArray("theirs"));
            QVERIFY(QDir(targets + u"/emptydir"_qs).isEmpty());
            QVERIFY(S_ISLNK(statOf(targets + u"/dangling"_qs).st_mode));
        }
    }

    void aFailedCopyLeavesTheSourceAndNoHalfCopy_data()
    {
        QTest::addColumn<bool>("stopped");
        QTest::newRow("a file it cannot read") << false;
        QTest::newRow("stopped once data was copied") << true;
    }

    void aFailedCopyLeavesTheSourceAndNoHalfCopy()
    {
        QFETCH(bool, stopped);
        QTemporaryDir dir;
        OtherFileSystem other(dir.path());
        if (!other.isValid())
            QSKIP(qPrintable(other.whyNot()));
        QVERIFY(writeFile(dir.filePath(u"tree/a.txt"_qs), "a"));
        QVERIFY(writeFile(dir.filePath(u"tree/b.txt"_qs), QByteArray(64 * KiB, 'b')));
        TreeCopy::Progress progress;
        if (stopped) {
            progress = [](qint64 done, qint64) { return done == 0; };
        } else {
            QCOMPARE(::chmod(QFile::encodeName(dir.filePath(u"tree/b.txt"_qs)).constData(), 0), 0);
            if (::access(QFile::encodeName(dir.filePath(u"tree/b.txt"_qs)).constData(), R_OK) == 0)
                QSKIP("running with rights that read anything");
        }
        QVERIFY(!XADPlatform::moveItemAtPath(dir.filePath(u"tree"_qs), other.filePath(u"tree"_qs), progress));
        QVERIFY(!QFileInfo::exists(other.filePath(u"tree"_qs)));
        QCOMPARE(readAll(dir.filePath(u"tree/a.txt"_qs)), QByteArray("a"));
        QVERIFY(XADPlatform::removeItemAtPath(dir.filePath(u"tree"_qs)));
    }

    void removalNeverFollowsLinks()
    {
        QTemporaryDir dir;
        const QString precious = dir.filePath(u"keep/precious.txt"_qs);
        QVERIFY(writeFile(precious, "keep"));
        makeSampleTree(dir.filePath(u"tree"_qs));
        QVERIFY(QFile::link(dir.filePath(u"keep"_qs), dir.filePath(u"tree/to-keep"_qs)));
        QVERIFY(QFile::link(precious, dir.filePath(u"tree/docs/to-file"_qs)));
        QVERIFY(XADPlatform::removeItemAtPath(dir.filePath(u"tree"_qs)));
        QVERIFY(!QFileInfo::exists(dir.filePath(u"tree"_qs)));
        // A link given itself, with or without a trailing slash, is removed as a link.
        for (const QString &alias : {u"alias"_qs, u"alias/"_qs}) {
            QVERIFY(QFile::link(dir.filePath(u"keep"_qs), dir.filePath(u"alias"_qs)));
            QVERIFY(XADPlatform::removeItemAtPath(dir.filePath(alias)));
            if (!alias.endsWith(u'/'))
                QVERIFY(!S_ISLNK(statOf(dir.filePath(u"alias"_qs)).st_mode));
            QFile::remove(dir.filePath(u"alias"_qs));
        }
        QCOMPARE(readAll(precious), QByteArray("keep"));
        QVERIFY(XADPlatform::removeItemAtPath(dir.filePath(u"nothing-here"_qs)));
        QVERIFY(!XADPlatform::removeItemAtPath(QString()));
    }

    // Containment goes by components, and names are limited in bytes, not characters.
    void entryPathVerdicts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("verdict");
        QTest::newRow("dots and doubled slashes") << u"a/./b//c.txt"_qs << int(EntryPath::Fine);
        QTest::newRow("only a dot") << u"./"_qs << int(EntryPath::Empty);
        QTest::newRow("absolute") << u"/etc/passwd"_qs << int(EntryPath::Unsafe);
        QTest::newRow("dot-dot inside") << u"a/../b"_qs << int(EntryPath::Unsafe);
        QTest::newRow("256 bytes") << QString(256, u'n') << int(EntryPath::TooLong);
        QTest::newRow("128 two-byte characters") << QString(128, u'é') << int(EntryPath::TooLong);
        QTest::newRow("127 two-byte characters") << QString(127, u'é') << int(EntryPath::Fine);
    }

    void entryPathVerdicts()
    {
        QFETCH(QString, name);
        QFETCH(int, verdict);
        QStringList parts;
        QCOMPARE(int(EntryPath::parse(name, u"/stage/root"_qs, &parts)), verdict);
        if (name.startsWith(u"a/./"_qs))
            QCOMPARE(parts, (QStringList{u"a"_qs, u"b"_qs, u"c.txt"_qs}));
    }

    void containmentGoesByComponents_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("inside");
        QTest::newRow("itself") << u"/a/b"_qs << u"/a/b"_qs << true;
        QTest::newRow("child") << u"/a/b/x"_qs << u"/a/b"_qs << true;
        QTest::newRow("sibling prefix") << u"/a/bc"_qs << u"/a/b"_qs << false;
        QTest::newRow("root") << u"/"_qs << u"/a"_qs << false;
        QTest::newRow("dot-dot escape") << u"/a/b/../c"_qs << u"/a/b"_qs << false;
        QTest::newRow("relative escape") << u"x/../../c"_qs << u"/a/b"_qs << false;
        QTest::newRow("trailing slash") << u"/a/b/x"_qs << u"/a/b/"_qs << true;
        QTest::newRow("root") << u"/anything"_qs << u"/"_qs << true;
    }

    void containmentGoesByComponents()
    {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(bool, inside);
        QCOMPARE(pathIsInsideFolder(path, folder), inside);
    }

    void copyKeepsTheHoles_data()
    {
        QTest::addColumn<Layout>("layout");
        QTest::newRow("data at start, middle and end") << Layout{2 * GiB, {0, GiB, 2 * GiB - 64 * KiB}, 64 * KiB};
        QTest::newRow("a few unaligned bytes between holes") << Layout{2 * GiB, {GiB + 100}, 3};
        QTest::newRow("nothing but a hole") << Layout{2 * GiB, {}, 0};
    }

    void copyKeepsTheHoles()
    {
        QFETCH(Layout, layout);
        QTemporaryDir dir;
        QVERIFY(makeSparse(dir.filePath(u"sparse.img"_qs), layout));
        if (allocated(dir.filePath(u"sparse.img"_qs)) > 16 * 1024 * KiB)
            QSKIP("the temporary folder's file system keeps no holes");
        OtherFileSystem other(dir.path());
        if (!other.isValid())
            QSKIP(qPrintable(other.whyNot()));
        QVERIFY(statOf(other.path()).st_dev != statOf(dir.path()).st_dev);
        QVERIFY(TreeCopy::copy(dir.filePath(u"sparse.img"_qs), other.filePath(u"sparse.img"_qs)));
        // Holes not written out; a little slack for file systems that allocate a few blocks more.
        QVERIFY(allocated(other.filePath(u"sparse.img"_qs)) <= allocated(dir.filePath(u"sparse.img"_qs)) + 1024 * KiB);
        QVERIFY(listTree(other.path()).value("sparse.img") == listTree(dir.path()).value("sparse.img"));
        QCOMPARE(statOf(other.filePath(u"sparse.img"_qs)).st_mode & 07777, mode_t(0644));
    }

    // A corpus archive's 99 MB file of mostly holes.
    void extractedSparseEntryStaysSparseWhenMoved()
    {
        QTemporaryDir dir;
        OtherFileSystem other(dir.path());
        if (!other.isValid())
            QSKIP(qPrintable(other.whyNot()));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(
            TestEnvironment::corpusPath(u"test_read_format_gtar_sparse_1_17_posix10.tar"_qs), dir.filePath(u"stage"_qs),
            &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(QFileInfo(result.created + u"/sparse2"_qs).size(), 99000001);
        const qint64 extractedAllocation = allocated(result.created + u"/sparse2"_qs);
        QVERIFY(extractedAllocation < 16 * 1024 * KiB);
        const Tree extracted = listTree(result.created);
        QVERIFY(XADPlatform::moveItemAtPath(result.created, other.filePath(u"moved"_qs)));
        QVERIFY(!QFileInfo::exists(result.created));
        QVERIFY(allocated(other.filePath(u"moved/sparse2"_qs)) <= extractedAllocation + 1024 * KiB);
        QVERIFY(listTree(other.filePath(u"moved"_qs)) == extracted);
    }
};

QTEST_GUILESS_MAIN(TestFileOperations)
#include "test_file_operations.moc"
