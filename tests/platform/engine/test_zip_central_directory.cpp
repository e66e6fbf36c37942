#include "ArchiveMaker.h"
#include "LegacyZipWriter.h"
#include "TestEnvironment.h"
#include "platform/engine/formats/ZipCentralDirectory.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestZipCentralDirectory : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readsLegacyNamesFromWindowsZip();
    void tellsUnicodeNamesApart();
    void weighsHostsOfLegacyNames();
    void readsBehindAStub();
    void seesThroughACommentThatLooksLikeAnEnd();
    void readsLibarchiveZip();
    void readsRealArchives();
    void emptyZipHasNoEntries();
    void rejectsWhatIsNoZip();
    void rejectsDamagedDirectories();
    void readsLargeDirectoriesQuickly();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    static QByteArray contents(const QString &path);
    static bool store(const QString &path, const QByteArray &bytes);

    std::unique_ptr<TestEnvironment> m_environment;
    QTemporaryDir m_dir;
};

void TestZipCentralDirectory::initTestCase()
{
    m_environment = std::make_unique<TestEnvironment>();
    QVERIFY(m_dir.isValid());
}

QByteArray TestZipCentralDirectory::contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TestZipCentralDirectory::store(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void TestZipCentralDirectory::readsLegacyNamesFromWindowsZip()
{
    LegacyZipWriter writer(LegacyZipWriter::hostMsDos);
    writer.add(QByteArray("Caf\x82.txt"), QByteArray("coffee"));
    writer.add(QByteArray("docs/"));
    writer.add(QByteArray("docs/\x8f\xe0\xa8\xa2\xa5\xe2.txt"), QByteArray("hello"));
    QVERIFY(writer.write(path(u"windows.zip"_qs)));

    const auto entries = ZipCentralDirectory::read(path(u"windows.zip"_qs));
    QVERIFY(entries.has_value());
    QCOMPARE(entries->size(), 3);
    QCOMPARE(entries->at(0).rawName, QByteArray("Caf\x82.txt"));
    QCOMPARE(entries->at(1).rawName, QByteArray("docs/"));
    QCOMPARE(entries->at(2).rawName, QByteArray("docs/\x8f\xe0\xa8\xa2\xa5\xe2.txt"));
    for (const auto &entry : *entries) {
        QVERIFY(!entry.utf8Flag);
        QVERIFY(!entry.hasUnicodePathField);
        QVERIFY(!entry.isUnicode());
        QCOMPARE(entry.hostSystem, quint8(0));
        QVERIFY(entry.isFromWindowsHost());
    }
    QVERIFY(ZipCentralDirectory::prefersOEMCodePages(*entries));
    QCOMPARE(ZipCentralDirectory::legacyNames(*entries).size(), 3);
}

void TestZipCentralDirectory::tellsUnicodeNamesApart()
{
    LegacyZipWriter writer(LegacyZipWriter::hostNtfs);
    LegacyZipWriter::Entry flagged;
    flagged.name = QByteArray("\xe4\xb8\xad.txt");
    flagged.utf8Flag = true;
    LegacyZipWriter::Entry unicodePath;
    unicodePath.name = QByteArray("\xd6\xd0.txt");
    unicodePath.unicodePath = QByteArray("\xe4\xb8\xad.txt");
    LegacyZipWriter::Entry stale = unicodePath;
    stale.name = QByteArray("\xd6\xd0\xce\xc4.txt");
    stale.staleUnicodePath = true;
    writer.add(flagged);
    writer.add(unicodePath);
    writer.add(stale);
    writer.add(QByteArray("\xce\xc4.txt"));
    QVERIFY(writer.write(path(u"mixed.zip"_qs)));

    const auto entries = ZipCentralDirectory::read(path(u"mixed.zip"_qs));
    QVERIFY(entries.has_value());
    QCOMPARE(entries->size(), 4);
    QVERIFY(entries->at(0).utf8Flag && entries->at(0).isUnicode());
    QVERIFY(!entries->at(1).utf8Flag && entries->at(1).hasUnicodePathField);
    QVERIFY(entries->at(1).isUnicode());
    // A field whose checksum does not match the stored name is stale.
    QVERIFY(!entries->at(2).hasUnicodePathField && !entries->at(2).isUnicode());
    QVERIFY(!entries->at(3).isUnicode());
    QCOMPARE(ZipCentralDirectory::legacyNames(*entries),
             (QList<QByteArray>{QByteArray("\xd6\xd0\xce\xc4.txt"), QByteArray("\xce\xc4.txt")}));
    QCOMPARE(entries->at(0).hostSystem, quint8(11));
    QVERIFY(entries->at(0).isFromWindowsHost());
}

void TestZipCentralDirectory::weighsHostsOfLegacyNames()
{
    QVERIFY(ZipCentralDirectory::isWindowsHost(0));
    QVERIFY(ZipCentralDirectory::isWindowsHost(11));
    QVERIFY(ZipCentralDirectory::isWindowsHost(14));
    QVERIFY(!ZipCentralDirectory::isWindowsHost(3));
    QVERIFY(!ZipCentralDirectory::isWindowsHost(19));

    ZipCentralDirectory::Entry dos{QByteArray("\x82.txt"), false, false, 0};
    ZipCentralDirectory::Entry unix{QByteArray("\xd0\xd2.txt"), false, false, 3};
    ZipCentralDirectory::Entry unixAscii{QByteArray("plain.txt"), false, false, 3};
    ZipCentralDirectory::Entry unixUnicode{QByteArray("\xc3\xa9.txt"), true, false, 3};
    QVERIFY(ZipCentralDirectory::prefersOEMCodePages({dos}));
    QVERIFY(!ZipCentralDirectory::prefersOEMCodePages({unix}));
    // Hosts of ASCII and Unicode names do not matter: only legacy bytes do.
    QVERIFY(ZipCentralDirectory::prefersOEMCodePages({dos, unixAscii, unixAscii, unixUnicode}));
    QVERIFY(!ZipCentralDirectory::prefersOEMCodePages({dos, unix, unix}));
    QVERIFY(!ZipCentralDirectory::prefersOEMCodePages({}));
}

// Self-extracting archives carry a program in front; their offsets may
// count from the start of the zip part.
void TestZipCentralDirectory::readsBehindAStub()
{
    LegacyZipWriter writer;
    writer.setStub(QByteArray(5000, 'M') + QByteArray("PK\x05\x06 not the end"));
    writer.add(QByteArray("\x93\xfa\x96\x7b.txt"), QByteArray("x"));
    QVERIFY(writer.write(path(u"stub.exe"_qs)));
    const auto entries = ZipCentralDirectory::read(path(u"stub.exe"_qs));
    QVERIFY(entries.has_value());
    QCOMPARE(entries->size(), 1);
    QCOMPARE(entries->at(0).rawName, QByteArray("\x93\xfa\x96\x7b.txt"));
}

// A comment may hold bytes that look like an end record; the real one is
// the record whose directory is there.
void TestZipCentralDirectory::seesThroughACommentThatLooksLikeAnEnd()
{
    QByteArray fakeEnd("PK\x05\x06", 4);
    fakeEnd += QByteArray(8, '\0') + QByteArray("\x10\0\0\0\x05\0\0\0", 8) + QByteArray(2, '\0');
    LegacyZipWriter writer;
    writer.setComment(QByteArray("made by hand ") + fakeEnd + QByteArray(" end"));
    writer.add(QByteArray("Caf\x82.txt"), QByteArray("coffee"));
    QVERIFY(writer.write(path(u"comment.zip"_qs)));
    const auto entries = ZipCentralDirectory::read(path(u"comment.zip"_qs));
    QVERIFY(entries.has_value());
    QCOMPARE(entries->size(), 1);
    QCOMPARE(entries->at(0).rawName, QByteArray("Caf\x82.txt"));
}

void TestZipCentralDirectory::readsLibarchiveZip()
{
    const QString zip = path(u"libarchive.zip"_qs);
    QVERIFY(ArchiveMaker::write(zip, u"zip"_qs, QString(),
                                {ArchiveEntrySpec::file("\xe4\xb8\xad\xe6\x96\x87.txt", "x"),
                                 ArchiveEntrySpec::file("plain.txt", "y")}));
    const auto entries = ZipCentralDirectory::read(zip);
    QVERIFY(entries.has_value());
    QCOMPARE(entries->size(), 2);
    QCOMPARE(entries->at(0).rawName, QByteArray("\xe4\xb8\xad\xe6\x96\x87.txt"));
    QVERIFY(entries->at(0).isUnicode());
    QCOMPARE(entries->at(0).hostSystem, quint8(3));
    QVERIFY(!ZipCentralDirectory::prefersOEMCodePages(*entries));
}

void TestZipCentralDirectory::readsRealArchives()
{
    const auto cp932 = ZipCentralDirectory::read(
        TestEnvironment::corpusPath(u"test_read_format_zip_filename_cp932.zip"_qs));
    QVERIFY(cp932.has_value());
    QCOMPARE(cp932->size(), 2);
    QCOMPARE(cp932->at(1).rawName, QByteArray("\x95\x5c\x82\xbe\x82\xe6/\x8a\xbf\x8e\x9a.txt"));
    QVERIFY(cp932->at(1).isFromWindowsHost());
    QVERIFY(ZipCentralDirectory::prefersOEMCodePages(*cp932));

    const auto utf8 = ZipCentralDirectory::read(
        TestEnvironment::corpusPath(u"test_read_format_zip_filename_utf8_ru2.zip"_qs));
    QVERIFY(utf8.has_value());
    QCOMPARE(utf8->size(), 2);
    QVERIFY(!utf8->at(0).isUnicode());
    QVERIFY(utf8->at(1).utf8Flag);

    const auto unicodePath = ZipCentralDirectory::read(
        TestEnvironment::corpusPath(u"test_read_format_zip_7075_utf8_paths.zip"_qs));
    QVERIFY(unicodePath.has_value());
    QCOMPARE(unicodePath->size(), 4);
    QVERIFY(unicodePath->at(3).hasUnicodePathField);
    QVERIFY(!unicodePath->at(1).isUnicode());

    for (const char *name : {"test_read_format_zip_zip64a.zip", "test_read_format_zip_zip64b.zip"}) {
        const auto zip64 = ZipCentralDirectory::read(TestEnvironment::corpusPath(QString::fromLatin1(name)));
        QVERIFY2(zip64.has_value(), name);
        QCOMPARE(zip64->size(), 1);
        QCOMPARE(zip64->at(0).rawName, QByteArray("-"));
    }
    const auto commented = ZipCentralDirectory::read(
        TestEnvironment::corpusPath(u"test_read_format_zip_comment_stored_2.zip"_qs));
    QVERIFY(commented.has_value());
    QCOMPARE(commented->size(), 2);
    const auto sfx = ZipCentralDirectory::read(
        TestEnvironment::corpusPath(u"test_read_format_zip_sfx"_qs));
    QVERIFY(sfx.has_value());
    QCOMPARE(sfx->size(), 2);
}

void TestZipCentralDirectory::emptyZipHasNoEntries()
{
    QVERIFY(LegacyZipWriter().write(path(u"empty.zip"_qs)));
    const auto entries = ZipCentralDirectory::read(path(u"empty.zip"_qs));
    QVERIFY(entries.has_value());
    QVERIFY(entries->isEmpty());
}

void TestZipCentralDirectory::rejectsWhatIsNoZip()
{
    QVERIFY(!ZipCentralDirectory::read(path(u"missing.zip"_qs)).has_value());
    QVERIFY(store(path(u"blank.zip"_qs), QByteArray()));
    QVERIFY(!ZipCentralDirectory::read(path(u"blank.zip"_qs)).has_value());
    QVERIFY(store(path(u"text.zip"_qs), QByteArray(100000, 'a')));
    QVERIFY(!ZipCentralDirectory::read(path(u"text.zip"_qs)).has_value());
    const QString tar = path(u"archive.tar"_qs);
    QVERIFY(ArchiveMaker::write(tar, u"pax"_qs, QString(), {ArchiveEntrySpec::file("a.txt", "a")}));
    QVERIFY(!ZipCentralDirectory::read(tar).has_value());
}

void TestZipCentralDirectory::rejectsDamagedDirectories()
{
    LegacyZipWriter writer;
    writer.add(QByteArray("first.txt"), QByteArray(300, 'x'));
    writer.add(QByteArray("second.txt"), QByteArray(300, 'y'));
    QVERIFY(writer.write(path(u"good.zip"_qs)));
    const QByteArray good = contents(path(u"good.zip"_qs));
    const qsizetype end = good.size() - 22;
    const qsizetype directory = good.indexOf(QByteArray("PK\x01\x02", 4));
    QVERIFY(directory > 0);

    // The end record claims a directory bigger than the file.
    QByteArray oversized = good;
    oversized[end + 12] = '\xff';
    oversized[end + 13] = '\xff';
    oversized[end + 14] = '\xff';
    QVERIFY(store(path(u"oversized.zip"_qs), oversized));
    QVERIFY(!ZipCentralDirectory::read(path(u"oversized.zip"_qs)).has_value());

    // A name length that runs past the directory.
    QByteArray overrun = good;
    overrun[directory + 28] = '\xff';
    overrun[directory + 29] = '\x7f';
    QVERIFY(store(path(u"overrun.zip"_qs), overrun));
    QVERIFY(!ZipCentralDirectory::read(path(u"overrun.zip"_qs)).has_value());

    // Cut inside the directory: no end record any more.
    QVERIFY(store(path(u"cut.zip"_qs), good.left(directory + 20)));
    QVERIFY(!ZipCentralDirectory::read(path(u"cut.zip"_qs)).has_value());

    // A directory offset pointing at garbage, with no directory before the end record.
    QByteArray misplaced = good;
    misplaced[directory] = 'X';
    QVERIFY(store(path(u"misplaced.zip"_qs), misplaced));
    QVERIFY(!ZipCentralDirectory::read(path(u"misplaced.zip"_qs)).has_value());

    // A split archive keeps its directory on another disk.
    QByteArray split = good;
    split[end + 4] = '\x01';
    QVERIFY(store(path(u"split.zip"_qs), split));
    QVERIFY(!ZipCentralDirectory::read(path(u"split.zip"_qs)).has_value());
}

void TestZipCentralDirectory::readsLargeDirectoriesQuickly()
{
    LegacyZipWriter writer;
    for (int i = 0; i < 20000; ++i)
        writer.add(QByteArray("folder/\x8f\xe0\xa8\xa2\xa5\xe2 ") + QByteArray::number(i) + ".txt",
                   QByteArray(512, 'z'));
    QVERIFY(writer.write(path(u"large.zip"_qs)));
    QElapsedTimer timer;
    timer.start();
    const auto entries = ZipCentralDirectory::read(path(u"large.zip"_qs));
    const qint64 elapsed = timer.elapsed();
    QVERIFY(entries.has_value());
    QCOMPARE(entries->size(), 20000);
    QCOMPARE(entries->last().rawName, QByteArray("folder/\x8f\xe0\xa8\xa2\xa5\xe2 19999.txt"));
    qInfo() << "20000 entries read in" << elapsed << "ms";
    QVERIFY(elapsed < 2000);
}

QTEST_GUILESS_MAIN(TestZipCentralDirectory)
#include "test_zip_central_directory.moc"
