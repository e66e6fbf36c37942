#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "TestEnvironment.h"
#include "platform/errors/XADException.h"
#include "platform/files/ProcessUmask.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>
#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace {

// Entries ArchiveMaker cannot make: special files, folders with odd modes.
struct RawEntry {
    QByteArray path;
    mode_t type = AE_IFREG;
    int mode = 0644;
    QByteArray data;
};

bool writeRawArchive(const QString &path, const QList<RawEntry> &entries, const char *format)
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
        archive_entry_set_mtime(entry, 1700000000, 0);
        if (wanted.type == AE_IFCHR || wanted.type == AE_IFBLK)
            archive_entry_set_rdev(entry, makedev(1, 3));
        archive_entry_set_size(entry, wanted.data.size());
        ok = ok && archive_write_header(a, entry) >= ARCHIVE_WARN
             && archive_write_data(a, wanted.data.constData(), size_t(wanted.data.size())) == wanted.data.size();
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
        RecordingDelegate delegate;
        const EngineResult result = makeAndRun(
            root.filePath(u"mixed.tar"_qs), u"pax"_qs, QString(),
            {ArchiveEntrySpec::file("../evil1.txt", "x"), ArchiveEntrySpec::file("sub/../../evil2.txt", "x"),
             ArchiveEntrySpec::file(QFile::encodeName(root.filePath(u"evil3.txt"_qs)), "x"),
             ArchiveEntrySpec::file("inside/../evil4.txt", "x"), ArchiveEntrySpec::file("ok.txt", "fine"),
             ArchiveEntrySpec::file("./ok2.txt", "fine too")},
            root.filePath(u"a/b/out"_qs), &delegate);
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
        QVERIFY(writeFile(outside + u"/existing.txt"_qs, "untouched"));
        RecordingDelegate delegate;
        const EngineResult result = makeAndRun(
            root.filePath(u"links.tar"_qs), u"pax"_qs, QString(),
            {ArchiveEntrySpec::symlink("link", QFile::encodeName(outside)), ArchiveEntrySpec::file("link/pwned1.txt", "x"),
             ArchiveEntrySpec::symlink("up", "../../../.."), ArchiveEntrySpec::file("up/pwned2.txt", "x"),
             ArchiveEntrySpec::directory("sub"), ArchiveEntrySpec::symlink("inner", "sub"),
             ArchiveEntrySpec::file("inner/pwned3.txt", "x"),
             ArchiveEntrySpec::symlink("victim", QFile::encodeName(outside + u"/existing.txt"_qs)),
             ArchiveEntrySpec::file("victim", "overwritten"), ArchiveEntrySpec::file("sub/fine.txt", "fine")},
            root.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(delegate.errorCodes(), QList<int>(3, XADUnsafePathError));
        QCOMPARE(QDir(outside).entryList(QDir::Files), QStringList{u"existing.txt"_qs});
        QCOMPARE(readAll(outside + u"/existing.txt"_qs), QByteArray("untouched"));
        for (const QString &path : everythingUnder(root.path()))
            QVERIFY2(!path.contains(u"pwned"_qs), qPrintable(path));
        // The links themselves are kept as the archive made them.
        QCOMPARE(QFile::symLinkTarget(result.created + u"/link"_qs), outside);
        QVERIFY(S_ISLNK(statOf(result.created + u"/up"_qs).st_mode));
        QCOMPARE(readAll(result.created + u"/victim 2"_qs), QByteArray("overwritten"));
        QCOMPARE(readAll(result.created + u"/sub/fine.txt"_qs), QByteArray("fine"));
    }

    void hardLinksOnlyReachWhatTheRunWrote()
    {
        QTemporaryDir root;
        const QString secret = root.filePath(u"outside/secret.txt"_qs);
        QVERIFY(writeFile(secret, "secret"));
        RecordingDelegate delegate;
        const EngineResult result = makeAndRun(
            root.filePath(u"hard.tar"_qs), u"pax"_qs, QString(),
            {ArchiveEntrySpec::hardlink("h1", "../../outside/secret.txt"),
             ArchiveEntrySpec::hardlink("h2", QFile::encodeName(secret)),
             ArchiveEntrySpec::symlink("l", QFile::encodeName(root.filePath(u"outside"_qs))),
             ArchiveEntrySpec::hardlink("h3", "l/secret.txt"), ArchiveEntrySpec::hardlink("h4", "never-written.txt"),
             ArchiveEntrySpec::file("a.txt", "shared"), ArchiveEntrySpec::hardlink("b.txt", "a.txt")},
            root.filePath(u"x/out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(delegate.errorCodes(), QList<int>(4, XADUnsafePathError));
        QCOMPARE(statOf(secret).st_nlink, nlink_t(1));
        QCOMPARE(readAll(secret), QByteArray("secret"));
        for (const QString &name : {u"h1"_qs, u"h2"_qs, u"h3"_qs, u"h4"_qs})
            QVERIFY(!QFileInfo::exists(result.created + u'/' + name));
        QCOMPARE(statOf(result.created + u"/b.txt"_qs).st_ino, statOf(result.created + u"/a.txt"_qs).st_ino);
    }

    // Tar cannot hold sockets; cpio can. Only the plain file is left, so it comes out on its own.
    void specialFilesAreSkippedSilently()
    {
        QTemporaryDir root;
        const QString archive = root.filePath(u"special.cpio"_qs);
        QVERIFY(writeRawArchive(archive,
                                {{"pipe", AE_IFIFO, 0644, {}}, {"dev/null2", AE_IFCHR, 0666, {}},
                                 {"dev/disk", AE_IFBLK, 0660, {}}, {"sock", AE_IFSOCK, 0755, {}},
                                 {"ok.txt", AE_IFREG, 0644, "fine"}},
                                "newc"));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, root.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QVERIFY(delegate.entryErrors.isEmpty());
        QCOMPARE(everythingUnder(root.filePath(u"out"_qs)), QStringList{root.filePath(u"out/ok.txt"_qs)});
    }

    void modesTimesAndOwners()
    {
        QTemporaryDir root;
        const QString archive = root.filePath(u"modes.tar"_qs);
        const QList<RawEntry> entries = {{"setuid", AE_IFREG, 04755, "u"},       {"setgid", AE_IFREG, 02755, "g"},
                                         {"sticky", AE_IFDIR, 01777, {}},        {"private.txt", AE_IFREG, 0600, "p"},
                                         {"readonly.txt", AE_IFREG, 0444, "r"},  {"locked", AE_IFDIR, 0555, {}},
                                         {"locked/inside.txt", AE_IFREG, 0644, "i"}};
        QVERIFY(writeRawArchive(archive, entries, "pax"));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, root.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        // Set-id and sticky bits go; the owner keeps the right to empty and remove what was extracted.
        const QList<int> expected = {0755, 0755, 0777, 0600, 0444, 0755, 0644};
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const struct stat st = statOf(result.created + u'/' + QString::fromLatin1(entries.at(i).path));
            QVERIFY2((st.st_mode & 07777) == (expected.at(i) & ~ProcessUmask::value()), entries.at(i).path.constData());
            QCOMPARE(st.st_mtim.tv_sec, time_t(1700000000));
            QCOMPARE(st.st_uid, ::getuid());
        }
    }

    void overlongAndOverdeepNamesAreRefused()
    {
        QTemporaryDir root;
        RecordingDelegate delegate;
        const EngineResult result = makeAndRun(root.filePath(u"deep.tar"_qs), u"pax"_qs, QString(),
                                               {ArchiveEntrySpec::file(QByteArray("d/").repeated(300) + "file", "x"),
                                                ArchiveEntrySpec::file(QByteArray(300, 'n'), "x"),
                                                ArchiveEntrySpec::file("ok.txt", "fine")},
                                               root.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(delegate.errorCodes(), QList<int>(2, XADPathTooLongError));
        QCOMPARE(result.created, root.filePath(u"out/ok.txt"_qs));
    }

    // Their data ends, without an error from libarchive, before the size their
    // headers declare: a file cut short is an error, never a shorter file.
    void filesCutShortAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("10 bytes declared, none there") << u"test_read_format_rar5_bytes_remaining_underflow.rar"_qs;
        QTest::newRow("540671 bytes declared, none there") << u"test_read_format_rar5_data_ready_pointer_leak.rar"_qs;
    }

    void filesCutShortAreRefused()
    {
        QFETCH(QString, name);
        QTemporaryDir root;
        RecordingDelegate delegate;
        const EngineResult result = runEngine(TestEnvironment::corpusPath(name), root.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.parse, 0);
        QCOMPARE(result.unarchive, int(XADTruncatedError));
        QCOMPARE(everythingUnder(root.filePath(u"out"_qs)), QStringList());
    }

    // A stop from another thread, between small entries or in the middle of
    // reading, ends the run within a second and leaves nothing.
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
};

QTEST_GUILESS_MAIN(TestEngineSafety)
#include "test_engine_safety.moc"
