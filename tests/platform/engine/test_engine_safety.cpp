#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "platform/errors/XADException.h"
#include "platform/files/ProcessUmask.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>
#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Entries ArchiveMaker cannot make (special files, odd modes), as cpio
// holds them: tar cannot hold sockets.
struct RawEntry {
    QByteArray path;
    mode_t mode; // type and permissions
    QByteArray data;
};

bool writeCpio(const QString &path, const QList<RawEntry> &entries)
{
    std::unique_ptr<archive, decltype(&archive_write_free)> a(archive_write_new(), archive_write_free);
    bool ok = archive_write_set_format_cpio_newc(a.get()) == ARCHIVE_OK
              && archive_write_open_filename(a.get(), QFile::encodeName(path).constData()) == ARCHIVE_OK;
    for (const RawEntry &wanted : entries) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(), archive_entry_free);
        archive_entry_copy_pathname(entry.get(), wanted.path.constData());
        archive_entry_set_mode(entry.get(), wanted.mode);
        archive_entry_set_mtime(entry.get(), 1700000000, 0);
        archive_entry_set_rdev(entry.get(), makedev(1, 3));
        archive_entry_set_size(entry.get(), wanted.data.size());
        ok = ok && archive_write_header(a.get(), entry.get()) >= ARCHIVE_WARN
             && archive_write_data(a.get(), wanted.data.constData(), size_t(wanted.data.size())) == wanted.data.size();
    }
    return archive_write_close(a.get()) == ARCHIVE_OK && ok;
}

} // namespace

