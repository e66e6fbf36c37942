#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "TestEnvironment.h"
#include "platform/files/ProcessUmask.h"
#include "platform/errors/XADException.h"
#include "platform/unarchiver/XADSimpleUnarchiver.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>
#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <thread>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Entries ArchiveMaker cannot make: special files, odd modes and owners.
struct RawEntry {
    QByteArray path;
    mode_t type = AE_IFREG;
    int mode = 0644;
    QByteArray data;
    QByteArray link;
};

bool writeArchive(const QString &path, const QList<RawEntry> &entries, const char *format = "pax")
{
    archive *a = archive_write_new();
    archive_write_set_format_by_name(a, format);
    bool ok = archive_write_open_filename(a, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    for (const RawEntry &wanted : entries) {
        archive_entry *entry = archive_entry_new();
        archive_entry_copy_pathname(entry, wanted.path.constData());
        archive_entry_set_filetype(entry, wanted.type);
        archive_entry_set_perm(entry, wanted.mode);
        archive_entry_set_uid(entry, 0);
        archive_entry_set_gid(entry, 0);
        archive_entry_set_mtime(entry, 1700000000, 0);
        if (wanted.type == AE_IFCHR || wanted.type == AE_IFBLK)
            archive_entry_set_rdev(entry, makedev(1, 3));
        if (wanted.type == AE_IFLNK)
            archive_entry_copy_symlink(entry, wanted.link.constData());
        archive_entry_set_size(entry, wanted.type == AE_IFREG ? wanted.data.size() : 0);
        ok = ok && archive_write_header(a, entry) >= ARCHIVE_WARN;
        if (ok && !wanted.data.isEmpty())
            ok = archive_write_data(a, wanted.data.constData(), size_t(wanted.data.size())) == wanted.data.size();
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

QStringList everythingUnder(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    return found;
}

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

struct stat statOf(const QString &path)
{
    struct stat st = {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

} // namespace

// Nothing is ever written outside the destination; special files, set-id
// bits and owners never survive; a cancel ends a run promptly and cleanly.
class TestEngineSafety : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }

    void dotDotAndAbsolutePathsAreRefused()
    {
        QTemporaryDir root;
        const QString destination = root.filePath(u"a/b/out"_qs);
        const QString archive = root.filePath(u"mixed.tar"_qs);
        const QByteArray absolute = QFile::encodeName(root.filePath(u"evil3.txt"_qs));
        QVERIFY(ArchiveMaker::write(archive, u"pax"_qs, QString(), {
            ArchiveEntrySpec::file("../evil1.txt", "x"),
            ArchiveEntrySpec::file("sub/../../evil2.txt", "x"),
            ArchiveEntrySpec::file(absolute, "x"),
            ArchiveEntrySpec::file("inside/../evil4.txt", "x"),
            ArchiveEntrySpec::file("ok.txt", "fine"),
            ArchiveEntrySpec::file("./ok2.txt", "fine too"),
        }));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, destination, &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(delegate.errorCodes(), QList<int>(4, XADUnsafePathError));
        QCOMPARE(readAll(result.created + u"/ok.txt"_qs), QByteArray("fine"));
        QCOMPARE(readAll(result.created + u"/ok2.txt"_qs), QByteArray("fine too"));
        for (const QString &path : everythingUnder(root.path()))
            QVERIFY2(!path.contains(u"evil"_qs), qPrintable(path));
    }

    void nothingIsWrittenThroughSymlinks()
    {
        QTemporaryDir root;
        const QString outside = root.filePath(u"outside"_qs);
        QVERIFY(QDir().mkpath(outside));
        QVERIFY(writeFile(outside + u"/existing.txt"_qs, "untouched"));
        const QString archive = root.filePath(u"links.tar"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"pax"_qs, QString(), {
            ArchiveEntrySpec::symlink("link", QFile::encodeName(outside)),
            ArchiveEntrySpec::file("link/pwned1.txt", "x"),
            ArchiveEntrySpec::symlink("up", "../../../.."),
            ArchiveEntrySpec::file("up/pwned2.txt", "x"),
            ArchiveEntrySpec::directory("sub"),
            ArchiveEntrySpec::symlink("inner", "sub"),
            ArchiveEntrySpec::file("inner/pwned3.txt", "x"),
            ArchiveEntrySpec::symlink("victim", QFile::encodeName(outside + u"/existing.txt"_qs)),
            ArchiveEntrySpec::file("victim", "overwritten"),
            ArchiveEntrySpec::file("sub/fine.txt", "fine"),
        }));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, root.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(delegate.errorCodes(), QList<int>(3, XADUnsafePathError));
        QCOMPARE(QDir(outside).entryList(QDir::Files), QStringList{u"existing.txt"_qs});
        QCOMPARE(readAll(outside + u"/existing.txt"_qs), QByteArray("untouched"));
        for (const QString &path : everythingUnder(root.path()))
            QVERIFY2(!path.contains(u"pwned"_qs), qPrintable(path));
        // The links themselves are kept as the archive made them.
        QCOMPARE(QFile::symLinkTarget(result.created + u"/link"_qs), outside);
        QVERIFY(S_ISLNK(modeOf(result.created + u"/up"_qs)));
        QCOMPARE(readAll(result.created + u"/victim 2"_qs), QByteArray("overwritten"));
        QCOMPARE(readAll(result.created + u"/sub/fine.txt"_qs), QByteArray("fine"));
    }

    void hardLinksOnlyReachWhatTheRunWrote()
    {
        QTemporaryDir root;
        const QString secret = root.filePath(u"outside/secret.txt"_qs);
        QVERIFY(writeFile(secret, "secret"));
        const QString archive = root.filePath(u"hard.tar"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"pax"_qs, QString(), {
            ArchiveEntrySpec::hardlink("h1", "../../outside/secret.txt"),
            ArchiveEntrySpec::hardlink("h2", QFile::encodeName(secret)),
            ArchiveEntrySpec::symlink("l", QFile::encodeName(root.filePath(u"outside"_qs))),
            ArchiveEntrySpec::hardlink("h3", "l/secret.txt"),
            ArchiveEntrySpec::hardlink("h4", "never-written.txt"),
            ArchiveEntrySpec::file("a.txt", "shared"),
            ArchiveEntrySpec::hardlink("b.txt", "a.txt"),
        }));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, root.filePath(u"x/out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(delegate.errorCodes(), QList<int>(4, XADUnsafePathError));
        QCOMPARE(statOf(secret).st_nlink, nlink_t(1));
        QCOMPARE(readAll(secret), QByteArray("secret"));
        for (const char *name : {"h1", "h2", "h3", "h4"})
            QVERIFY(!QFileInfo::exists(result.created + u'/' + QString::fromLatin1(name)));
        QCOMPARE(statOf(result.created + u"/b.txt"_qs).st_ino, statOf(result.created + u"/a.txt"_qs).st_ino);
        QCOMPARE(readAll(result.created + u"/b.txt"_qs), QByteArray("shared"));
    }

    void specialFilesAreSkippedSilently()
    {
        QTemporaryDir root;
        // Tar cannot hold sockets; cpio can.
        const QString archive = root.filePath(u"special.cpio"_qs);
        QVERIFY(writeArchive(archive, {
            {"pipe", AE_IFIFO, 0644, {}, {}},
            {"dev/null2", AE_IFCHR, 0666, {}, {}},
            {"dev/disk", AE_IFBLK, 0660, {}, {}},
            {"sock", AE_IFSOCK, 0755, {}, {}},
            {"ok.txt", AE_IFREG, 0644, "fine", {}},
        }, "newc"));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, root.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QVERIFY(delegate.entryErrors.isEmpty());
        // Only the plain file is left, so it comes out on its own.
        QCOMPARE(result.created, root.filePath(u"out/ok.txt"_qs));
        QCOMPARE(QDir(root.filePath(u"out"_qs)).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                          | QDir::NoDotAndDotDot),
                 QStringList{u"ok.txt"_qs});
    }

    void modesTimesAndOwners()
    {
        QTemporaryDir root;
        const QString archive = root.filePath(u"modes.tar"_qs);
        QVERIFY(writeArchive(archive, {
            {"setuid", AE_IFREG, 04755, "u", {}},
            {"setgid", AE_IFREG, 02755, "g", {}},
            {"sticky", AE_IFDIR, 01777, {}, {}},
            {"private.txt", AE_IFREG, 0600, "p", {}},
            {"script.sh", AE_IFREG, 0755, "#!/bin/sh\n", {}},
            {"readonly.txt", AE_IFREG, 0444, "r", {}},
            {"locked", AE_IFDIR, 0555, {}, {}},
            {"locked/inside.txt", AE_IFREG, 0644, "i", {}},
        }));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, root.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        const mode_t mask = ProcessUmask::value();
        const auto perm = [&](const char *name) { return modeOf(result.created + u'/' + QString::fromLatin1(name)) & 07777; };
        QCOMPARE(perm("setuid"), 0755 & ~mask);
        QCOMPARE(perm("setgid"), 0755 & ~mask);
        QCOMPARE(perm("sticky"), 0777 & ~mask);
        QCOMPARE(perm("private.txt"), 0600 & ~mask);
        QCOMPARE(perm("script.sh"), 0755 & ~mask);
        QCOMPARE(perm("readonly.txt"), 0444 & ~mask);
        // The owner keeps the right to empty and remove what was extracted.
        QCOMPARE(perm("locked"), 0755 & ~mask);
        QCOMPARE(readAll(result.created + u"/locked/inside.txt"_qs), QByteArray("i"));
        for (const char *name : {"setuid", "private.txt", "sticky", "locked"}) {
            const struct stat st = statOf(result.created + u'/' + QString::fromLatin1(name));
            QCOMPARE(st.st_mtim.tv_sec, time_t(1700000000));
            QCOMPARE(st.st_uid, ::getuid());
        }
    }

    void overlongAndOverdeepNamesAreRefused()
    {
        QTemporaryDir root;
        QByteArray deep;
        for (int i = 0; i < 300; ++i)
            deep += "d/";
        const QString archive = root.filePath(u"deep.tar"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"pax"_qs, QString(), {
            ArchiveEntrySpec::file(deep + "file", "x"),
            ArchiveEntrySpec::file(QByteArray(300, 'n'), "x"),
            ArchiveEntrySpec::file("ok.txt", "fine"),
        }));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, root.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(delegate.errorCodes(), QList<int>(2, XADPathTooLongError));
        QCOMPARE(result.created, root.filePath(u"out/ok.txt"_qs));
    }

    // A stop from another thread, between small entries or in the middle of
    // reading, ends the run within a second.
    void cancelFromAnotherThreadAmongManyEntries()
    {
        QTemporaryDir root;
        QList<ArchiveEntrySpec> entries;
        for (int i = 0; i < 10000; ++i)
            entries.append(ArchiveEntrySpec::file("many/f" + QByteArray::number(i), QByteArray::number(i)));
        const QString archive = root.filePath(u"many.tar.gz"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"pax"_qs, u"gzip"_qs, entries));
        const QString destination = root.filePath(u"out"_qs);
        RecordingDelegate delegate;
        QElapsedTimer sinceStop;
        std::atomic<bool> started{false};
        delegate.onProgress = [&] { started = true; };
        std::thread stopper([&] {
            while (!started)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            sinceStop.start();
            delegate.stop = true;
        });
        const EngineResult result = runEngine(archive, destination, &delegate);
        stopper.join();
        QCOMPARE(result.unarchive, int(XADBreakError));
        QVERIFY2(sinceStop.elapsed() < 1000, qPrintable(QString::number(sinceStop.elapsed())));
        QCOMPARE(everythingUnder(destination), QStringList());
    }

    void stopBeforeTheRunMeansNoRun()
    {
        QTemporaryDir root;
        const QString archive = root.filePath(u"small.zip"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"zip"_qs, QString(), {ArchiveEntrySpec::file("a", "a")}));
        RecordingDelegate delegate;
        auto unarchiver = XADSimpleUnarchiver::simpleUnarchiverForPath(archive);
        unarchiver->setDelegate(&delegate);
        QCOMPARE(unarchiver->parse(), 0);
        delegate.stop = true;
        unarchiver->setDestination(root.filePath(u"out"_qs));
        QCOMPARE(unarchiver->unarchive(), int(XADBreakError));
        QCOMPARE(everythingUnder(root.filePath(u"out"_qs)), QStringList());
    }

    void damagedArchiveLeavesNothing()
    {
        QTemporaryDir root;
        const QString archive = root.filePath(u"cut.tar.gz"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"pax"_qs, u"gzip"_qs,
                                    {ArchiveEntrySpec::file("a.txt", "first"),
                                     ArchiveEntrySpec::file("b.bin", QByteArray(1 << 20, 'b'))}));
        QFile file(archive);
        QVERIFY(file.resize(file.size() / 2));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, root.filePath(u"out"_qs), &delegate);
        QVERIFY(result.parse != 0 || result.unarchive != 0);
        QCOMPARE(everythingUnder(root.filePath(u"out"_qs)), QStringList());
    }

    void aClearedDelegateIsNeverCalled()
    {
        QTemporaryDir root;
        const QString archive = root.filePath(u"plain.zip"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"zip"_qs, QString(),
                                    {ArchiveEntrySpec::file("a", "a"), ArchiveEntrySpec::file("b", "b")}));
        ForbiddenDelegate forbidden;
        auto unarchiver = XADSimpleUnarchiver::simpleUnarchiverForPath(archive);
        unarchiver->setDelegate(&forbidden);
        unarchiver->setDelegate(nullptr);
        QCOMPARE(unarchiver->delegate(), nullptr);
        QCOMPARE(unarchiver->parse(), 0);
        unarchiver->setDestination(root.filePath(u"out"_qs));
        unarchiver->setRemovesEnclosingDirectoryForSoloItems(true);
        QCOMPARE(unarchiver->unarchive(), 0);
        QCOMPARE(forbidden.calls.load(), 0);
        QCOMPARE(readAll(unarchiver->createdItem() + u"/b"_qs), QByteArray("b"));
    }
};

QTEST_GUILESS_MAIN(TestEngineSafety)
#include "test_engine_safety.moc"
