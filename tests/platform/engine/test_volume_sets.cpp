#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "TestEnvironment.h"
#include "platform/errors/XADException.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

// A volume set is extracted only when it is whole: every volume there, in
// order, of one set and undamaged; otherwise nothing is written and the
// failure names the volume to look at.
class TestVolumeSets : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<QTemporaryDir> work;

    // Copies the corpus volumes starting with prefix; damage is done to the
    // copies by the caller.
    void copyCorpusSet(const QString &prefix)
    {
        const QDir corpus(TestEnvironment::corpusPath());
        for (const QString &name : corpus.entryList({prefix + u"*"_qs}, QDir::Files)) {
            QVERIFY(QFile::copy(corpus.filePath(name), work->filePath(name)));
            QFile::setPermissions(work->filePath(name), QFile::ReadOwner | QFile::WriteOwner);
        }
    }

    QString destination() const { return work->filePath(u"out"_qs); }

    EngineResult extract(const QString &first, RecordingDelegate *delegate)
    {
        QDir().mkpath(destination());
        return runEngine(work->filePath(first), destination(), delegate);
    }

    static void edit(const QString &path, const std::function<void(QByteArray &)> &change)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        change(bytes);
        QVERIFY(file.resize(0));
        QVERIFY(file.seek(0));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    bool destinationIsEmpty() const
    {
        return QDir(destination()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty();
    }

private Q_SLOTS:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        if (!QFile::exists(TestEnvironment::corpusPath(u"test_rar_multivolume_single_file.part1.rar"_qs)))
            QSKIP("the libarchive corpus is not beside the checkout");
    }

    void init() { work = std::make_unique<QTemporaryDir>(); }

    void incompleteSetsAreRefusedBeforeAnythingIsWritten_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QString>("opened");
        const QString rar4 = u"test_rar_multivolume_single_file"_qs;
        const QString rar5 = u"test_read_format_rar5_multiarchive"_qs;
        QTest::newRow("RAR4 last") << rar4 << rar4 + u".part3.rar"_qs << rar4 + u".part1.rar"_qs;
        QTest::newRow("RAR4 middle") << rar4 << rar4 + u".part2.rar"_qs << rar4 + u".part1.rar"_qs;
        QTest::newRow("RAR4 first") << rar4 << rar4 + u".part1.rar"_qs << rar4 + u".part2.rar"_qs;
        QTest::newRow("RAR5 last") << rar5 << rar5 + u".part08.rar"_qs << rar5 + u".part01.rar"_qs;
        QTest::newRow("RAR5 middle") << rar5 << rar5 + u".part04.rar"_qs << rar5 + u".part01.rar"_qs;
        QTest::newRow("RAR5 first") << rar5 << rar5 + u".part01.rar"_qs << rar5 + u".part03.rar"_qs;
    }

    // Every volume of a set is often opened at once: the later ones point
    // at the first instead of failing on their own.
    void laterVolumesPointAtTheFirst()
    {
        const QString prefix = u"test_read_format_rar5_multiarchive"_qs;
        copyCorpusSet(prefix);
        RecordingDelegate delegate;
        const EngineResult result = extract(prefix + u".part02.rar"_qs, &delegate);
        QCOMPARE(result.parse, int(XADNotFirstVolumeError));
        QCOMPARE(QFileInfo(result.subject).fileName(), prefix + u".part01.rar"_qs);
        QVERIFY(destinationIsEmpty());
    }

    void incompleteSetsAreRefusedBeforeAnythingIsWritten()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, removed);
        QFETCH(QString, opened);
        copyCorpusSet(prefix);
        QVERIFY(QFile::remove(work->filePath(removed)));
        RecordingDelegate delegate;
        const EngineResult result = extract(opened, &delegate);
        QCOMPARE(result.parse, int(XADMissingVolumeError));
        QCOMPARE(QFileInfo(result.subject).fileName(), removed);
        QVERIFY(destinationIsEmpty());
    }

    void damagedOrForeignVolumesAreRefused_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("damaged");
        QTest::addColumn<int>("damage"); // 0 flip a data byte, 1 cut short, 2 swap in another set's volume
        QTest::addColumn<int>("expected");
        const QString single = u"test_rar_multivolume_single_file"_qs;
        const QString stored = u"test_rar_multivolume_uncompressed_files"_qs;
        const QString rar5 = u"test_read_format_rar5_multiarchive"_qs;
        QTest::newRow("RAR4 stored, flipped byte") << stored << stored + u".part03.rar"_qs << 0
                                                  << int(XADChecksumError);
        QTest::newRow("RAR4 cut short") << single << single + u".part2.rar"_qs << 1 << int(XADWrongVolumeError);
        QTest::newRow("RAR5 cut short") << rar5 << rar5 + u".part05.rar"_qs << 1 << int(XADWrongVolumeError);
        QTest::newRow("RAR4 another set") << single << single + u".part2.rar"_qs << 2
                                         << int(XADWrongVolumeError);
    }

    void damagedOrForeignVolumesAreRefused()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, damaged);
        QFETCH(int, damage);
        QFETCH(int, expected);
        copyCorpusSet(prefix);
        const QString path = work->filePath(damaged);
        if (damage == 0)
            edit(path, [](QByteArray &bytes) { bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x55); });
        else if (damage == 1)
            edit(path, [](QByteArray &bytes) { bytes.chop(bytes.size() / 3); });
        else
            edit(path, [](QByteArray &bytes) {
                bytes = readAll(TestEnvironment::corpusPath(u"test_rar_multivolume_multiple_files.part2.rar"_qs));
            });
        RecordingDelegate delegate;
        const EngineResult result = extract(prefix + (prefix.contains(u"rar5"_qs) || prefix.contains(u"uncompressed"_qs)
                                                          ? u".part01.rar"_qs
                                                          : u".part1.rar"_qs),
                                            &delegate);
        const int code = result.parse != 0 ? result.parse : result.unarchive;
        QCOMPARE(code, expected);
        if (expected == XADWrongVolumeError)
            QCOMPARE(QFileInfo(result.subject).fileName(), damaged);
        else
            QVERIFY(delegate.errorCodes().contains(expected)); // named with its entry
        QVERIFY(destinationIsEmpty());
    }

    void completeSetsReadEveryVolumeAndNoMore()
    {
        const QString prefix = u"test_rar_multivolume_single_file"_qs;
        copyCorpusSet(prefix);
        // A stray file that only looks like a further volume.
        QVERIFY(writeFile(work->filePath(prefix + u".part4.rar"_qs), "not a volume"));
        RecordingDelegate delegate;
        const EngineResult result = extract(prefix + u".part1.rar"_qs, &delegate);
        QCOMPARE(result.unarchive, 0);
        QVERIFY(result.verified);
        QCOMPARE(result.volumes.size(), 3);
    }

    void splitSevenZipNeedsEveryPart_data()
    {
        QTest::addColumn<QString>("removed");
        QTest::newRow("whole") << QString();
        QTest::newRow("middle") << u"data.7z.002"_qs;
        QTest::newRow("last") << u"data.7z.003"_qs;
    }

    void splitSevenZipNeedsEveryPart()
    {
        QFETCH(QString, removed);
        QByteArray noise(90000, Qt::Uninitialized);
        QRandomGenerator(3).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        const QString whole = work->filePath(u"whole.7z"_qs);
        QVERIFY(ArchiveMaker::write(whole, u"7zip"_qs, QString(),
                                    {ArchiveEntrySpec::file("a.bin", noise), ArchiveEntrySpec::file("b.txt", "b")}));
        const QByteArray bytes = readAll(whole);
        const qsizetype part = bytes.size() / 3 + 1;
        for (int i = 0; i < 3; ++i)
            QVERIFY(writeFile(work->filePath(u"data.7z.00%1"_qs.arg(i + 1)), bytes.mid(i * part, part)));
        if (!removed.isEmpty())
            QVERIFY(QFile::remove(work->filePath(removed)));
        RecordingDelegate delegate;
        const EngineResult result = extract(u"data.7z.001"_qs, &delegate);
        if (removed.isEmpty()) {
            QCOMPARE(result.unarchive, 0);
            QCOMPARE(readAll(destination() + u"/data/a.bin"_qs), noise);
            return;
        }
        QCOMPARE(result.parse, int(XADMissingVolumeError));
        QCOMPARE(QFileInfo(result.subject).fileName(), removed);
        QVERIFY(destinationIsEmpty());
    }
};

QTEST_GUILESS_MAIN(TestVolumeSets)
#include "test_volume_sets.moc"