// Nothing is ever written outside the destination; special files, set-id
// bits and owners never survive; a cancel ends a run promptly and cleanly.
class TestEngineSafety : public QObject {
    Q_OBJECT


private Q_SLOTS:
    void dotDotAbsoluteAndOverlongPathsAreRefused()
    {
        QTemporaryDir root;
        RecordingDelegate delegate;
        const EngineResult result = makeAndRun(
            root.filePath(u"mixed.tar"_qs), u"pax"_qs, QString(),
            {ArchiveEntrySpec::file("../evil1.txt", "x"), ArchiveEntrySpec::file("sub/../../evil2.txt", "x"),
             ArchiveEntrySpec::file(QFile::encodeName(root.filePath(u"evil3.txt"_qs)), "x"),
             ArchiveEntrySpec::file("inside/../evil4.txt", "x"), ArchiveEntrySpec::file("ok.txt", "fine"),
             ArchiveEntrySpec::file("./ok2.txt", "fine too"),
             ArchiveEntrySpec::file(QByteArray("d/").repeated(300) + "file", "x"),
             ArchiveEntrySpec::file(QByteArray(300, 'n'), "x")},
            root.filePath(u"a/b/out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(delegate.errorCodes, QList<int>(4, XADUnsafePathError) + QList<int>(2, XADPathTooLongError));
        QCOMPARE(readAll(result.created + u"/ok.txt"_qs), QByteArray("fine"));
        QCOMPARE(readAll(result.created + u"/ok2.txt"_qs), QByteArray("fine too"));
        for (const QByteArray &path : listTree(root.path()).keys())
            QVERIFY2(!path.contains("evil"), path.constData());
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
        QCOMPARE(delegate.errorCodes, QList<int>(3, XADUnsafePathError));
        QCOMPARE(QDir(outside).entryList(QDir::Files), QStringList{u"existing.txt"_qs});
        QCOMPARE(readAll(outside + u"/existing.txt"_qs), QByteArray("untouched"));
        for (const QByteArray &path : listTree(root.path()).keys())
            QVERIFY2(!path.contains("pwned"), path.constData());
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
        QCOMPARE(delegate.errorCodes, QList<int>(4, XADUnsafePathError));
        QCOMPARE(statOf(secret).st_nlink, nlink_t(1));
        QCOMPARE(readAll(secret), QByteArray("secret"));
        for (const QString &name : {u"h1"_qs, u"h2"_qs, u"h3"_qs, u"h4"_qs})
            QVERIFY(!QFileInfo::exists(result.created + u'/' + name));
        QCOMPARE(statOf(result.created + u"/b.txt"_qs).st_ino, statOf(result.created + u"/a.txt"_qs).st_ino);
    }

    // Special files are skipped silently; set-id and sticky bits go; the owner
    // keeps the right to empty and remove what was extracted.
    void specialFilesModesTimesAndOwners()
    {
        QTemporaryDir root;
        const QString archive = root.filePath(u"modes.cpio"_qs);
        const QList<RawEntry> entries = {{"setuid", AE_IFREG | 04755, "u"},     {"setgid", AE_IFREG | 02755, "g"},
                                         {"sticky", AE_IFDIR | 01777, {}},      {"private.txt", AE_IFREG | 0600, "p"},
                                         {"readonly.txt", AE_IFREG | 0444, "r"}, {"locked", AE_IFDIR | 0555, {}},
                                         {"locked/inside.txt", AE_IFREG | 0644, "i"}};
        QVERIFY(writeCpio(archive, entries + QList<RawEntry>{{"pipe", AE_IFIFO | 0644, {}}, {"dev/null2", AE_IFCHR | 0666, {}},
                                                             {"dev/disk", AE_IFBLK | 0660, {}}, {"sock", AE_IFSOCK | 0755, {}}}));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, root.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QVERIFY(delegate.entryErrors.isEmpty());
        QCOMPARE(listTree(result.created).keys(), (QByteArrayList{"locked", "locked/inside.txt", "private.txt",
                                                                  "readonly.txt", "setgid", "setuid", "sticky"}));
        const QList<int> expected = {0755, 0755, 0777, 0600, 0444, 0755, 0644};
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const struct stat st = statOf(result.created + u'/' + QString::fromLatin1(entries.at(i).path));
            QVERIFY2((st.st_mode & 07777) == (expected.at(i) & ~ProcessUmask::value()), entries.at(i).path.constData());
            QCOMPARE(st.st_mtim.tv_sec, time_t(1700000000));
            QCOMPARE(st.st_uid, ::getuid());
        }
    }

    // Their data ends, without an error from libarchive, before the size their
    // headers declare: a file cut short is an error, never a shorter file.
    void filesCutShortAreRefused()
    {
        // 10 and 540671 bytes declared, none there.
        for (const QString &name : {u"test_read_format_rar5_bytes_remaining_underflow.rar"_qs,
                                    u"test_read_format_rar5_data_ready_pointer_leak.rar"_qs}) {
            QTemporaryDir root;
            RecordingDelegate delegate;
            const EngineResult result = runEngine(TestEnvironment::corpusPath(name), root.filePath(u"out"_qs), &delegate);
            QCOMPARE(result.parse, 0);
            QCOMPARE(result.unarchive, int(XADTruncatedError));
            QVERIFY(listTree(root.filePath(u"out"_qs)).isEmpty());
        }
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
        // Stopped from a thread of its own shortly after the run reports progress.
        struct StoppedOnceStarted : RecordingDelegate {
            QElapsedTimer sinceStarted;
            std::optional<StopTimer> stopper;
            void estimatedExtractionProgress(XADSimpleUnarchiver *, const XADEntryInfo &, double, double) override
            {
                if (!stopper) {
                    sinceStarted.start();
                    stopper.emplace(this, 10);
                }
            }
        } delegate;
        const EngineResult result = runEngine(archive, destination, &delegate);
        const qint64 sinceStop = delegate.sinceStarted.elapsed() - 10;
        QVERIFY(delegate.stopper && delegate.stopper->fired);
        QCOMPARE(result.unarchive, int(XADBreakError));
        QVERIFY2(sinceStop < 1000, qPrintable(QString::number(sinceStop)));
        QVERIFY(listTree(destination).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestEngineSafety)
#include "test_engine_safety.moc"
