#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "TestEnvironment.h"
#include "platform/engine/ArchiveNaming.h"
#include "platform/engine/formats/VolumeSet.h"
#include "platform/errors/XADException.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

enum Change { Nothing, Remove, FlipAByte, CutShort, SwapInAnotherSet, AddAStray };

const QString rar4 = u"test_rar_multivolume_single_file"_qs;
const QString rar4Stored = u"test_rar_multivolume_uncompressed_files"_qs;
const QString rar5 = u"test_read_format_rar5_multiarchive"_qs;

} // namespace

// A volume set is extracted only when it is whole: every volume there, in
// order, of one set and undamaged; otherwise nothing is written and the
// failure names the volume to look at.
class TestVolumeSets : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<QTemporaryDir> work;

    QString destination() const { return work->filePath(u"out"_qs); }

    bool destinationIsEmpty() const
    {
        return QDir(destination()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty();
    }

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }
    void init() { work = std::make_unique<QTemporaryDir>(); }

    void setsAreCheckedBeforeAnythingIsWritten_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("change");
        QTest::addColumn<QString>("changed"); // the volume changed, and named in the failure
        QTest::addColumn<QString>("opened");
        QTest::addColumn<int>("expected");
        const auto row = [](const char *name, const QString &prefix, Change change, const QString &changed,
                            const QString &opened, int expected) {
            QTest::newRow(name) << prefix << int(change) << prefix + changed << prefix + opened << expected;
        };
        row("RAR4 whole, a stray part4 beside it", rar4, AddAStray, u".part4.rar"_qs, u".part1.rar"_qs, 0);
        row("RAR4 last missing", rar4, Remove, u".part3.rar"_qs, u".part1.rar"_qs, XADMissingVolumeError);
        row("RAR4 middle missing", rar4, Remove, u".part2.rar"_qs, u".part1.rar"_qs, XADMissingVolumeError);
        row("RAR4 first missing", rar4, Remove, u".part1.rar"_qs, u".part2.rar"_qs, XADMissingVolumeError);
        row("RAR5 last missing", rar5, Remove, u".part08.rar"_qs, u".part01.rar"_qs, XADMissingVolumeError);
        row("RAR5 middle missing", rar5, Remove, u".part04.rar"_qs, u".part01.rar"_qs, XADMissingVolumeError);
        row("RAR5 first missing", rar5, Remove, u".part01.rar"_qs, u".part03.rar"_qs, XADMissingVolumeError);
        // Every volume of a set is often opened at once: the later ones point at the first.
        row("RAR5 a later volume opened", rar5, Nothing, u".part01.rar"_qs, u".part02.rar"_qs, XADNotFirstVolumeError);
        row("RAR4 stored, flipped byte", rar4Stored, FlipAByte, u".part03.rar"_qs, u".part01.rar"_qs, XADChecksumError);
        row("RAR4 cut short", rar4, CutShort, u".part2.rar"_qs, u".part1.rar"_qs, XADWrongVolumeError);
        row("RAR5 cut short", rar5, CutShort, u".part05.rar"_qs, u".part01.rar"_qs, XADWrongVolumeError);
        row("RAR4 another set's volume", rar4, SwapInAnotherSet, u".part2.rar"_qs, u".part1.rar"_qs,
            XADWrongVolumeError);
    }

    void setsAreCheckedBeforeAnythingIsWritten()
    {
        QFETCH(QString, prefix);
        QFETCH(int, change);
        QFETCH(QString, changed);
        QFETCH(QString, opened);
        QFETCH(int, expected);
        const QDir corpus(TestEnvironment::corpusPath());
        for (const QString &name : corpus.entryList({prefix + u"*"_qs}, QDir::Files))
            QVERIFY(QFile::copy(corpus.filePath(name), work->filePath(name)));
        const QString path = work->filePath(changed);
        QByteArray bytes = readAll(path);
        if (change == Remove)
            QVERIFY(QFile::remove(path));
        else if (change == FlipAByte)
            bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x55);
        else if (change == CutShort)
            bytes.chop(bytes.size() / 3);
        else if (change == SwapInAnotherSet)
            bytes = readAll(TestEnvironment::corpusPath(u"test_rar_multivolume_multiple_files.part2.rar"_qs));
        else if (change == AddAStray)
            bytes = "not a volume";
        if (change != Remove && change != Nothing) {
            QFile::remove(path);
            QVERIFY(writeFile(path, bytes));
        }
        QVERIFY(QDir().mkpath(destination()));
        RecordingDelegate delegate;
        const EngineResult result = runEngine(work->filePath(opened), destination(), &delegate);
        QCOMPARE(result.parse != 0 ? result.parse : result.unarchive, expected);
        if (expected == 0) {
            QVERIFY(result.verified);
            QCOMPARE(result.volumes.size(), 3);
            return;
        }
        if (expected == XADChecksumError)
            QVERIFY(delegate.errorCodes().contains(expected)); // named with its entry
        else
            QCOMPARE(QFileInfo(result.subject).fileName(), changed);
        QVERIFY(destinationIsEmpty());
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
        const EngineResult result = runEngine(work->filePath(u"data.7z.001"_qs), destination(), &delegate);
        if (removed.isEmpty()) {
            QCOMPARE(result.unarchive, 0);
            QCOMPARE(readAll(destination() + u"/data/a.bin"_qs), noise);
            return;
        }
        QCOMPARE(result.parse, int(XADMissingVolumeError));
        QCOMPARE(QFileInfo(result.subject).fileName(), removed);
        QVERIFY(destinationIsEmpty());
    }

    // The set a file belongs to, by name; a later part on its own is read on its own.
    void setsByName_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QStringList>("set");
        QTest::newRow("partN") << u"a.part1.rar"_qs << QStringList{u"a.part1.rar"_qs, u"a.part2.rar"_qs, u"a.part3.rar"_qs};
        QTest::newRow("part0N") << u"b.part01.rar"_qs << QStringList{u"b.part01.rar"_qs, u"b.part02.rar"_qs};
        QTest::newRow("rNN") << u"c.rar"_qs << QStringList{u"c.rar"_qs, u"c.r00"_qs, u"c.r01"_qs};
        QTest::newRow("split") << u"d.zip.001"_qs << QStringList{u"d.zip.001"_qs, u"d.zip.002"_qs};
        QTest::newRow("single") << u"e.rar"_qs << QStringList{u"e.rar"_qs};
        QTest::newRow("later part") << u"f.part2.rar"_qs << QStringList{u"f.part2.rar"_qs};
    }

    void setsByName()
    {
        QFETCH(QString, first);
        QFETCH(QStringList, set);
        for (const char *name : {"a.part1.rar", "a.part2.rar", "a.part3.rar", "a.part5.rar", "b.part01.rar",
                                 "b.part02.rar", "c.rar", "c.r00", "c.r01", "d.zip.001", "d.zip.002", "e.rar",
                                 "f.part2.rar", "f.part3.rar"})
            QVERIFY(writeFile(work->filePath(QString::fromLatin1(name)), "vv"));
        const VolumeSet volumes = VolumeSet::forArchive(work->filePath(first));
        QStringList found;
        for (const QString &path : volumes.paths())
            found.append(QFileInfo(path).fileName());
        QCOMPARE(found, set);
        QCOMPARE(volumes.totalSize(), qint64(2 * set.size()));
        QCOMPARE(volumes.offsetOf(set.size() - 1), qint64(2 * (set.size() - 1)));
    }

    // The folder several top-level items go into, and a bare compressed file's name.
    void archiveNames()
    {
        for (const auto &[archive, name] : QList<QPair<QString, QString>>{
                 {u"photos.tar.gz"_qs, u"photos"_qs}, {u"x.part1.rar"_qs, u"x"_qs}, {u"x.part01.rar"_qs, u"x"_qs},
                 {u"notes.v2.zip"_qs, u"notes.v2"_qs}, {u"Backup.7z.001"_qs, u"Backup"_qs},
                 {u"setup.EXE"_qs, u"setup"_qs}, {u".tar.gz"_qs, u".tar"_qs}, {u"README"_qs, u"README"_qs}})
            QCOMPARE(ArchiveNaming::enclosingName(u"/a/"_qs + archive), name);
        for (const auto &[archive, name] : QList<QPair<QString, QString>>{
                 {u"notes.txt.gz"_qs, u"notes.txt"_qs}, {u"data.json.zst"_qs, u"data.json"_qs},
                 {u"dump.Z"_qs, u"dump"_qs}, {u"blob"_qs, u"blob"_qs}})
            QCOMPARE(ArchiveNaming::rawEntryName(u"/a/"_qs + archive), name);
    }
};

QTEST_GUILESS_MAIN(TestVolumeSets)
#include "test_volume_sets.moc"
