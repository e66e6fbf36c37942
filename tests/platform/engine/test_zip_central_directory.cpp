#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "LegacyZipWriter.h"
#include "TestEnvironment.h"
#include "platform/engine/formats/ZipCentralDirectory.h"

#include <QTemporaryDir>
#include <QtTest>

using Entries = QList<ZipCentralDirectory::Entry>;

// The zip's own directory, read for what libarchive does not tell: the raw
// bytes of legacy names, the UTF-8 flag, the Unicode path field and the host.
class TestZipCentralDirectory : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;
    QTemporaryDir dir;

    Entries readWritten(const LegacyZipWriter &writer)
    {
        const QString path = dir.filePath(u"written.zip"_qs);
        if (!writer.write(path))
            return {};
        return ZipCentralDirectory::read(path).value_or(Entries());
    }

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }

    void readsLegacyNamesFromWindowsZip()
    {
        LegacyZipWriter writer(LegacyZipWriter::hostMsDos);
        writer.add(QByteArray("Caf\x82.txt"), QByteArray("coffee"));
        writer.add(QByteArray("docs/"));
        writer.add(QByteArray("docs/\x8f\xe0\xa8\xa2\xa5\xe2.txt"), QByteArray("hello"));
        const Entries entries = readWritten(writer);
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries.at(2).rawName, QByteArray("docs/\x8f\xe0\xa8\xa2\xa5\xe2.txt"));
        for (const auto &entry : entries)
            QVERIFY(!entry.isUnicode() && entry.isFromWindowsHost());
        QVERIFY(ZipCentralDirectory::prefersOEMCodePages(entries));
        QCOMPARE(ZipCentralDirectory::legacyNames(entries).size(), 3);
    }

    // The UTF-8 flag and a matching Unicode path field make a name Unicode; a
    // field whose checksum does not match the stored name is stale.
    void tellsUnicodeNamesApart()
    {
        LegacyZipWriter writer(LegacyZipWriter::hostNtfs);
        LegacyZipWriter::Entry flagged{QByteArray("\xe4\xb8\xad.txt"), {}, true};
        LegacyZipWriter::Entry unicodePath{QByteArray("\xd6\xd0.txt"), {}, false, QByteArray("\xe4\xb8\xad.txt")};
        LegacyZipWriter::Entry stale = unicodePath;
        stale.name = QByteArray("\xd6\xd0\xce\xc4.txt");
        stale.staleUnicodePath = true;
        writer.add(flagged);
        writer.add(unicodePath);
        writer.add(stale);
        writer.add(QByteArray("\xce\xc4.txt"));
        const Entries entries = readWritten(writer);
        QCOMPARE(entries.size(), 4);
        QVERIFY(entries.at(0).utf8Flag && entries.at(0).isUnicode());
        QVERIFY(!entries.at(1).utf8Flag && entries.at(1).hasUnicodePathField && entries.at(1).isUnicode());
        QVERIFY(!entries.at(2).hasUnicodePathField && !entries.at(2).isUnicode());
        QVERIFY(!entries.at(3).isUnicode());
        QCOMPARE(ZipCentralDirectory::legacyNames(entries),
                 (QList<QByteArray>{QByteArray("\xd6\xd0\xce\xc4.txt"), QByteArray("\xce\xc4.txt")}));
        QCOMPARE(entries.at(0).hostSystem, quint8(11));
    }

    // Only hosts of legacy bytes count; ASCII and Unicode names say nothing.
    void weighsHostsOfLegacyNames()
    {
        QVERIFY(ZipCentralDirectory::isWindowsHost(14) && !ZipCentralDirectory::isWindowsHost(3)
                && !ZipCentralDirectory::isWindowsHost(19));
        const ZipCentralDirectory::Entry dos{QByteArray("\x82.txt"), false, false, 0};
        const ZipCentralDirectory::Entry unix{QByteArray("\xd0\xd2.txt"), false, false, 3};
        const ZipCentralDirectory::Entry unixAscii{QByteArray("plain.txt"), false, false, 3};
        const ZipCentralDirectory::Entry unixUnicode{QByteArray("\xc3\xa9.txt"), true, false, 3};
        QVERIFY(!ZipCentralDirectory::prefersOEMCodePages({unix}));
        QVERIFY(ZipCentralDirectory::prefersOEMCodePages({dos, unixAscii, unixAscii, unixUnicode}));
        QVERIFY(!ZipCentralDirectory::prefersOEMCodePages({dos, unix, unix}));
        QVERIFY(!ZipCentralDirectory::prefersOEMCodePages({}));
    }

    // A self-extractor's program in front, or a comment holding bytes that look
    // like an end record: the real end record is the one whose directory is there.
    void findsTheRealDirectory()
    {
        QByteArray fakeEnd("PK\x05\x06", 4);
        fakeEnd += QByteArray(8, '\0') + QByteArray("\x10\0\0\0\x05\0\0\0", 8) + QByteArray(2, '\0');
        LegacyZipWriter stub;
        stub.setStub(QByteArray(5000, 'M') + QByteArray("PK\x05\x06 not the end"));
        LegacyZipWriter comment;
        comment.setComment(QByteArray("made by hand ") + fakeEnd + QByteArray(" end"));
        for (LegacyZipWriter *writer : {&stub, &comment}) {
            writer->add(QByteArray("Caf\x82.txt"), QByteArray("coffee"));
            const Entries entries = readWritten(*writer);
            QCOMPARE(entries.size(), 1);
            QCOMPARE(entries.at(0).rawName, QByteArray("Caf\x82.txt"));
        }
        QVERIFY(LegacyZipWriter().write(dir.filePath(u"empty.zip"_qs)));
        const auto empty = ZipCentralDirectory::read(dir.filePath(u"empty.zip"_qs));
        QVERIFY(empty && empty->isEmpty());
    }

    void readsRealArchives()
    {
        const QString made = dir.filePath(u"libarchive.zip"_qs);
        QVERIFY(ArchiveMaker::write(made, u"zip"_qs, QString(), {ArchiveEntrySpec::file("\xe4\xb8\xad.txt", "x")}));
        const auto libarchive = ZipCentralDirectory::read(made);
        QVERIFY(libarchive && libarchive->size() == 1 && libarchive->at(0).isUnicode());
        QVERIFY(!ZipCentralDirectory::prefersOEMCodePages(*libarchive));
        const auto corpus = [](const char *name) {
            return ZipCentralDirectory::read(TestEnvironment::corpusPath(QString::fromLatin1(name))).value_or(Entries());
        };
        const Entries cp932 = corpus("test_read_format_zip_filename_cp932.zip");
        QCOMPARE(cp932.size(), 2);
        QCOMPARE(cp932.at(1).rawName, QByteArray("\x95\x5c\x82\xbe\x82\xe6/\x8a\xbf\x8e\x9a.txt"));
        QVERIFY(ZipCentralDirectory::prefersOEMCodePages(cp932));
        const Entries utf8 = corpus("test_read_format_zip_filename_utf8_ru2.zip");
        QVERIFY(utf8.size() == 2 && !utf8.at(0).isUnicode() && utf8.at(1).utf8Flag);
        const Entries unicodePath = corpus("test_read_format_zip_7075_utf8_paths.zip");
        QVERIFY(unicodePath.size() == 4 && unicodePath.at(3).hasUnicodePathField && !unicodePath.at(1).isUnicode());
        for (const char *name : {"test_read_format_zip_zip64a.zip", "test_read_format_zip_zip64b.zip"})
            QCOMPARE(corpus(name).value(0).rawName, QByteArray("-"));
        QCOMPARE(corpus("test_read_format_zip_comment_stored_2.zip").size(), 2);
        QCOMPARE(corpus("test_read_format_zip_sfx").size(), 2);
    }

    void rejectsWhatIsNoZipOrDamaged_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        LegacyZipWriter writer;
        writer.add(QByteArray("first.txt"), QByteArray(300, 'x'));
        writer.add(QByteArray("second.txt"), QByteArray(300, 'y'));
        QVERIFY(writer.write(dir.filePath(u"good.zip"_qs)));
        const QByteArray good = readAll(dir.filePath(u"good.zip"_qs));
        const qsizetype end = good.size() - 22;
        const qsizetype directory = good.indexOf(QByteArray("PK\x01\x02", 4));
        QVERIFY(directory > 0);
        const auto changed = [&](qsizetype at, const QByteArray &bytes) {
            return QByteArray(good).replace(at, bytes.size(), bytes);
        };
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("text") << QByteArray(100000, 'a');
        QTest::newRow("directory bigger than the file") << changed(end + 12, "\xff\xff\xff");
        QTest::newRow("name running past the directory") << changed(directory + 28, "\xff\x7f");
        QTest::newRow("cut inside the directory") << good.left(directory + 20);
        QTest::newRow("garbage where the directory should be") << changed(directory, "X");
        QTest::newRow("directory on another disk") << changed(end + 4, "\x01");
    }

    void rejectsWhatIsNoZipOrDamaged()
    {
        QFETCH(QByteArray, bytes);
        const QString path = dir.filePath(u"bad.zip"_qs);
        QVERIFY(writeFile(path, bytes));
        QVERIFY(!ZipCentralDirectory::read(path).has_value());
        QVERIFY(!ZipCentralDirectory::read(dir.filePath(u"missing.zip"_qs)).has_value());
    }
};

QTEST_GUILESS_MAIN(TestZipCentralDirectory)
#include "test_zip_central_directory.moc"
