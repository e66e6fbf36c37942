#include "EngineHarness.h"
#include "TestEnvironment.h"
#include "platform/engine/ArchiveNaming.h"
#include "platform/files/EntryPath.h"
#include "platform/files/UniqueName.h"
#include "platform/engine/formats/VolumeSet.h"
#include "platform/files/XADPlatform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct stat statOf(const QString &path)
{
    struct stat st = {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

bool setTimes(const QString &path, time_t seconds)
{
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool makeLink(const QString &target, const QString &link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

// A temporary folder on a file system other than the one of `other`.
std::unique_ptr<QTemporaryDir> folderOnAnotherFileSystem(const QString &other)
{
    for (const char *candidate : {"/dev/shm", "/run/user"}) {
        const QString base = QString::fromLatin1(candidate);
        if (!QFileInfo(base).isWritable() || statOf(base).st_dev == statOf(other).st_dev)
            continue;
        auto dir = std::make_unique<QTemporaryDir>(base + u"/quillbox-test-XXXXXX"_qs);
        if (dir->isValid())
            return dir;
    }
    return nullptr;
}

// A tree with everything a move must keep.
void makeSampleTree(const QString &root)
{
    QVERIFY(writeFile(root + u"/docs/readme.txt"_qs, "read me"));
    QVERIFY(writeFile(root + u"/docs/tool.sh"_qs, "#!/bin/sh\n"));
    QVERIFY(QFile::setPermissions(root + u"/docs/tool.sh"_qs,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                      | QFile::ExeGroup));
    QVERIFY(makeLink(u"readme.txt"_qs, root + u"/docs/link"_qs));
    QVERIFY(makeLink(u"/nowhere/at/all"_qs, root + u"/dangling"_qs));
    QCOMPARE(::link(QFile::encodeName(root + u"/docs/readme.txt"_qs).constData(),
                    QFile::encodeName(root + u"/hard.txt"_qs).constData()), 0);
    QVERIFY(QDir().mkpath(root + u"/locked/inner"_qs));
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
    QVERIFY(S_ISLNK(statOf(root + u"/docs/link"_qs).st_mode));
    QCOMPARE(QFile::symLinkTarget(root + u"/docs/link"_qs), root + u"/docs/readme.txt"_qs);
    QVERIFY(S_ISLNK(statOf(root + u"/dangling"_qs).st_mode));
    QCOMPARE(statOf(root + u"/hard.txt"_qs).st_ino, statOf(root + u"/docs/readme.txt"_qs).st_ino);
    QCOMPARE(readAll(root + u"/locked/inner/deep.txt"_qs), QByteArray("deep"));
    QCOMPARE(statOf(root + u"/docs/readme.txt"_qs).st_mtim.tv_sec, time_t(1600000000));
    QCOMPARE(statOf(root + u"/docs/link"_qs).st_mtim.tv_sec, time_t(1500000000));
    QCOMPARE(statOf(root + u"/locked/inner"_qs).st_mtim.tv_sec, time_t(1400000000));
    QCOMPARE(statOf(root + u"/locked"_qs).st_mode & 07777, mode_t(0555));
}

} // namespace

// Moves that never replace anything, on one file system or across two, and
// removals that never follow a link.
class TestXADPlatform : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }

    void movesWithinOneFileSystem()
    {
        QTemporaryDir dir;
        makeSampleTree(dir.filePath(u"tree"_qs));
        QVERIFY(XADPlatform::moveItemAtPath(dir.filePath(u"tree"_qs), dir.filePath(u"moved"_qs)));
        QVERIFY(!QFileInfo::exists(dir.filePath(u"tree"_qs)));
        verifySampleTree(dir.filePath(u"moved"_qs));
        QVERIFY(XADPlatform::moveItemAtPath(dir.filePath(u"moved/dangling"_qs), dir.filePath(u"link"_qs)));
        QVERIFY(S_ISLNK(statOf(dir.filePath(u"link"_qs)).st_mode));
        XADPlatform::removeItemAtPath(dir.filePath(u"moved"_qs));
    }

    void neverReplacesAnything_data()
    {
        QTest::addColumn<bool>("acrossFileSystems");
        QTest::newRow("same file system") << false;
        QTest::newRow("across file systems") << true;
    }

    void neverReplacesAnything()
    {
        QFETCH(bool, acrossFileSystems);
        QTemporaryDir dir;
        std::unique_ptr<QTemporaryDir> other;
        QString targets = dir.path();
        if (acrossFileSystems) {
            other = folderOnAnotherFileSystem(dir.path());
            if (!other)
                QSKIP("no second file system to move to");
            targets = other->path();
        }
        QVERIFY(writeFile(dir.filePath(u"from.txt"_qs), "mine"));
        QVERIFY(QDir().mkpath(dir.filePath(u"fromdir/x"_qs)));
        QVERIFY(writeFile(targets + u"/file"_qs, "theirs"));
        QVERIFY(QDir().mkpath(targets + u"/emptydir"_qs));
        QVERIFY(makeLink(u"/nowhere"_qs, targets + u"/dangling"_qs));
        for (const QString &from : {dir.filePath(u"from.txt"_qs), dir.filePath(u"fromdir"_qs)}) {
            for (const char *to : {"file", "emptydir", "dangling"})
                QVERIFY2(!XADPlatform::moveItemAtPath(from, targets + u'/' + QString::fromLatin1(to)),
                         qPrintable(from + u" onto "_qs + QString::fromLatin1(to)));
        }
        QCOMPARE(readAll(dir.filePath(u"from.txt"_qs)), QByteArray("mine"));
        QVERIFY(QFileInfo(dir.filePath(u"fromdir/x"_qs)).isDir());
        QCOMPARE(readAll(targets + u"/file"_qs), QByteArray("theirs"));
        QVERIFY(QDir(targets + u"/emptydir"_qs).isEmpty());
        QVERIFY(S_ISLNK(statOf(targets + u"/dangling"_qs).st_mode));
    }

    void movesAcrossFileSystemsKeepEverything()
    {
        QTemporaryDir dir;
        auto other = folderOnAnotherFileSystem(dir.path());
        if (!other)
            QSKIP("no second file system to move to");
        makeSampleTree(dir.filePath(u"tree"_qs));
        const QString target = other->filePath(u"tree"_qs);
        QVERIFY(XADPlatform::moveItemAtPath(dir.filePath(u"tree"_qs), target));
        QVERIFY(!QFileInfo::exists(dir.filePath(u"tree"_qs)));
        verifySampleTree(target);
        QVERIFY(writeFile(dir.filePath(u"single.txt"_qs), "one"));
        QCOMPARE(::chmod(QFile::encodeName(dir.filePath(u"single.txt"_qs)).constData(), 0604), 0);
        QVERIFY(setTimes(dir.filePath(u"single.txt"_qs), 1234567890));
        QVERIFY(XADPlatform::moveItemAtPath(dir.filePath(u"single.txt"_qs), other->filePath(u"single.txt"_qs)));
        QCOMPARE(readAll(other->filePath(u"single.txt"_qs)), QByteArray("one"));
        QCOMPARE(statOf(other->filePath(u"single.txt"_qs)).st_mode & 07777, mode_t(0604));
        QCOMPARE(statOf(other->filePath(u"single.txt"_qs)).st_mtim.tv_sec, time_t(1234567890));
        QVERIFY(XADPlatform::removeItemAtPath(target));
    }

    void aFailedCopyLeavesTheSourceAndNoHalfCopy()
    {
        QTemporaryDir dir;
        auto other = folderOnAnotherFileSystem(dir.path());
        if (!other)
            QSKIP("no second file system to move to");
        QVERIFY(writeFile(dir.filePath(u"tree/a.txt"_qs), "a"));
        QVERIFY(writeFile(dir.filePath(u"tree/unreadable.txt"_qs), "b"));
        QCOMPARE(::chmod(QFile::encodeName(dir.filePath(u"tree/unreadable.txt"_qs)).constData(), 0), 0);
        if (::access(QFile::encodeName(dir.filePath(u"tree/unreadable.txt"_qs)).constData(), R_OK) == 0)
            QSKIP("running with rights that read anything");
        QVERIFY(!XADPlatform::moveItemAtPath(dir.filePath(u"tree"_qs), other->filePath(u"tree"_qs)));
        QVERIFY(!QFileInfo::exists(other->filePath(u"tree"_qs)));
        QCOMPARE(readAll(dir.filePath(u"tree/a.txt"_qs)), QByteArray("a"));
        QVERIFY(XADPlatform::removeItemAtPath(dir.filePath(u"tree"_qs)));
    }

    void removalNeverFollowsLinks()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"keep/precious.txt"_qs), "keep"));
        makeSampleTree(dir.filePath(u"tree"_qs));
        QVERIFY(makeLink(dir.filePath(u"keep"_qs), dir.filePath(u"tree/to-keep"_qs)));
        QVERIFY(makeLink(dir.filePath(u"keep/precious.txt"_qs), dir.filePath(u"tree/docs/to-file"_qs)));
        QVERIFY(XADPlatform::removeItemAtPath(dir.filePath(u"tree"_qs)));
        QVERIFY(!QFileInfo::exists(dir.filePath(u"tree"_qs)));
        QCOMPARE(readAll(dir.filePath(u"keep/precious.txt"_qs)), QByteArray("keep"));

        // A link given itself is removed as a link.
        QVERIFY(makeLink(dir.filePath(u"keep"_qs), dir.filePath(u"alias"_qs)));
        QVERIFY(XADPlatform::removeItemAtPath(dir.filePath(u"alias"_qs)));
        QVERIFY(!S_ISLNK(statOf(dir.filePath(u"alias"_qs)).st_mode));
        QCOMPARE(readAll(dir.filePath(u"keep/precious.txt"_qs)), QByteArray("keep"));
        QVERIFY(makeLink(dir.filePath(u"keep"_qs), dir.filePath(u"alias"_qs)));
        QVERIFY(XADPlatform::removeItemAtPath(dir.filePath(u"alias/"_qs)));
        QCOMPARE(readAll(dir.filePath(u"keep/precious.txt"_qs)), QByteArray("keep"));

        QVERIFY(XADPlatform::removeItemAtPath(dir.filePath(u"keep/precious.txt"_qs)));
        QVERIFY(XADPlatform::removeItemAtPath(dir.filePath(u"nothing-here"_qs)));
        QVERIFY(!XADPlatform::removeItemAtPath(QString()));
    }

    void archiveNames()
    {
        QCOMPARE(ArchiveNaming::enclosingName(u"/a/photos.tar.gz"_qs), u"photos"_qs);
        QCOMPARE(ArchiveNaming::enclosingName(u"/a/x.part1.rar"_qs), u"x"_qs);
        QCOMPARE(ArchiveNaming::enclosingName(u"/a/x.part01.rar"_qs), u"x"_qs);
        QCOMPARE(ArchiveNaming::enclosingName(u"/a/notes.v2.zip"_qs), u"notes.v2"_qs);
        QCOMPARE(ArchiveNaming::enclosingName(u"/a/Backup.7z.001"_qs), u"Backup"_qs);
        QCOMPARE(ArchiveNaming::enclosingName(u"/a/setup.EXE"_qs), u"setup"_qs);
        QCOMPARE(ArchiveNaming::enclosingName(u"/a/.tar.gz"_qs), u".tar"_qs);
        QCOMPARE(ArchiveNaming::enclosingName(u"/a/README"_qs), u"README"_qs);
        QCOMPARE(ArchiveNaming::rawEntryName(u"/a/notes.txt.gz"_qs), u"notes.txt"_qs);
        QCOMPARE(ArchiveNaming::rawEntryName(u"/a/data.json.zst"_qs), u"data.json"_qs);
        QCOMPARE(ArchiveNaming::rawEntryName(u"/a/dump.Z"_qs), u"dump"_qs);
        QCOMPARE(ArchiveNaming::rawEntryName(u"/a/blob"_qs), u"blob"_qs);
    }

    void volumeSets()
    {
        QTemporaryDir dir;
        const auto make = [&](const char *name) { return writeFile(dir.filePath(QString::fromLatin1(name)), "v"); };
        for (const char *name : {"a.part1.rar", "a.part2.rar", "a.part3.rar", "a.part5.rar", "b.part01.rar",
                                 "b.part02.rar", "c.rar", "c.r00", "c.r01", "d.zip.001", "d.zip.002", "e.rar",
                                 "f.part2.rar", "f.part3.rar"})
            QVERIFY(make(name));
        const auto names = [&](const char *first) {
            QStringList found;
            const VolumeSet set = VolumeSet::forArchive(dir.filePath(QString::fromLatin1(first)));
            for (const QString &path : set.paths())
                found.append(QFileInfo(path).fileName());
            return found;
        };
        QCOMPARE(names("a.part1.rar"), (QStringList{u"a.part1.rar"_qs, u"a.part2.rar"_qs, u"a.part3.rar"_qs}));
        QCOMPARE(names("b.part01.rar"), (QStringList{u"b.part01.rar"_qs, u"b.part02.rar"_qs}));
        QCOMPARE(names("c.rar"), (QStringList{u"c.rar"_qs, u"c.r00"_qs, u"c.r01"_qs}));
        QCOMPARE(names("d.zip.001"), (QStringList{u"d.zip.001"_qs, u"d.zip.002"_qs}));
        QCOMPARE(names("e.rar"), QStringList{u"e.rar"_qs});
        // A later part on its own is read on its own.
        QCOMPARE(names("f.part2.rar"), QStringList{u"f.part2.rar"_qs});
        const VolumeSet set = VolumeSet::forArchive(dir.filePath(u"a.part1.rar"_qs));
        QCOMPARE(set.totalSize(), qint64(3));
        QCOMPARE(set.offsetOf(2), qint64(2));
    }

    void entryPathVerdicts()
    {
        const QString root = u"/stage/root"_qs;
        QStringList parts;
        QCOMPARE(EntryPath::parse(u"a/./b//c.txt"_qs, root, &parts), EntryPath::Fine);
        QCOMPARE(parts, (QStringList{u"a"_qs, u"b"_qs, u"c.txt"_qs}));
        QCOMPARE(EntryPath::parse(u"./"_qs, root, &parts), EntryPath::Empty);
        QCOMPARE(EntryPath::parse(QString(), root, &parts), EntryPath::Empty);
        QCOMPARE(EntryPath::parse(u"/etc/passwd"_qs, root, &parts), EntryPath::Unsafe);
        QCOMPARE(EntryPath::parse(u"../x"_qs, root, &parts), EntryPath::Unsafe);
        QCOMPARE(EntryPath::parse(u"a/../b"_qs, root, &parts), EntryPath::Unsafe);
        QCOMPARE(EntryPath::parse(u"a/..."_qs, root, &parts), EntryPath::Fine);
        QCOMPARE(EntryPath::parse(u"..a/b.."_qs, root, &parts), EntryPath::Fine);
        QCOMPARE(EntryPath::parse(QString(256, u'n'), root, &parts), EntryPath::TooLong);
        // Bytes count, not characters: 128 of these are 256 bytes.
        QCOMPARE(EntryPath::parse(QString(128, u'é'), root, &parts), EntryPath::TooLong);
        QCOMPARE(EntryPath::parse(QString(127, u'é'), root, &parts), EntryPath::Fine);
    }

    void uniqueNameVariants()
    {
        QCOMPARE(UniqueName::variant(u"report.pdf"_qs, 2, false), u"report 2.pdf"_qs);
        QCOMPARE(UniqueName::variant(u"a.tar.gz"_qs, 3, false), u"a 3.tar.gz"_qs);
        QCOMPARE(UniqueName::variant(u"a.TAR.xz"_qs, 2, false), u"a 2.TAR.xz"_qs);
        QCOMPARE(UniqueName::variant(u"photos"_qs, 2, true), u"photos 2"_qs);
        QCOMPARE(UniqueName::variant(u"v1.2"_qs, 2, true), u"v1.2 2"_qs);
        QCOMPARE(UniqueName::variant(u"Makefile"_qs, 2, false), u"Makefile 2"_qs);
        QCOMPARE(UniqueName::variant(u".profile"_qs, 2, false), u".profile 2"_qs);
        QCOMPARE(UniqueName::variant(u"Chapter 1. The start"_qs, 2, false), u"Chapter 1. The start 2"_qs);
        QCOMPARE(UniqueName::variant(u"x.tar"_qs, 2, false), u"x 2.tar"_qs);
    }
};

QTEST_GUILESS_MAIN(TestXADPlatform)
#include "test_xad_platform.moc"
