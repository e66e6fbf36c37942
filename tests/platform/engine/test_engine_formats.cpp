#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "LegacyZipWriter.h"
#include "TestEnvironment.h"
#include "platform/engine/Utf8LocaleScope.h"
#include "platform/errors/XADException.h"
#include "platform/files/ProcessUmask.h"
#include "platform/unarchiver/XADSimpleUnarchiver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <clocale>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace {

QStringList leftIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The engine under the C locale, as a desktop session without one starts it.
EngineResult runInCLocale(const QString &archive, const QString &destination, RecordingDelegate *delegate,
                          bool removeSoloFolder = true)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    const EngineResult result = runEngine(archive, destination, delegate, removeSoloFolder);
    std::setlocale(LC_ALL, previous.c_str());
    return result;
}

} // namespace

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
        QList<ArchiveEntrySpec> entries = {ArchiveEntrySpec::file("docs/readme.txt", "Read me.\n"),
                                           ArchiveEntrySpec::file("docs/sub/data.bin", binary),
                                           ArchiveEntrySpec::file("notes.txt", QByteArray(3000, 'n'), 0600)};
        if (withSymlink)
            entries << ArchiveEntrySpec::directory("docs") << ArchiveEntrySpec::symlink("docs/link", "readme.txt");
        return entries;
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
        for (const auto &[filter, suffix] : QList<QPair<QString, QString>>{
                 {u"gzip"_qs, u"gz"_qs}, {u"bzip2"_qs, u"bz2"_qs}, {u"xz"_qs, u"xz"_qs}, {u"lzma"_qs, u"lzma"_qs},
                 {u"zstd"_qs, u"zst"_qs}, {u"lz4"_qs, u"lz4"_qs}, {u"lzip"_qs, u"lz"_qs}, {u"compress"_qs, u"Z"_qs}})
            QTest::newRow(qPrintable(u"pax+"_qs + filter)) << u"pax"_qs << filter << u"sample.tar."_qs + suffix << true;
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
        const QString destination = dir.filePath(u"out"_qs);
        RecordingDelegate delegate;
        const EngineResult result = makeAndRun(dir.filePath(fileName), format, filter, sampleEntries(symlink),
                                               destination, &delegate);
        QCOMPARE(result.parse, 0);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(result.created, destination + u"/sample"_qs);
        const QString root = result.created;
        QCOMPARE(readAll(root + u"/docs/readme.txt"_qs), QByteArray("Read me.\n"));
        QCOMPARE(readAll(root + u"/docs/sub/data.bin"_qs), binary);
        QCOMPARE(readAll(root + u"/notes.txt"_qs), QByteArray(3000, 'n'));
        QCOMPARE(QFileInfo(root + u"/notes.txt"_qs).lastModified().toSecsSinceEpoch(), 1700000000);
        if (symlink)
            QCOMPARE(QFileInfo(root + u"/docs/link"_qs).symLinkTarget(), root + u"/docs/readme.txt"_qs);
        QVERIFY(delegate.entryErrors.isEmpty());
        QCOMPARE(leftIn(destination), QStringList{u"sample"_qs});
    }

    // Old RAR volume names ("x.rar", "x.r00"...) and plain splits ("x.rar.001"...)
    // are found from the first file; the last volume alone is not the archive.
    void volumeNamingSchemes_data()
    {
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QStringList>("names");
        QStringList parts;
        for (int i = 1; i <= 6; ++i)
            parts.append(u"test_rar_multivolume_multiple_files.part%1.rar"_qs.arg(i));
        QTest::newRow("x.rar x.r00") << parts
                                     << QStringList{u"x.rar"_qs, u"x.r00"_qs, u"x.r01"_qs, u"x.r02"_qs, u"x.r03"_qs,
                                                    u"x.r04"_qs};
        QTest::newRow("x.rar.001") << QStringList{u"test_read_splitted_rar_aa"_qs, u"test_read_splitted_rar_ab"_qs,
                                                  u"test_read_splitted_rar_ac"_qs, u"test_read_splitted_rar_ad"_qs}
                                   << QStringList{u"x.rar.001"_qs, u"x.rar.002"_qs, u"x.rar.003"_qs, u"x.rar.004"_qs};
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
        QVERIFY(filesAndLinks(referenceTree({volumes.constLast()}, &ok)) != expected);
    }

    // One top-level item comes out on its own, several in a folder named after
    // the archive; either way under a name nothing in the destination has.
    void layoutOfTheResult_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QByteArrayList>("paths");
        QTest::addColumn<QString>("occupied"); // made in the destination first
        QTest::addColumn<QString>("created");
        QTest::newRow("solo file") << u"bundle.zip"_qs << QByteArrayList{"report.pdf"} << u"report.pdf"_qs
                                   << u"report 2.pdf"_qs;
        QTest::newRow("solo folder") << u"photos-2024.tar.gz"_qs << QByteArrayList{"Holiday/a.jpg", "Holiday/b.jpg"}
                                     << QString() << u"Holiday"_qs;
        QTest::newRow("several items") << u"x.tar.bz2"_qs << QByteArrayList{"a", "b"} << u"x/"_qs << u"x 2"_qs;
    }

    void layoutOfTheResult()
    {
        QFETCH(QString, archive);
        QFETCH(QByteArrayList, paths);
        QFETCH(QString, occupied);
        QFETCH(QString, created);
        QTemporaryDir dir;
        const QString destination = dir.filePath(u"out"_qs);
        if (occupied.endsWith(u'/'))
            QVERIFY(QDir().mkpath(destination + u'/' + occupied));
        else if (!occupied.isEmpty())
            QVERIFY(writeFile(destination + u'/' + occupied, "old"));
        QList<ArchiveEntrySpec> entries;
        for (const QByteArray &path : paths)
            entries.append(ArchiveEntrySpec::file(path, "new " + path));
        const QString format = archive.endsWith(u".zip"_qs) ? u"zip"_qs : u"gnutar"_qs;
        const QString filter = archive.endsWith(u".zip"_qs) ? QString() : archive.endsWith(u"gz"_qs) ? u"gzip"_qs : u"bzip2"_qs;
        RecordingDelegate delegate;
        const EngineResult result = makeAndRun(dir.filePath(archive), format, filter, entries, destination, &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(result.created, destination + u'/' + created);
        const QString last = QString::fromUtf8(paths.constLast());
        QCOMPARE(readAll(paths.size() == 1 ? result.created : destination + u'/' + created + u'/'
                                                                  + last.mid(last.indexOf(u'/') + 1)),
                 "new " + paths.constLast());
        // What was there stays as it was, and nothing else is left behind, the staging folder included.
        if (occupied.endsWith(u'/'))
            QVERIFY(QDir(destination + u'/' + occupied).isEmpty());
        else if (!occupied.isEmpty())
            QCOMPARE(readAll(destination + u'/' + occupied), QByteArray("old"));
        QCOMPARE(leftIn(destination).size(), occupied.isEmpty() ? 1 : 2);
        // A fresh folder gets ordinary permissions, not the staging folder's private ones.
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(result.created).constData(), &st), 0);
        if (S_ISDIR(st.st_mode))
            QCOMPARE(st.st_mode & 0777, 0777 & ~ProcessUmask::value());
    }

    void duplicatePathsNeverOverwrite()
    {
        QTemporaryDir dir;
        RecordingDelegate delegate;
        const EngineResult result = makeAndRun(
            dir.filePath(u"dups.tar"_qs), u"pax"_qs, QString(),
            {ArchiveEntrySpec::file("a.txt", "first"), ArchiveEntrySpec::directory("d"), ArchiveEntrySpec::file("d/one", "1"),
             ArchiveEntrySpec::file("a.txt", "second"), ArchiveEntrySpec::directory("d"), ArchiveEntrySpec::file("d/two", "2"),
             ArchiveEntrySpec::file("a.txt", "third"), ArchiveEntrySpec::file("x", "a file named x"),
             ArchiveEntrySpec::file("x/y", "below a folder named x"), ArchiveEntrySpec::hardlink("linked.txt", "a.txt")},
            dir.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        const QString root = result.created;
        QCOMPARE(readAll(root + u"/a.txt"_qs), QByteArray("first"));
        QCOMPARE(readAll(root + u"/a 2.txt"_qs), QByteArray("second"));
        QCOMPARE(readAll(root + u"/a 3.txt"_qs), QByteArray("third"));
        QCOMPARE(readAll(root + u"/d/two"_qs), QByteArray("2"));
        QVERIFY(!QFileInfo::exists(root + u"/d 2"_qs));
        QCOMPARE(readAll(root + u"/x"_qs), QByteArray("a file named x"));
        QCOMPARE(readAll(root + u"/x 2/y"_qs), QByteArray("below a folder named x"));
        // A link names the latest entry of that path, as tar means it.
        QCOMPARE(readAll(root + u"/linked.txt"_qs), QByteArray("third"));
        QVERIFY(delegate.entryErrors.isEmpty());
    }

    // The probe the archive item moves its result with: "name 2.ext", "name 3.ext"...
    void uniquePaths_data()
    {
        QTest::addColumn<QStringList>("existing"); // a trailing '/' makes a folder, '@' a dangling link
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << QStringList() << u"report.pdf"_qs << u"report.pdf"_qs;
        QTest::newRow("taken") << QStringList{u"report.pdf"_qs} << u"report.pdf"_qs << u"report 2.pdf"_qs;
        QTest::newRow("twice") << QStringList{u"report.pdf"_qs, u"report 2.pdf"_qs} << u"report.pdf"_qs
                               << u"report 3.pdf"_qs;
        QTest::newRow("folder") << QStringList{u"photos/"_qs} << u"photos"_qs << u"photos 2"_qs;
        QTest::newRow("folder with a dot") << QStringList{u"v1.2/"_qs} << u"v1.2"_qs << u"v1.2 2"_qs;
        QTest::newRow("double extension") << QStringList{u"a.tar.gz"_qs} << u"a.tar.gz"_qs << u"a 2.tar.gz"_qs;
        QTest::newRow("upper-case tar") << QStringList{u"a.TAR.xz"_qs} << u"a.TAR.xz"_qs << u"a 2.TAR.xz"_qs;
        QTest::newRow("hidden") << QStringList{u".hidden"_qs} << u".hidden"_qs << u".hidden 2"_qs;
        QTest::newRow("no extension") << QStringList{u"Makefile"_qs} << u"Makefile"_qs << u"Makefile 2"_qs;
        QTest::newRow("a dot in words") << QStringList{u"Chapter 1. The start"_qs} << u"Chapter 1. The start"_qs
                                        << u"Chapter 1. The start 2"_qs;
        QTest::newRow("dangling link") << QStringList{u"dangling@"_qs} << u"dangling"_qs << u"dangling 2"_qs;
    }

    void uniquePaths()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, wanted);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString &name : existing) {
            if (name.endsWith(u'/'))
                QVERIFY(QDir().mkpath(dir.filePath(name)));
            else if (name.endsWith(u'@'))
                QVERIFY(QFile::link(dir.filePath(u"nowhere"_qs), dir.filePath(name.chopped(1))));
            else
                QVERIFY(writeFile(dir.filePath(name), "x"));
        }
        QCOMPARE(XADSimpleUnarchiver::_findUniquePathForOriginalPath(dir.filePath(wanted)), dir.filePath(expected));
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
        for (const QString &name : {u"/a.txt"_qs, u"/b/c.txt"_qs}) {
            char value[256] = {};
            const ssize_t size = ::getxattr(QFile::encodeName(result.created + name).constData(),
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
        result = makeAndRun(dir.filePath(u"empty.tar"_qs), u"pax"_qs, QString(), {}, dir.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, int(XADNoEntriesError));
        QVERIFY(QDir(dir.filePath(u"out"_qs)).isEmpty());
    }

    // Byte counts where the headers give sizes; for a stream, whose size is
    // only known by reading it all, how much of the archive was read. Either
    // way at most 50 reports a second, plus the first and the last.
    void progress_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("bytes");
        QTest::newRow("zip: bytes") << u"p.zip"_qs << true;
        QTest::newRow("tar.gz: estimated") << u"p.tar.gz"_qs << false;
    }

    void progress()
    {
        QFETCH(QString, fileName);
        QFETCH(bool, bytes);
        QList<ArchiveEntrySpec> entries = sampleEntries(false);
        for (int i = 0; i < 3000; ++i)
            entries.append(ArchiveEntrySpec::file("f/" + QByteArray::number(i), QByteArray(600, 'x')));
        QTemporaryDir dir;
        RecordingDelegate delegate;
        QElapsedTimer timer;
        timer.start();
        const EngineResult result = makeAndRun(dir.filePath(fileName), bytes ? u"zip"_qs : u"pax"_qs,
                                               bytes ? QString() : u"gzip"_qs, entries, dir.filePath(u"out"_qs), &delegate);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(result.unarchive, 0);
        QVERIFY(delegate.fractionsInRange);
        const int reports = delegate.byteReports + delegate.estimatedReports;
        QVERIFY2(reports >= 1 && reports <= elapsed / 20 + 2, qPrintable(u"%1 reports in %2 ms"_qs.arg(reports).arg(elapsed)));
        QCOMPARE(bytes ? delegate.estimatedReports : delegate.byteReports, 0);
        if (bytes) {
            QCOMPARE(delegate.lastTotalSize, qint64(9 + binary.size() + 3000 + 3000 * 600));
            QCOMPARE(delegate.lastTotal, delegate.lastTotalSize);
        } else {
            QCOMPARE(delegate.lastFraction, 1.0);
        }
    }

    // Names declared Unicode come out right whatever the process locale, and
    // nobody is asked about them.
    void unicodeNamesUnderTheCLocale_data()
    {
        QTest::addColumn<QString>("format"); // empty: a corpus archive
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("expectedName");
        const QString made = u"Ünïcödé/日本語 ёж.txt"_qs;
        QTest::newRow("7zip") << u"7zip"_qs << u"names.7z"_qs << made;
        QTest::newRow("pax") << u"pax"_qs << u"names.tar"_qs << made;
        QTest::newRow("zip") << u"zip"_qs << u"names.zip"_qs << made;
        QTest::newRow("rar4") << QString() << u"test_read_format_rar_unicode.rar"_qs
                              << u"表だよ/漢字長いファイル名long-filename-in-漢字.txt"_qs;
        QTest::newRow("rar5") << QString() << u"test_read_format_rar5_unicode.rar"_qs << u"👋🌎.txt"_qs;
        QTest::newRow("zip 0x7075") << QString() << u"test_read_format_zip_7075_utf8_paths.zip"_qs << QString();
    }

    void unicodeNamesUnderTheCLocale()
    {
        QFETCH(QString, format);
        QFETCH(QString, archive);
        QFETCH(QString, expectedName);
        QTemporaryDir dir;
        QString path = TestEnvironment::corpusPath(archive);
        if (!format.isEmpty()) {
            path = dir.filePath(archive);
            const Utf8LocaleScope utf8; // the writer takes names in the locale's charset
            QVERIFY(ArchiveMaker::write(path, format, QString(),
                                        {ArchiveEntrySpec::file(expectedName.toUtf8(), "text"),
                                         ArchiveEntrySpec::file("plain", "p")},
                                        format == u"zip"_qs ? u"zip:hdrcharset=UTF-8"_qs : QString()));
        }
        bool ok = false;
        const Tree expected = filesAndLinks(referenceTree({path}, &ok)); // read in this test's UTF-8 locale
        QVERIFY(ok);
        RecordingDelegate delegate;
        const EngineResult result = runInCLocale(path, dir.filePath(u"out"_qs), &delegate, false);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(delegate.encodingRequests, 0);
        const Tree actual = filesAndLinks(listTree(result.created));
        QVERIFY2(actual == expected, qPrintable(describeTree(actual) + u"\n---\n"_qs + describeTree(expected)));
        if (!expectedName.isEmpty()) {
            const QStringList names = describeTree(actual).split(u'\n');
            QVERIFY2(std::any_of(names.cbegin(), names.cend(), [&](const QString &n) { return n.contains(expectedName); }),
                     qPrintable(describeTree(actual)));
        }
    }

    // Legacy names the delegate finds no encoding for stop the run; with the
    // item cancelled as well, it is a cancel.
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
