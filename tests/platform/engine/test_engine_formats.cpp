#include "EngineHarness.h"
#include "LegacyZipWriter.h"
#include "platform/engine/Utf8LocaleScope.h"
#include "platform/errors/XADException.h"
#include "platform/files/ProcessUmask.h"
#include "platform/unarchiver/XADSimpleUnarchiver.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <clocale>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace {

// Where a download came from, as browsers record it.
QByteArray originOf(const QString &path)
{
    char value[256] = {};
    const ssize_t size = ::getxattr(QFile::encodeName(path).constData(), "user.xdg.origin.url", value, sizeof value);
    return QByteArray(value, int(qMax<ssize_t>(size, 0)));
}

} // namespace

// Every format family extracts to the right tree; the layout rules (solo
// item, enclosing folder, unique names); entry names.
class TestEngineFormats : public QObject {
    Q_OBJECT

    QByteArray binary;

private Q_SLOTS:
    void initTestCase()
    {
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
        for (const auto &[format, suffix] : QList<QPair<QString, QString>>{
                 {u"zip"_qs, u"zip"_qs}, {u"7zip"_qs, u"7z"_qs}, {u"pax"_qs, u"tar"_qs}, {u"cpio"_qs, u"cpio"_qs},
                 {u"iso9660"_qs, u"iso"_qs}, {u"xar"_qs, u"xar"_qs}})
            QTest::newRow(qPrintable(format)) << format << QString() << u"sample."_qs + suffix;
        for (const auto &[filter, suffix] : QList<QPair<QString, QString>>{
                 {u"gzip"_qs, u"gz"_qs}, {u"bzip2"_qs, u"bz2"_qs}, {u"xz"_qs, u"xz"_qs}, {u"lzma"_qs, u"lzma"_qs},
                 {u"zstd"_qs, u"zst"_qs}, {u"lz4"_qs, u"lz4"_qs}, {u"lzip"_qs, u"lz"_qs}, {u"compress"_qs, u"Z"_qs}})
            QTest::newRow(qPrintable(u"pax+"_qs + filter)) << u"pax"_qs << filter << u"sample.tar."_qs + suffix;
        QTest::newRow("gnutar+gzip") << u"gnutar"_qs << u"gzip"_qs << u"sample.tgz"_qs;
    }

