#include "ArchiveMaker.h"
#include "EngineHarness.h"
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
const QString split7z = u"data.7z"_qs;

} // namespace

// A volume set is extracted only when whole: every volume there, in order, of
// one set, undamaged; otherwise nothing is written and the failure names it.
class TestVolumeSets : public QObject {
    Q_OBJECT

    QTemporaryDir made; // a 7z split in three, as split tools cut them
    std::unique_ptr<QTemporaryDir> work;

    QString destination() const { return work->filePath(u"out"_qs); }

private Q_SLOTS:
    void initTestCase()
    {
        QByteArray noise(90000, Qt::Uninitialized);
        QRandomGenerator(3).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        const QString whole = made.filePath(u"whole.7z"_qs);
        QVERIFY(ArchiveMaker::write(whole, u"7zip"_qs, QString(),
                                    {ArchiveEntrySpec::file("a.bin", noise), ArchiveEntrySpec::file("b.txt", "b")}));
        const QByteArray bytes = readAll(whole);
        const qsizetype part = bytes.size() / 3 + 1;
        for (int i = 0; i < 3; ++i)
            QVERIFY(writeFile(made.filePath(u"data.7z.00%1"_qs.arg(i + 1)), bytes.mid(i * part, part)));
        QVERIFY(QFile::remove(whole));
    }
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
        row("RAR4 first missing", rar4, Remove, u".part1.rar"_qs, u".part2.rar"_qs, XADMissingVolumeError);
        row("RAR5 last missing", rar5, Remove, u".part08.rar"_qs, u".part01.rar"_qs, XADMissingVolumeError);
        // Every volume of a set is often opened at once: the later ones point at the first.
        row("RAR5 a later volume opened", rar5, Nothing, u".part01.rar"_qs, u".part02.rar"_qs, XADNotFirstVolumeError);
        row("RAR4 stored, flipped byte", rar4Stored, FlipAByte, u".part03.rar"_qs, u".part01.rar"_qs, XADChecksumError);
        row("RAR4 cut short", rar4, CutShort, u".part2.rar"_qs, u".part1.rar"_qs, XADWrongVolumeError);
        row("RAR4 another set's volume", rar4, SwapInAnotherSet, u".part2.rar"_qs, u".part1.rar"_qs,
            XADWrongVolumeError);
        row("split 7z whole", split7z, Nothing, u".003"_qs, u".001"_qs, 0);
        row("split 7z middle missing", split7z, Remove, u".002"_qs, u".001"_qs, XADMissingVolumeError);
    }

    void setsAreCheckedBeforeAnythingIsWritten()
    {
        QFETCH(QString, prefix);
        QFETCH(int, change);
        QFETCH(QString, changed);
        QFETCH(QString, opened);
        QFETCH(int, expected);
        const QDir source(prefix == split7z ? made.path() : TestEnvironment::corpusPath());
        for (const QString &name : source.entryList({prefix + u"*"_qs}, QDir::Files))
            QVERIFY(QFile::copy(source.filePath(name), work->filePath(name)));
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
        QCOMPARE(result.code(), expected);
        if (expected == 0) {
            QVERIFY(result.verified);
            QCOMPARE(result.volumes.size(), 3);
            return;
        }
        if (expected == XADChecksumError)
            QVERIFY(delegate.errorCodes.contains(expected)); // named with its entry
        else
            QCOMPARE(QFileInfo(result.subject).fileName(), changed);
        QVERIFY(QDir(destination()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    // The set a file belongs to, by name; a later part on its own is read on
    // its own, and a part after a gap is no part of the set.
    void setsByName()
    {
        const QList<QStringList> sets = {{u"a.part1.rar"_qs, u"a.part2.rar"_qs, u"a.part3.rar"_qs},
                                         {u"b.part01.rar"_qs, u"b.part02.rar"_qs},
                                         {u"c.rar"_qs, u"c.r00"_qs, u"c.r01"_qs},
                                         {u"d.zip.001"_qs, u"d.zip.002"_qs},
                                         {u"e.rar"_qs},
                                         {u"f.part2.rar"_qs}};
        QVERIFY(writeFile(work->filePath(u"a.part5.rar"_qs), "vv") && writeFile(work->filePath(u"f.part3.rar"_qs), "vv"));
        for (const QStringList &set : sets) {
            for (const QString &name : set)
                QVERIFY(writeFile(work->filePath(name), "vv"));
            const VolumeSet volumes = VolumeSet::forArchive(work->filePath(set.constFirst()));
            QStringList found;
            for (const QString &path : volumes.paths())
                found.append(QFileInfo(path).fileName());
            QCOMPARE(found, set);
            QCOMPARE(volumes.totalSize(), qint64(2 * set.size()));
            QCOMPARE(volumes.offsetOf(set.size() - 1), qint64(2 * (set.size() - 1)));
        }
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
