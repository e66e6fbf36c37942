#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "LegacyZipWriter.h"
#include "TestEnvironment.h"
#include "platform/files/ProcessUmask.h"
#include "platform/engine/Utf8LocaleScope.h"
#include "platform/errors/XADException.h"
#include "platform/encoding/XADString.h"
#include "platform/unarchiver/XADSimpleUnarchiver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <clocale>
#include <sys/stat.h>
#include <sys/xattr.h>

// Every format family extracts to the right tree; the layout rules (solo
// item, enclosing folder, unique names); progress reports; entry names.
class TestEngineFormats : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;
    QByteArray binary;

    // The test writer gives folders and symlinks no size, which cpio
    // insists on; there they are left out.
    QList<ArchiveEntrySpec> sampleEntries(bool withSymlink) const
    {
        QList<ArchiveEntrySpec> entries = {
            ArchiveEntrySpec::file("docs/readme.txt", "Read me.\n"),
            ArchiveEntrySpec::file("docs/sub/data.bin", binary),
            ArchiveEntrySpec::file("notes.txt", QByteArray(3000, 'n'), 0600),
        };
        if (withSymlink) {
            entries.prepend(ArchiveEntrySpec::directory("docs"));
            entries.append(ArchiveEntrySpec::symlink("docs/link", "readme.txt"));
        }
        return entries;
    }

    void verifySampleTree(const QString &root, bool withSymlink)
    {
        QCOMPARE(readAll(root + u"/docs/readme.txt"_qs), QByteArray("Read me.\n"));
        QCOMPARE(readAll(root + u"/docs/sub/data.bin"_qs), binary);
        QCOMPARE(readAll(root + u"/notes.txt"_qs), QByteArray(3000, 'n'));
        QCOMPARE(QFileInfo(root + u"/notes.txt"_qs).lastModified().toSecsSinceEpoch(), 1700000000);
        if (withSymlink)
            QCOMPARE(QFileInfo(root + u"/docs/link"_qs).symLinkTarget(), root + u"/docs/readme.txt"_qs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        binary.resize(150000);
        QRandomGenerator generator(7);
        for (char &c : binary)
            c = char(generator.bounded(256));
    }

    void formatsWrittenAtTestTime_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("symlink");
        QTest::newRow("zip") << u"zip"_qs << QString() << u"sample.zip"_qs << true;
        QTest::newRow("7zip") << u"7zip"_qs << QString() << u"sample.7z"_qs << true;
        QTest::newRow("pax") << u"pax"_qs << QString() << u"sample.tar"_qs << true;
        const QList<QPair<QString, QString>> filters = {
            {u"gzip"_qs, u"gz"_qs}, {u"bzip2"_qs, u"bz2"_qs}, {u"xz"_qs, u"xz"_qs},
            {u"lzma"_qs, u"lzma"_qs}, {u"zstd"_qs, u"zst"_qs}, {u"lz4"_qs, u"lz4"_qs},
            {u"lzip"_qs, u"lz"_qs}, {u"compress"_qs, u"Z"_qs}};
        for (const auto &[filter, suffix] : filters) {
            QTest::newRow(qPrintable(u"pax+"_qs + filter))
                << u"pax"_qs << filter << u"sample.tar."_qs + suffix << true;
        }
        QTest::newRow("gnutar+gzip") << u"gnutar"_qs << u"gzip"_qs << u"sample.tgz"_qs << true;
        QTest::newRow("cpio") << u"cpio"_qs << QString() << u"sample.cpio"_qs << false;
        QTest::newRow("iso9660") << u"iso9660"_qs << QString() << u"sample.iso"_qs << true;
        QTest::newRow("xar") << u"xar"_qs << QString() << u"sample.xar"_qs << true;
    }

    void formatsWrittenAtTestTime()
    {
        QFETCH(QString, format);
        QFETCH(QString, filter);
        QFETCH(QString, fileName);
        QFETCH(bool, symlink);
        QTemporaryDir dir;
        const QString archive = dir.filePath(fileName);
        QVERIFY(ArchiveMaker::write(archive, format, filter, sampleEntries(symlink)));
        const QString destination = dir.filePath(u"out"_qs);
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, destination, &delegate);
        QCOMPARE(result.parse, 0);
        QCOMPARE(result.unarchive, 0);
        // Two top-level items stay together in a folder named after the archive.
        QCOMPARE(result.created, destination + u"/sample"_qs);
        QCOMPARE(result.enclosing, u"sample"_qs);
        verifySampleTree(result.created, symlink);
        QVERIFY(delegate.entryErrors.isEmpty());
        QCOMPARE(QDir(destination).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{u"sample"_qs});
    }

    void arArchiveOfPlainFiles()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"lib.a"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"arsvr4"_qs, QString(),
                                    {ArchiveEntrySpec::file("one.o", "first"),
                                     ArchiveEntrySpec::file("two.o", binary)}));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, dir.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(result.created, dir.filePath(u"out/lib"_qs));
        QCOMPARE(readAll(result.created + u"/one.o"_qs), QByteArray("first"));
        QCOMPARE(readAll(result.created + u"/two.o"_qs), binary);
    }

    // Formats libarchive cannot write come from its own test archives; the
    // reference is what libarchive's plain file reader finds in them.
    void corpusFormats_data()
    {
        QTest::addColumn<QStringList>("volumes");
        const auto row = [](const char *tag, QStringList names) {
            for (QString &name : names)
                name = TestEnvironment::corpusPath(name);
            QTest::newRow(tag) << names;
        };
        row("rar4", {u"test_read_format_rar.rar"_qs});
        row("rar4 best", {u"test_read_format_rar_compress_best.rar"_qs});
        row("rar4 filter", {u"test_read_format_rar_filter.rar"_qs});
        row("rar5", {u"test_read_format_rar5_compressed.rar"_qs});
        row("rar5 solid", {u"test_read_format_rar5_solid.rar"_qs});
        row("rar5 solid many", {u"test_read_format_rar5_multiple_files_solid.rar"_qs});
        QStringList multiple;
        for (int i = 1; i <= 6; ++i)
            multiple.append(QStringLiteral("test_rar_multivolume_multiple_files.part%1.rar").arg(i));
        row("rar4 multi-volume", multiple);
        row("rar multi-volume single file", {u"test_rar_multivolume_single_file.part1.rar"_qs,
                                             u"test_rar_multivolume_single_file.part2.rar"_qs,
                                             u"test_rar_multivolume_single_file.part3.rar"_qs});
        QStringList uncompressed;
        for (int i = 1; i <= 10; ++i)
            uncompressed.append(QStringLiteral("test_rar_multivolume_uncompressed_files.part%1.rar")
                                    .arg(i, 2, 10, QLatin1Char('0')));
        row("rar multi-volume part01", uncompressed);
        QStringList rar5;
        for (int i = 1; i <= 8; ++i)
            rar5.append(QStringLiteral("test_read_format_rar5_multiarchive.part%1.rar").arg(i, 2, 10, QLatin1Char('0')));
        row("rar5 multi-volume", rar5);
        QStringList rar5solid;
        for (int i = 1; i <= 4; ++i)
            rar5solid.append(QStringLiteral("test_read_format_rar5_multiarchive_solid.part%1.rar").arg(i, 2, 10, QLatin1Char('0')));
        row("rar5 multi-volume solid", rar5solid);
        row("cab", {u"test_read_format_cab_1.cab"_qs});
        row("cab lzx", {u"test_read_format_cab_lzx_e8.cab"_qs});
        row("lha", {u"test_read_format_lha_lh7.lzh"_qs});
        row("lha header2", {u"test_read_format_lha_header2.lzh"_qs});
        row("warc", {u"test_read_format_warc.warc"_qs});
        row("rar sfx", {u"test_read_format_rar_sfx.exe"_qs});
        row("rar5 sfx", {u"test_read_format_rar5_sfx.exe"_qs});
        row("zip sfx", {u"test_read_format_zip_sfx"_qs});
        row("7z sfx", {u"test_read_format_7zip_sfx_pe.exe"_qs});
        row("zipx lzma", {u"test_read_format_zip_lzma_multi.zipx"_qs});
        row("zipx xz", {u"test_read_format_zip_xz_multi.zipx"_qs});
        row("zipx zstd", {u"test_read_format_zip_zstd_multi.zipx"_qs});
        row("zipx ppmd", {u"test_read_format_zip_ppmd8_multi.zipx"_qs});
        row("zipx bzip2", {u"test_read_format_zip_bzip2_multi.zipx"_qs});
        row("7z", {u"test_read_format_7zip_lzma2.7z"_qs});
        row("iso rockridge", {u"test_read_format_iso_rockridge.iso.Z"_qs});
    }

    void corpusFormats()
    {
        QFETCH(QStringList, volumes);
        bool ok = false;
        const Tree expected = filesAndLinks(referenceTree(volumes, &ok));
        QVERIFY2(ok, "libarchive's own reader failed on the reference");
        QVERIFY(!expected.isEmpty());
        QTemporaryDir dir;
        RecordingDelegate delegate;
        // Removing the solo folder is off so the created folder is always the root.
        const EngineResult result = runEngine(volumes.constFirst(), dir.path(), &delegate, false);
        QCOMPARE(result.parse, 0);
        QCOMPARE(result.unarchive, 0);
        const Tree actual = filesAndLinks(listTree(result.created));
        QVERIFY2(actual == expected, qPrintable(describeTree(actual) + u"\n---\n"_qs + describeTree(expected)));
    }

    // Old RAR volume names ("x.rar", "x.r00", "x.r01"...) and plain splits
    // ("x.rar.001"...) are found from the first file too.
    void volumeNamingSchemes_data()
    {
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QStringList>("names");
        QStringList parts;
        for (int i = 1; i <= 6; ++i)
            parts.append(QStringLiteral("test_rar_multivolume_multiple_files.part%1.rar").arg(i));
        QTest::newRow("x.rar x.r00") << parts
                                     << QStringList{u"x.rar"_qs, u"x.r00"_qs, u"x.r01"_qs, u"x.r02"_qs,
                                                    u"x.r03"_qs, u"x.r04"_qs};
        const QStringList splits = {u"test_read_splitted_rar_aa"_qs, u"test_read_splitted_rar_ab"_qs,
                                    u"test_read_splitted_rar_ac"_qs, u"test_read_splitted_rar_ad"_qs};
        QTest::newRow("x.rar.001") << splits
                                   << QStringList{u"x.rar.001"_qs, u"x.rar.002"_qs, u"x.rar.003"_qs,
                                                  u"x.rar.004"_qs};
    }

    void volumeNamingSchemes()
    {
        QFETCH(QStringList, sources);
        QFETCH(QStringList, names);
        QTemporaryDir dir;
        QStringList volumes;
        for (qsizetype i = 0; i < sources.size(); ++i) {
            volumes.append(dir.filePath(names.at(i)));
            QVERIFY(QFile::copy(TestEnvironment::corpusPath(sources.at(i)), volumes.last()));
        }
        bool ok = false;
        const Tree expected = filesAndLinks(referenceTree(volumes, &ok));
        QVERIFY(ok);
        RecordingDelegate delegate;
        const EngineResult result = runEngine(volumes.constFirst(), dir.filePath(u"out"_qs), &delegate, false);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(result.created, dir.filePath(u"out/x"_qs));
        const Tree actual = filesAndLinks(listTree(result.created));
        QVERIFY2(actual == expected, qPrintable(describeTree(actual) + u"\n---\n"_qs + describeTree(expected)));
        // The last volume alone is not the whole archive.
        bool lastOk = false;
        const Tree lastOnly = filesAndLinks(referenceTree({volumes.constLast()}, &lastOk));
        QVERIFY(lastOnly != expected);
    }

    void oneTopLevelFileComesOutOnItsOwn()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"bundle.zip"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"zip"_qs, QString(), {ArchiveEntrySpec::file("report.pdf", "new")}));
        const QString destination = dir.filePath(u"out"_qs);
        QVERIFY(writeFile(destination + u"/report.pdf"_qs, "old"));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, destination, &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(result.created, destination + u"/report 2.pdf"_qs);
        QVERIFY(!result.enclosing.isNull());
        QCOMPARE(readAll(result.created), QByteArray("new"));
        QCOMPARE(readAll(destination + u"/report.pdf"_qs), QByteArray("old"));
        // Nothing else is left behind, the staging folder included.
        QCOMPARE(QDir(destination).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 2);
        // The archive item then moves it on to a free name of its own.
        QCOMPARE(XADSimpleUnarchiver::_findUniquePathForOriginalPath(destination + u"/report.pdf"_qs),
                 destination + u"/report 3.pdf"_qs);
    }

    void singleTopLevelFolderComesOutOnItsOwn()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"photos-2024.tar.gz"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"pax"_qs, u"gzip"_qs,
                                    {ArchiveEntrySpec::file("Holiday/a.jpg", "a"),
                                     ArchiveEntrySpec::file("Holiday/b.jpg", "b")}));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, dir.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(result.created, dir.filePath(u"out/Holiday"_qs));
        QCOMPARE(readAll(result.created + u"/b.jpg"_qs), QByteArray("b"));
        QVERIFY(QFileInfo(result.created).isDir());
    }

    void severalItemsStayInAFolderNamedAfterTheArchive()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"x.tar.bz2"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"gnutar"_qs, u"bzip2"_qs,
                                    {ArchiveEntrySpec::file("a", "1"), ArchiveEntrySpec::file("b", "2")}));
        const QString destination = dir.filePath(u"out"_qs);
        QVERIFY(QDir().mkpath(destination + u"/x"_qs));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, destination, &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(result.created, destination + u"/x 2"_qs);
        QCOMPARE(result.enclosing, u"x"_qs);
        QCOMPARE(readAll(result.created + u"/b"_qs), QByteArray("2"));
        QVERIFY(QDir(destination + u"/x"_qs).isEmpty());
        // A fresh folder gets ordinary permissions, not the staging folder's private ones.
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(result.created).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0777 & ~ProcessUmask::value());
    }

    void duplicatePathsNeverOverwrite()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"dups.tar"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"pax"_qs, QString(), {
            ArchiveEntrySpec::file("a.txt", "first"),
            ArchiveEntrySpec::directory("d"),
            ArchiveEntrySpec::file("d/one", "1"),
            ArchiveEntrySpec::file("a.txt", "second"),
            ArchiveEntrySpec::directory("d"),
            ArchiveEntrySpec::file("d/two", "2"),
            ArchiveEntrySpec::file("a.txt", "third"),
            ArchiveEntrySpec::file("x", "a file named x"),
            ArchiveEntrySpec::file("x/y", "below a folder named x"),
            ArchiveEntrySpec::file("x/z", "also there"),
            ArchiveEntrySpec::hardlink("linked.txt", "a.txt"),
        }));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, dir.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        const QString root = result.created;
        QCOMPARE(readAll(root + u"/a.txt"_qs), QByteArray("first"));
        QCOMPARE(readAll(root + u"/a 2.txt"_qs), QByteArray("second"));
        QCOMPARE(readAll(root + u"/a 3.txt"_qs), QByteArray("third"));
        QCOMPARE(readAll(root + u"/d/one"_qs), QByteArray("1"));
        QCOMPARE(readAll(root + u"/d/two"_qs), QByteArray("2"));
        QVERIFY(!QFileInfo::exists(root + u"/d 2"_qs));
        QCOMPARE(readAll(root + u"/x"_qs), QByteArray("a file named x"));
        QCOMPARE(readAll(root + u"/x 2/y"_qs), QByteArray("below a folder named x"));
        QCOMPARE(readAll(root + u"/x 2/z"_qs), QByteArray("also there"));
        // A link names the latest entry of that path, as tar means it.
        QCOMPARE(readAll(root + u"/linked.txt"_qs), QByteArray("third"));
        QVERIFY(delegate.entryErrors.isEmpty());
    }

    void uniquePathsKeepTheExtension()
    {
        QTemporaryDir dir;
        const auto path = [&](const char *name) { return dir.filePath(QString::fromUtf8(name)); };
        QCOMPARE(XADSimpleUnarchiver::_findUniquePathForOriginalPath(path("report.pdf")), path("report.pdf"));
        QVERIFY(writeFile(path("report.pdf"), "x"));
        QCOMPARE(XADSimpleUnarchiver::_findUniquePathForOriginalPath(path("report.pdf")), path("report 2.pdf"));
        QVERIFY(writeFile(path("report 2.pdf"), "x"));
        QCOMPARE(XADSimpleUnarchiver::_findUniquePathForOriginalPath(path("report.pdf")), path("report 3.pdf"));
        QVERIFY(QDir().mkpath(path("photos")));
        QCOMPARE(XADSimpleUnarchiver::_findUniquePathForOriginalPath(path("photos")), path("photos 2"));
        QVERIFY(QDir().mkpath(path("v1.2")));
        QCOMPARE(XADSimpleUnarchiver::_findUniquePathForOriginalPath(path("v1.2")), path("v1.2 2"));
        QVERIFY(writeFile(path("a.tar.gz"), "x"));
        QCOMPARE(XADSimpleUnarchiver::_findUniquePathForOriginalPath(path("a.tar.gz")), path("a 2.tar.gz"));
        QVERIFY(writeFile(path(".hidden"), "x"));
        QCOMPARE(XADSimpleUnarchiver::_findUniquePathForOriginalPath(path(".hidden")), path(".hidden 2"));
        QVERIFY(QFile::link(path("nowhere"), path("dangling")));
        QCOMPARE(XADSimpleUnarchiver::_findUniquePathForOriginalPath(path("dangling")), path("dangling 2"));
    }

    void bareCompressedFiles_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("gz") << u"gzip"_qs << u".gz"_qs;
        QTest::newRow("bz2") << u"bzip2"_qs << u".bz2"_qs;
        QTest::newRow("xz") << u"xz"_qs << u".xz"_qs;
        QTest::newRow("zst") << u"zstd"_qs << u".zst"_qs;
        QTest::newRow("lz4") << u"lz4"_qs << u".lz4"_qs;
    }

    void bareCompressedFiles()
    {
        QFETCH(QString, filter);
        QFETCH(QString, suffix);
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"notes.txt"_qs + suffix);
        const QByteArray text = QByteArray("plain notes, not an archive\n").repeated(1000);
        QVERIFY(ArchiveMaker::writeRawCompressed(archive, filter, text));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, dir.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.parse, 0);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(result.created, dir.filePath(u"out/notes.txt"_qs));
        QCOMPARE(readAll(result.created), text);
        QCOMPARE(delegate.lastFraction, 1.0);
    }

    // Where the archive was downloaded from travels on to what it held.
    void downloadOriginIsPropagated()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"download.zip"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"zip"_qs, QString(),
                                    {ArchiveEntrySpec::file("a.txt", "a"), ArchiveEntrySpec::file("b/c.txt", "c")}));
        const QByteArray origin("https://example.org/download.zip");
        if (::setxattr(QFile::encodeName(archive).constData(), "user.xdg.origin.url", origin.constData(),
                       size_t(origin.size()), 0) != 0)
            QSKIP("this file system keeps no user attributes");
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, dir.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        for (const char *name : {"/a.txt", "/b/c.txt"}) {
            char value[256] = {};
            const ssize_t size = ::getxattr(QFile::encodeName(result.created + QString::fromLatin1(name)).constData(),
                                            "user.xdg.origin.url", value, sizeof value);
            QCOMPARE(QByteArray(value, int(qMax<ssize_t>(size, 0))), origin);
        }
    }

    void plainFilesAreNotArchives()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"notes.txt"_qs), "just text\n"));
        RecordingDelegate delegate;
        EngineResult result = runEngine(dir.filePath(u"notes.txt"_qs), dir.filePath(u"out"_qs), &delegate);
        QVERIFY(result.opened);
        QCOMPARE(result.parse, int(XADNotAnArchiveError));
        QVERIFY(!XADSimpleUnarchiver::simpleUnarchiverForPath(dir.filePath(u"missing.zip"_qs)));
        QVERIFY(!XADSimpleUnarchiver::simpleUnarchiverForPath(dir.path()));
        // An empty archive is recognised but yields nothing.
        QVERIFY(ArchiveMaker::write(dir.filePath(u"empty.tar"_qs), u"pax"_qs, QString(), {}));
        result = runEngine(dir.filePath(u"empty.tar"_qs), dir.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, int(XADNoEntriesError));
        QVERIFY(QDir(dir.filePath(u"out"_qs)).isEmpty());
    }

    void progressWithKnownTotals()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"p.zip"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"zip"_qs, QString(), sampleEntries(false)));
        RecordingDelegate delegate;
        QCOMPARE(runEngine(archive, dir.filePath(u"out"_qs), &delegate).unarchive, 0);
        QVERIFY(delegate.byteReports > 0);
        QCOMPARE(delegate.estimatedReports, 0);
        QVERIFY(delegate.lastWasBytes);
        QCOMPARE(delegate.lastTotalSize, qint64(9 + binary.size() + 3000));
        QCOMPARE(delegate.lastTotal, delegate.lastTotalSize);
        QVERIFY(delegate.fractionsInRange);
    }

    // A stream's size is only known by reading it all, so a tar.gz reports
    // how much of the archive was read, and is read only once.
    void progressEstimatedForStreams()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"p.tar.gz"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"pax"_qs, u"gzip"_qs, sampleEntries(false)));
        RecordingDelegate delegate;
        QCOMPARE(runEngine(archive, dir.filePath(u"out"_qs), &delegate).unarchive, 0);
        QCOMPARE(delegate.byteReports, 0);
        QVERIFY(delegate.estimatedReports > 0);
        QCOMPARE(delegate.lastFraction, 1.0);
        QVERIFY(delegate.fractionsInRange);
    }

    void progressIsThrottled()
    {
        QTemporaryDir dir;
        QList<ArchiveEntrySpec> entries;
        for (int i = 0; i < 3000; ++i)
            entries.append(ArchiveEntrySpec::file(QByteArray("f/") + QByteArray::number(i), QByteArray(600, 'x')));
        const QString archive = dir.filePath(u"many.tar"_qs);
        QVERIFY(ArchiveMaker::write(archive, u"pax"_qs, QString(), entries));
        RecordingDelegate delegate;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(runEngine(archive, dir.filePath(u"out"_qs), &delegate).unarchive, 0);
        const qint64 elapsed = timer.elapsed();
        QVERIFY(delegate.estimatedReports >= 1);
        // At most 50 a second, plus the first and the last.
        QVERIFY2(delegate.estimatedReports <= elapsed / 20 + 2,
                 qPrintable(QStringLiteral("%1 reports in %2 ms").arg(delegate.estimatedReports).arg(elapsed)));
        QCOMPARE(delegate.lastFraction, 1.0);
    }

    // Names declared Unicode come out right whatever the process locale.
    void unicodeNamesUnderTheCLocale_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("options");
        QTest::newRow("7zip") << u"7zip"_qs << QString();
        QTest::newRow("pax") << u"pax"_qs << QString();
        QTest::newRow("zip") << u"zip"_qs << u"zip:hdrcharset=UTF-8"_qs;
    }

    void unicodeNamesUnderTheCLocale()
    {
        QFETCH(QString, format);
        QFETCH(QString, options);
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"names.bin"_qs);
        const QByteArray name = u"Ünïcödé/日本語 ёж.txt"_qs.toUtf8();
        {
            // The writer takes names in the locale's charset.
            const Utf8LocaleScope utf8;
            QVERIFY(ArchiveMaker::write(archive, format, QString(),
                                        {ArchiveEntrySpec::file(name, "text"), ArchiveEntrySpec::file("plain", "p")},
                                        options));
        }
        const std::string previous = std::setlocale(LC_ALL, nullptr);
        std::setlocale(LC_ALL, "C");
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, dir.filePath(u"out"_qs), &delegate);
        std::setlocale(LC_ALL, previous.c_str());
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(readAll(result.created + u"/Ünïcödé/日本語 ёж.txt"_qs), QByteArray("text"));
        QCOMPARE(delegate.encodingRequests, 0);
    }

    void unicodeCorpusNamesUnderTheCLocale_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("expectedName");
        QTest::newRow("rar4") << u"test_read_format_rar_unicode.rar"_qs
                              << u"表だよ/漢字長いファイル名long-filename-in-漢字.txt"_qs;
        QTest::newRow("rar5") << u"test_read_format_rar5_unicode.rar"_qs << u"👋🌎.txt"_qs;
        QTest::newRow("zip 0x7075") << u"test_read_format_zip_7075_utf8_paths.zip"_qs << QString();
    }

    void unicodeCorpusNamesUnderTheCLocale()
    {
        QFETCH(QString, archive);
        QFETCH(QString, expectedName);
        bool ok = false;
        const Tree expected = filesAndLinks(referenceTree({TestEnvironment::corpusPath(archive)}, &ok));
        QVERIFY(ok);
        QTemporaryDir dir;
        const std::string previous = std::setlocale(LC_ALL, nullptr);
        std::setlocale(LC_ALL, "C");
        RecordingDelegate delegate;
        const EngineResult result = runEngine(TestEnvironment::corpusPath(archive), dir.path(), &delegate, false);
        std::setlocale(LC_ALL, previous.c_str());
        QCOMPARE(result.unarchive, 0);
        const Tree actual = filesAndLinks(listTree(result.created));
        // The reference reads in this test's UTF-8 locale.
        QVERIFY2(actual == expected, qPrintable(describeTree(actual) + u"\n---\n"_qs + describeTree(expected)));
        if (!expectedName.isEmpty()) {
            bool found = false;
            for (auto it = actual.cbegin(); it != actual.cend(); ++it)
                found = found || QString::fromUtf8(it.key()).contains(expectedName);
            QVERIFY2(found, qPrintable(describeTree(actual)));
        }
    }

    // Legacy names go through the delegate, which names the encoding.
    void legacyZipNamesAreDecodedWithTheChosenEncoding()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"dos.zip"_qs);
        LegacyZipWriter writer(LegacyZipWriter::hostMsDos);
        // "ПРИВЕТ.TXT" and "отчёт.doc" in code page 866.
        writer.add(QByteArray("\x8f\x90\x88\x82\x85\x92.TXT"), "hello");
        writer.add(QByteArray("\xae\xe2\xe7\xf1\xe2.doc"), "report");
        QVERIFY(writer.write(archive));
        RecordingDelegate delegate;
        delegate.encodingAnswer = u"IBM866"_qs;
        const EngineResult result = runEngine(archive, dir.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QVERIFY(delegate.encodingRequests > 0);
        QCOMPARE(readAll(result.created + u"/ПРИВЕТ.TXT"_qs), QByteArray("hello"));
        QCOMPARE(readAll(result.created + u"/отчёт.doc"_qs), QByteArray("report"));
    }

    void noEncodingChosenStopsTheRun()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"dos.zip"_qs);
        LegacyZipWriter writer(LegacyZipWriter::hostMsDos);
        writer.add("plain.txt", "fine");
        writer.add(QByteArray("\x8f\x90\x88\x82\x85\x92.TXT"), "hello");
        QVERIFY(writer.write(archive));
        const QString destination = dir.filePath(u"out"_qs);
        RecordingDelegate delegate;
        delegate.encodingAnswer = u"-"_qs;
        QCOMPARE(runEngine(archive, destination, &delegate).unarchive, int(XADEncodingError));
        QVERIFY(QDir(destination).isEmpty());
        // With the item cancelled as well, it is a cancel.
        struct StopOnAsk : RecordingDelegate {
            QString encodingNameForXADString(XADSimpleUnarchiver *, const XADString &) override
            {
                stop = true;
                return QString();
            }
        } stopping;
        QCOMPARE(runEngine(archive, destination, &stopping).unarchive, int(XADBreakError));
        QVERIFY(QDir(destination).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestEngineFormats)
#include "test_engine_formats.moc"