    // Where the archive was downloaded from travels on to what it held.
    void formatsWrittenAtTestTime()
    {
        QFETCH(QString, format);
        QFETCH(QString, filter);
        QFETCH(QString, fileName);
        QTemporaryDir dir;
        const QString archive = dir.filePath(fileName);
        QList<ArchiveEntrySpec> entries = {ArchiveEntrySpec::file("docs/readme.txt", "Read me.\n"),
                                           ArchiveEntrySpec::file("docs/sub/data.bin", binary),
                                           ArchiveEntrySpec::file("notes.txt", QByteArray(3000, 'n'), 0600)};
        // The test writer gives folders and symlinks no size, which cpio insists on.
        const bool symlink = format != u"cpio"_qs;
        if (symlink)
            entries << ArchiveEntrySpec::directory("docs") << ArchiveEntrySpec::symlink("docs/link", "readme.txt");
        QVERIFY(ArchiveMaker::write(archive, format, filter, entries));
        const QByteArray origin("https://example.org/" + QFile::encodeName(fileName));
        const bool xattrs = ::setxattr(QFile::encodeName(archive).constData(), "user.xdg.origin.url",
                                       origin.constData(), size_t(origin.size()), 0) == 0;
        const QString destination = dir.filePath(u"out"_qs);
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, destination, &delegate);
        QCOMPARE(result.code(), 0);
        QCOMPARE(result.created, destination + u"/sample"_qs);
        const QString root = result.created;
        QCOMPARE(readAll(root + u"/docs/readme.txt"_qs), QByteArray("Read me.\n"));
        QCOMPARE(readAll(root + u"/docs/sub/data.bin"_qs), binary);
        QCOMPARE(readAll(root + u"/notes.txt"_qs), QByteArray(3000, 'n'));
        QCOMPARE(QFileInfo(root + u"/notes.txt"_qs).lastModified().toSecsSinceEpoch(), 1700000000);
        if (symlink)
            QCOMPARE(QFileInfo(root + u"/docs/link"_qs).symLinkTarget(), root + u"/docs/readme.txt"_qs);
        if (xattrs)
            QCOMPARE(originOf(root + u"/docs/sub/data.bin"_qs), origin);
        QVERIFY(delegate.entryErrors.isEmpty());
        QCOMPARE(entriesIn(destination), QStringList{u"sample"_qs});
    }

    // One top-level item comes out on its own, several in a folder named after
    // the archive, under a name nothing has (occupied: made first; '/': a folder).
    void layoutOfTheResult()
    {
        struct Case {
            QString archive;
            QByteArrayList paths;
            QString occupied, created;
        };
        for (const Case &c : {Case{u"bundle.zip"_qs, {"report.pdf"}, u"report.pdf"_qs, u"report 2.pdf"_qs},
                              Case{u"photos-2024.tar.gz"_qs, {"Holiday/a.jpg", "Holiday/b.jpg"}, {}, u"Holiday"_qs},
                              Case{u"x.tar.bz2"_qs, {"a", "b"}, u"x/"_qs, u"x 2"_qs}}) {
            QTemporaryDir dir;
            const QString destination = dir.filePath(u"out"_qs);
            if (c.occupied.endsWith(u'/'))
                QVERIFY(QDir().mkpath(destination + u'/' + c.occupied));
            else if (!c.occupied.isEmpty())
                QVERIFY(writeFile(destination + u'/' + c.occupied, "old"));
            QList<ArchiveEntrySpec> entries;
            for (const QByteArray &path : c.paths)
                entries.append(ArchiveEntrySpec::file(path, "new " + path));
            const bool zip = c.archive.endsWith(u".zip"_qs);
            RecordingDelegate delegate;
            const EngineResult result = makeAndRun(dir.filePath(c.archive), zip ? u"zip"_qs : u"gnutar"_qs,
                                                   zip ? QString() : c.archive.endsWith(u"gz"_qs) ? u"gzip"_qs : u"bzip2"_qs,
                                                   entries, destination, &delegate);
            QCOMPARE(result.unarchive, 0);
            QCOMPARE(result.created, destination + u'/' + c.created);
            const QString last = QString::fromUtf8(c.paths.constLast());
            QCOMPARE(readAll(c.paths.size() == 1 ? result.created : result.created + u'/' + last.mid(last.indexOf(u'/') + 1)),
                     "new " + c.paths.constLast());
            // What was there stays as it was, and nothing else is left behind, the staging folder included.
            if (c.occupied.endsWith(u'/'))
                QVERIFY(QDir(destination + u'/' + c.occupied).isEmpty());
            else if (!c.occupied.isEmpty())
                QCOMPARE(readAll(destination + u'/' + c.occupied), QByteArray("old"));
            QCOMPARE(entriesIn(destination).size(), c.occupied.isEmpty() ? 1 : 2);
            // A fresh folder gets ordinary permissions, not the staging folder's private ones.
            struct stat st;
            QCOMPARE(::stat(QFile::encodeName(result.created).constData(), &st), 0);
            if (S_ISDIR(st.st_mode))
                QCOMPARE(st.st_mode & 0777, 0777 & ~ProcessUmask::value());
        }
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
        QCOMPARE(readAll(root + u"/x 2/y"_qs), QByteArray("below a folder named x"));
        // A link names the latest entry of that path, as tar means it.
        QCOMPARE(readAll(root + u"/linked.txt"_qs), QByteArray("third"));
        QVERIFY(delegate.entryErrors.isEmpty());
    }

    // The probe the archive item moves its result with: "name 2.ext", "name 3.ext"...
    void uniquePaths()
    {
        // What is there (a trailing '/' makes a folder, '@' a dangling link),
        // the first of it wanted, and the name found for it.
        for (const QStringList &names : QList<QStringList>{
                 {u"report.pdf"_qs, u"report 2.pdf"_qs, u"report 3.pdf"_qs}, {u"v1.2/"_qs, u"v1.2 2"_qs},
                 {u"a.TAR.gz"_qs, u"a 2.TAR.gz"_qs}, {u".hidden"_qs, u".hidden 2"_qs},
                 {u"Chapter 1. The start"_qs, u"Chapter 1. The start 2"_qs}, {u"dangling@"_qs, u"dangling 2"_qs}}) {
            QTemporaryDir dir;
            for (const QString &name : names.mid(0, names.size() - 1)) {
                if (name.endsWith(u'/'))
                    QVERIFY(QDir().mkpath(dir.filePath(name)));
                else if (name.endsWith(u'@'))
                    QVERIFY(QFile::link(dir.filePath(u"nowhere"_qs), dir.filePath(name.chopped(1))));
                else
                    QVERIFY(writeFile(dir.filePath(name), "x"));
            }
            const QString wanted = dir.filePath(names.constFirst()).remove(QRegularExpression(u"[/@]$"_qs));
            QCOMPARE(XADSimpleUnarchiver::_findUniquePathForOriginalPath(wanted), dir.filePath(names.constLast()));
        }
    }

    // A compressed file that holds no archive comes out under its own name.
    void bareCompressedFiles()
    {
        const QByteArray text = QByteArray("plain notes, not an archive\n").repeated(1000);
        QTemporaryDir dir;
        QVERIFY(ArchiveMaker::writeRawCompressed(dir.filePath(u"notes.txt.xz"_qs), u"xz"_qs, text));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(dir.filePath(u"notes.txt.xz"_qs), dir.filePath(u"out"_qs), &delegate);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(result.created, dir.filePath(u"out/notes.txt"_qs));
        QCOMPARE(readAll(result.created), text);
        // Not even compressed: no archive at all.
        QVERIFY(writeFile(dir.filePath(u"notes.txt"_qs), text));
        QCOMPARE(runEngine(dir.filePath(u"notes.txt"_qs), dir.filePath(u"out2"_qs), &delegate).parse,
                 int(XADNotAnArchiveError));
    }

    // Names declared Unicode come out right under the C locale, as a desktop
    // session without one starts the program, and nobody is asked about them.
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
        const std::string previous = std::setlocale(LC_ALL, nullptr);
        std::setlocale(LC_ALL, "C");
        const EngineResult result = runEngine(path, dir.filePath(u"out"_qs), &delegate, false);
        std::setlocale(LC_ALL, previous.c_str());
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(delegate.encodingRequests, 0);
        const Tree actual = filesAndLinks(listTree(result.created));
        COMPARE_TREES(actual, expected);
        QVERIFY2(expectedName.isEmpty() || actual.contains(expectedName.toUtf8()), qPrintable(describeTree(actual)));
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
        struct NoAnswer : RecordingDelegate {
            QString encodingNameForXADString(XADSimpleUnarchiver *, const XADString &) override
            {
                stop = stopWhenUnanswered;
                return QString();
            }
        };
        for (const bool cancel : {false, true}) {
            NoAnswer delegate;
            delegate.stopWhenUnanswered = cancel;
            QCOMPARE(runEngine(archive, dir.filePath(u"out"_qs), &delegate).unarchive,
                     int(cancel ? XADBreakError : XADEncodingError));
            QVERIFY(QDir(dir.filePath(u"out"_qs)).isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestEngineFormats)
#include "test_engine_formats.moc"
