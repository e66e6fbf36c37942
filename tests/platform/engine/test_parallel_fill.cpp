#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "platform/engine/ArchiveEngine.h"
#include "platform/errors/XADException.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace {

// Runs in this process, so the threads that write the files can be seen.
class ThreadRecorder : public ArchiveEngineDelegate {
public:
    QStringList passwordAnswers;
    int passwordRequests = 0;
    int stopAfterFiles = -1; // stop once this many files have begun
    int stopAfterFilesDone = -1;
    std::mutex lock;
    std::set<std::thread::id> fileThreads;
    int filesBegun = 0;
    int filesDone = 0;

    bool extractionShouldStop(ArchiveEngine *) override
    {
        std::lock_guard guard(lock);
        return (stopAfterFiles >= 0 && filesBegun >= stopAfterFiles)
               || (stopAfterFilesDone >= 0 && filesDone >= stopAfterFilesDone);
    }
    void simpleUnarchiverNeedsPassword(ArchiveEngine *engine) override
    {
        ++passwordRequests;
        if (!passwordAnswers.isEmpty())
            engine->setPassword(passwordAnswers.takeFirst());
    }
    QString encodingNameForXADString(ArchiveEngine *, const XADString &) override { return u"UTF-8"_qs; }
    void extractionProgress(ArchiveEngine *, const XADEntryInfo &, qint64, qint64, qint64, qint64) override {}
    void estimatedExtractionProgress(ArchiveEngine *, const XADEntryInfo &, double, double) override {}
    void willExtractEntry(ArchiveEngine *, const XADEntryInfo &entry, const QString &) override
    {
        if (entry.isDirectory || entry.size <= 0)
            return;
        std::lock_guard guard(lock);
        fileThreads.insert(std::this_thread::get_id());
        ++filesBegun;
    }
    void didExtractEntry(ArchiveEngine *, const XADEntryInfo &entry, const QString &, int error) override
    {
        std::lock_guard guard(lock);
        filesDone += !entry.isDirectory && error == 0;
    }
};

struct Run {
    int code = -1;
    QString created;
    bool offThisThread = false; // some file was written by another thread
    int passwordRequests = 0;
};

Run extract(const QString &archive, const QString &destination, int workers, ThreadRecorder &delegate)
{
    qputenv("QUILLBOX_DECODING_THREADS", QByteArray::number(workers));
    Run run;
    auto engine = ArchiveEngine::forPath(archive);
    if (!engine)
        return run;
    engine->setDelegate(&delegate);
    engine->setDestination(destination);
    engine->setAlwaysRenamesFiles(true);
    run.code = engine->parse();
    if (run.code == 0)
        run.code = engine->unarchive();
    run.created = engine->createdItem();
    run.offThisThread = delegate.fileThreads.size() > 1
                        || (delegate.fileThreads.size() == 1
                            && *delegate.fileThreads.begin() != std::this_thread::get_id());
    run.passwordRequests = delegate.passwordRequests;
    return run;
}

// Permissions, and the times of files and links, along with the contents:
// the same tree means the same files. A folder the archive only implies
// keeps the time it was made at.
QStringList modesAndTimes(const QString &root)
{
    QStringList lines;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        const qint64 time = S_ISDIR(st.st_mode) ? 0 : qint64(st.st_mtime);
        lines << u"%1 %2 %3"_qs.arg(path.mid(root.size())).arg(st.st_mode, 0, 8).arg(time);
    }
    lines.sort();
    return lines;
}

QByteArray pseudoText(int seed, int size)
{
    QByteArray data;
    quint32 state = quint32(seed) * 2654435761u + 1;
    static const char *words[] = {"engine ", "folder ", "entry ", "stream ", "volume\n", "the ", "of "};
    while (data.size() < size) {
        state = state * 1664525u + 1013904223u;
        data += words[(state >> 16) % 7];
    }
    data.truncate(size);
    return data;
}

// Many files in folders, a few large enough to span many blocks, some
// empty, duplicates of one name, a read-only file, a symlink and a folder
// entry that comes after its files.
QList<ArchiveEntrySpec> manyEntries()
{
    QList<ArchiveEntrySpec> entries;
    for (int i = 0; i < 240; ++i) {
        const QByteArray path = "tree/d" + QByteArray::number(i % 12) + "/f" + QByteArray::number(i) + ".txt";
        const int size = i % 120 == 0 ? 1 << 20 : (i % 17 == 0 ? 0 : 200 + i * 37);
        entries << ArchiveEntrySpec::file(path, pseudoText(i, size), i % 9 == 0 ? 0444 : 0644);
    }
    entries << ArchiveEntrySpec::file("tree/same.txt", "first\n") << ArchiveEntrySpec::file("tree/same.txt", "second\n")
            << ArchiveEntrySpec::file("tree/same.txt", pseudoText(7, 100000))
            << ArchiveEntrySpec::symlink("tree/link", "d1/f1.txt") << ArchiveEntrySpec::directory("tree/d3");
    return entries;
}

} // namespace

// Files decoded on several workers come out exactly as a straight run
// writes them, and a failure or a stop on any worker ends the whole run with
// nothing left behind.
class TestParallelFill : public QObject {
    Q_OBJECT

    TestEnvironment environment;
    QTemporaryDir archives;

    QString made(const QString &name, const QString &format, const QString &options = QString(),
                 const QByteArray &passphrase = QByteArray())
    {
        const QString path = archives.filePath(name);
        if (!QFileInfo::exists(path) && !ArchiveMaker::write(path, format, QString(), manyEntries(), options, passphrase))
            return QString();
        return path;
    }

    // 7-Zip's own 7z of the same files (no link: its target would be read
    // with its header): libarchive writes a 7z as one stream only.
    QString madeBy7zz(const QString &name, const QString &solidity, const QStringList &options = {})
    {
        const QString path = archives.filePath(name);
        if (QFileInfo::exists(path))
            return path;
        QTemporaryDir tree;
        for (const ArchiveEntrySpec &entry : manyEntries()) {
            const QString file = tree.filePath(QString::fromUtf8(entry.path));
            if (entry.type != ArchiveEntrySpec::File || !QDir().mkpath(QFileInfo(file).path()))
                continue;
            QFile::setPermissions(file, QFile::WriteOwner | QFile::ReadOwner); // a duplicate replaces it
            if (!writeFile(file, entry.data) || ::chmod(QFile::encodeName(file).constData(), mode_t(entry.mode)) != 0)
                return QString();
        }
        QProcess sevenZip;
        sevenZip.setWorkingDirectory(tree.path());
        const QStringList solid = solidity.isEmpty() ? QStringList() : QStringList{u"-ms="_qs + solidity};
        sevenZip.start(u"7zz"_qs, QStringList{u"a"_qs, u"-bd"_qs, u"-mx=1"_qs} + solid + options +
                                      QStringList{path, u"tree"_qs});
        if (!sevenZip.waitForFinished(60000) || sevenZip.exitCode() != 0)
            return QString();
        return path;
    }

private Q_SLOTS:
    void cleanup() { qunsetenv("QUILLBOX_DECODING_THREADS"); }

    void sameTreeAsStraightRun_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QStringList>("passwords");
        QTest::addColumn<bool>("parallel");   // the format lets the files be filled apart
        QTest::addColumn<int>("passwordAsks"); // in each run
        QTest::newRow("zip") << made(u"deflate.zip"_qs, u"zip"_qs) << QStringList() << true << 0;
        QTest::newRow("zip, stored") << made(u"stored.zip"_qs, u"zip"_qs, u"zip:compression=store"_qs)
                                     << QStringList() << true << 0;
        // One answer serves every worker; a wrong one is asked about once.
        QTest::newRow("zip, password") << made(u"aes.zip"_qs, u"zip"_qs, u"zip:encryption=aes256"_qs, "pass")
                                       << QStringList{u"wrong"_qs, u"pass"_qs} << true << 2;
        // 7-Zip's AES zips are read through the view that decrypts them;
        // workers find their entries' keys at once.
        QTest::newRow("zip, AES by 7-Zip")
            << madeBy7zz(u"aes-by-7zz.zip"_qs, QString(), {u"-tzip"_qs, u"-mem=AES256"_qs, u"-ppass"_qs})
            << QStringList{u"wrong"_qs, u"pass"_qs} << true << 2;
        QTest::newRow("zip, traditional password")
            << made(u"zipcrypt.zip"_qs, u"zip"_qs, u"zip:encryption=zipcrypt"_qs, "pass") << QStringList{u"pass"_qs}
            << true << 1;
        // Solid: one worker decodes it all.
        QTest::newRow("7z") << made(u"solid.7z"_qs, u"7zip"_qs) << QStringList() << false << 0;
        QTest::newRow("iso") << made(u"plain.iso"_qs, u"iso9660"_qs) << QStringList() << true << 0;
        const auto corpus = [](const char *name) { return TestEnvironment::corpusPath(QString::fromLatin1(name)); };
        // Each compressed stream on a worker of its own.
        QTest::newRow("7z, a stream per file") << madeBy7zz(u"per-file.7z"_qs, u"off"_qs) << QStringList() << true << 0;
        QTest::newRow("7z, 16 files a stream") << madeBy7zz(u"blocks.7z"_qs, u"16f"_qs) << QStringList() << true << 0;
        // Names hidden: a wrong password is known from the header and asked
        // again; the right one serves every worker.
        QTest::newRow("7z, encrypted") << madeBy7zz(u"encrypted.7z"_qs, u"off"_qs, {u"-mhe=on"_qs, u"-ppass"_qs})
                                       << QStringList{u"wrong"_qs, u"pass"_qs} << true << 2;
        QTest::newRow("7z, encrypted, split")
            << madeBy7zz(u"split.7z"_qs, u"off"_qs, {u"-v200k"_qs, u"-mhe=on"_qs, u"-ppass"_qs}) + u".001"_qs
            << QStringList{u"pass"_qs} << true << 1;
        QTest::newRow("7z, four streams") << corpus("test_read_format_7zip_copy_2.7z") << QStringList() << true << 0;
        QTest::newRow("7z, two solid runs") << corpus("test_read_format_7zip_lzma1_lzma2.7z") << QStringList() << true
                                            << 0;
        QTest::newRow("rar 4") << corpus("test_read_format_rar_compress_best.rar") << QStringList() << true << 0;
        QTest::newRow("rar 5") << corpus("test_read_format_rar5_win32.rar") << QStringList() << true << 0;
        // Files split across volumes are checked whole, so they stay with the run.
        QTest::newRow("rar 4, volumes") << corpus("test_rar_multivolume_uncompressed_files.part01.rar") << QStringList()
                                        << false << 0;
        QTest::newRow("rar 5, solid") << corpus("test_read_format_rar5_solid.rar") << QStringList() << false << 0;
    }

    void sameTreeAsStraightRun()
    {
        QFETCH(QString, archive);
        QFETCH(QStringList, passwords);
        QFETCH(bool, parallel);
        QFETCH(int, passwordAsks);
        QVERIFY(QFileInfo(archive).isFile());
        QTemporaryDir straightOut, parallelOut;
        ThreadRecorder straightDelegate, parallelDelegate;
        straightDelegate.passwordAnswers = parallelDelegate.passwordAnswers = passwords;
        const Run straight = extract(archive, straightOut.path(), 1, straightDelegate);
        const Run fanned = extract(archive, parallelOut.path(), 3, parallelDelegate);
        QCOMPARE(straight.code, 0);
        QCOMPARE(fanned.code, 0);
        QVERIFY(!straight.offThisThread);
        QCOMPARE(fanned.offThisThread, parallel);
        QCOMPARE(straight.passwordRequests, passwordAsks);
        QCOMPARE(fanned.passwordRequests, passwordAsks);
        COMPARE_TREES(listTree(parallelOut.path()), listTree(straightOut.path()));
        QCOMPARE(modesAndTimes(parallelOut.path()), modesAndTimes(straightOut.path()));
    }

    // A stop while the workers run, and a damaged file on one of them: the
    // run fails with the reason, and the destination is as it was.
    void failureLeavesNothing_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<int>("expected");
        const QString zip = made(u"stored.zip"_qs, u"zip"_qs, u"zip:compression=store"_qs);
        QTest::newRow("zip, stopped halfway") << zip << false << int(XADBreakError);
        QTest::newRow("zip, one file damaged") << zip << true << int(XADChecksumError);
        QTest::newRow("7z, stopped halfway") << madeBy7zz(u"per-file.7z"_qs, u"off"_qs) << false << int(XADBreakError);
    }

    void failureLeavesNothing()
    {
        QFETCH(QString, archive);
        QFETCH(bool, damaged);
        QFETCH(int, expected);
        if (damaged) {
            QByteArray bytes = readAll(archive);
            const qsizetype at = bytes.indexOf(pseudoText(201, 200 + 201 * 37));
            QVERIFY(at > 0);
            bytes[at + 100] = bytes[at + 100] ^ 0x20;
            archive = archives.filePath(u"damaged.zip"_qs);
            QVERIFY(writeFile(archive, bytes));
        }
        QTemporaryDir out;
        ThreadRecorder delegate;
        delegate.stopAfterFiles = damaged ? -1 : 100;
        const Run run = extract(archive, out.path(), 3, delegate);
        QCOMPARE(run.code, expected);
        QVERIFY(run.created.isEmpty());
        if (!damaged) // the workers stopped too, well short of the 225 files
            QVERIFY2(delegate.filesBegun < 180, qPrintable(QString::number(delegate.filesBegun)));
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    // A few large files: the layout is done at once, and only the workers
    // themselves can notice the stop.
    void stopReachesWorkersOnTheirOwn()
    {
        QList<ArchiveEntrySpec> entries;
        for (int i = 0; i < 8; ++i)
            entries << ArchiveEntrySpec::file("big" + QByteArray::number(i), pseudoText(i, 1 << 16).repeated(128));
        const QString archive = archives.filePath(u"big.zip"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"zip"_qs, QString(), entries, u"zip:compression=store"_qs));
        QTemporaryDir out;
        ThreadRecorder delegate;
        delegate.stopAfterFilesDone = 1;
        const Run run = extract(archive, out.path(), 2, delegate);
        QCOMPARE(run.code, int(XADBreakError));
        QVERIFY2(delegate.filesDone < 8, "every file was written after the stop");
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestParallelFill)
#include "test_parallel_fill.moc"
