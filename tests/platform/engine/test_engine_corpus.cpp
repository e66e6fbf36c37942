#include "EngineHarness.h"
#include "TestEnvironment.h"
#include "platform/unarchiver/EngineProcess.h"
#include "platform/encoding/EntryNameDecoder.h"
#include "platform/errors/XADException.h"
#include "platform/files/XADPlatform.h"
#include "platform/engine/formats/VolumeSet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// These yield entries for ever; only a cancel ends them.
const QStringList endless = {u"test_read_format_rar5_bad_window_sz_in_mltarc_file.rar"_qs,
                             u"test_read_format_rar5_dirdata.rar"_qs};
// Their only file's header declares a size its CRC-checked data does not
// have; bsdtar pads the data with zeros up to that size, the engine keeps the
// data as it is.
const QHash<QString, QByteArray> sizeFieldWrong = {
    {u"test_read_format_zip_uncompressed_size_off_by_4gib.zip"_qs, QByteArrayLiteral("hello")}};

// Raw names: bsdtar leaves legacy names undecoded, which QDir cannot list.
QByteArrayList entriesOf(const QString &folder)
{
    QByteArrayList names;
    const Tree tree = listTree(folder);
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (!it.key().contains('/'))
            names.append(it.key());
    }
    return names;
}

// A scratch folder removed with the engine's own removal, which copes with
// undecodable names and read-only folders.
class ScratchFolder {
public:
    ScratchFolder() { m_dir.setAutoRemove(false); }
    ~ScratchFolder() { XADPlatform::removeItemAtPath(m_dir.path()); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

QByteArray cleanRefusedPath(const QString &entryPath)
{
    QByteArray path = entryPath.toUtf8();
    while (path.startsWith('/') || path.startsWith("./"))
        path.remove(0, path.startsWith('/') ? 1 : 2);
    while (path.endsWith('/'))
        path.chop(1);
    return path;
}

bool isUnder(const QByteArray &path, const QByteArray &folder)
{
    return path == folder || path.startsWith(QByteArray(folder + '/'));
}

// "a/b 2.txt" for "a/b.txt" and n = 2, as the engine names a duplicate.
bool isDuplicateVariantOf(const QByteArray &candidate, const QByteArray &original)
{
    static const QRegularExpression variant(u"^(.*) \\d+(\\.[^./ ]{1,16}(\\.(gz|bz2|xz|Z|zst|lz4))?)?$"_qs);
    const QRegularExpressionMatch match = variant.match(QString::fromUtf8(candidate));
    if (!match.hasMatch())
        return false;
    return (match.captured(1) + match.captured(2)).toUtf8() == original;
}

// The differences between bsdtar's tree and the engine's that are not on
// purpose: special files the engine never makes, entries it refused,
// duplicates it renamed instead of overwriting, and legacy names it decoded
// where bsdtar wrote the raw bytes.
QStringList unexplainedDifferences(const Tree &engine, Tree bsdtar, const QList<QByteArray> &refused)
{
    for (auto it = bsdtar.begin(); it != bsdtar.end();) {
        bool drop = it->kind == 'o';
        for (const QByteArray &path : refused)
            drop = drop || isUnder(it.key(), path) || (it->kind == 'd' && isUnder(path, it.key()) && !engine.contains(it.key()));
        it = drop ? bsdtar.erase(it) : std::next(it);
    }
    QSet<QByteArray> used;
    QList<QByteArray> leftover;
    for (auto it = bsdtar.cbegin(); it != bsdtar.cend(); ++it) {
        if (engine.value(it.key()) == *it) {
            used.insert(it.key());
            continue;
        }
        bool renamed = false;
        if (it->kind == 'f' || it->kind == 'l') {
            for (auto e = engine.cbegin(); e != engine.cend() && !renamed; ++e) {
                if (*e == *it && isDuplicateVariantOf(e.key(), it.key())) {
                    used.insert(e.key());
                    used.insert(it.key());
                    renamed = true;
                }
            }
        }
        if (!renamed)
            leftover.append(it.key());
    }
    // Engine copies of duplicates that bsdtar overwrote.
    for (auto e = engine.cbegin(); e != engine.cend(); ++e) {
        if (used.contains(e.key()))
            continue;
        for (const QByteArray &original : used) {
            if (isDuplicateVariantOf(e.key(), original)) {
                used.insert(e.key());
                break;
            }
        }
    }
    QList<TreeItem> legacyB;
    QStringList differences;
    for (const QByteArray &path : std::as_const(leftover)) {
        if (EntryNameDecoder::isValidUtf8(path))
            differences.append(u"only bsdtar or different: "_qs + QString::fromUtf8(path));
        else
            legacyB.append(bsdtar.value(path));
    }
    QList<TreeItem> legacyE;
    for (auto e = engine.cbegin(); e != engine.cend(); ++e) {
        if (!used.contains(e.key()) && !bsdtar.contains(e.key()))
            legacyE.append(*e);
        else if (!used.contains(e.key()))
            differences.append(u"different in engine: "_qs + QString::fromUtf8(e.key()));
    }
    // Names bsdtar left undecoded: the same items must be there, named anew.
    for (const TreeItem &item : std::as_const(legacyB)) {
        const qsizetype at = legacyE.indexOf(item);
        if (at >= 0)
            legacyE.removeAt(at);
        else
            differences.append(u"an undecoded bsdtar item has no match"_qs);
    }
    for (const TreeItem &item : std::as_const(legacyE))
        differences.append(u"only in engine: an item of kind "_qs + QChar::fromLatin1(item.kind));
    return differences;
}

} // namespace

// Every archive of the libarchive test corpus goes through the engine
// without harm; where bsdtar extracts one cleanly, the engine's tree holds
// the same folders, files and symlinks.
class TestEngineCorpus : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;
    QHash<QString, int> bsdtarExit;

    Tree bsdtarTree(const QString &archive, const QString &into, bool *ok)
    {
        QProcess bsdtar;
        bsdtar.setStandardInputFile(QProcess::nullDevice());
        bsdtar.setStandardOutputFile(QProcess::nullDevice());
        bsdtar.setStandardErrorFile(QProcess::nullDevice());
        bsdtar.start(u"bsdtar"_qs, {u"-xf"_qs, archive, u"-C"_qs, into});
        *ok = bsdtar.waitForFinished(10000) && bsdtar.exitStatus() == QProcess::NormalExit
              && bsdtar.exitCode() == 0;
        if (bsdtar.state() != QProcess::NotRunning) {
            bsdtar.kill();
            bsdtar.waitForFinished();
        }
        return listTree(into);
    }

private Q_SLOTS:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        // libarchive spins inside a single call on a few archives; the
        // helper's watchdog ends those soon, its memory limit the greedy ones.
        // Not too soon: on test_read_format_rar_unbound_staticdata.rar it
        // fills a window of nearly a gigabyte, seconds without reading a byte.
        EngineProcess::Limits limits;
        limits.quietMilliseconds = 8000;
        EngineProcess::setLimits(limits);
        QFile peers(TestEnvironment::corpusPath(u"PEERS.tsv"_qs));
        QVERIFY(peers.open(QIODevice::ReadOnly));
        while (!peers.atEnd()) {
            const QList<QByteArray> fields = peers.readLine().trimmed().split('\t');
            bool ok = false;
            const int code = fields.value(1).toInt(&ok);
            if (ok)
                bsdtarExit.insert(QString::fromUtf8(fields.at(0)), code);
        }
        QVERIFY(bsdtarExit.size() > 400);
    }

    void everyArchive_data()
    {
        QTest::addColumn<QString>("name");
        const QStringList names = QDir(TestEnvironment::corpusPath()).entryList(QDir::Files, QDir::Name);
        for (const QString &name : names) {
            if (name != u"PEERS.tsv"_qs && !endless.contains(name))
                QTest::newRow(qPrintable(name)) << name;
        }
    }

    void everyArchive()
    {
        QFETCH(QString, name);
        const QString archive = TestEnvironment::corpusPath(name);
        ScratchFolder work;
        const QString destination = work.filePath(u"engine"_qs);
        RecordingDelegate delegate;
        StopTimer watchdog(&delegate, 20000);
        const EngineResult result = runEngine(archive, destination, &delegate);
        watchdog.disarm();
        QVERIFY2(!watchdog.fired(), "the engine did not finish");
        QVERIFY(result.opened);
        const int code = result.parse != 0 ? result.parse : result.unarchive;
        if (code != 0) {
            // A failed run leaves nothing, half-written or not.
            QVERIFY2(entriesOf(destination).isEmpty(), entriesOf(destination).join(", ").constData());
            QVERIFY(result.created.isNull());
        } else {
            QCOMPARE(entriesOf(destination), QByteArrayList{QFile::encodeName(QFileInfo(result.created).fileName())});
        }
        if (bsdtarExit.value(name, -1) != 0)
            return;
        const VolumeSet volumes = VolumeSet::forArchive(archive);
        if (volumes.count() > 1) {
            // bsdtar reads the first volume only; libarchive's own reader over
            // all of them is the reference.
            bool ok = false;
            const Tree reference = filesAndLinks(referenceTree(volumes.paths(), &ok));
            QVERIFY(ok);
            QCOMPARE(code, 0);
            QSet<QByteArray> topLevel;
            for (auto it = reference.cbegin(); it != reference.cend(); ++it)
                topLevel.insert(it.key().split('/').constFirst());
            const Tree actual = filesAndLinks(listTree(topLevel.size() == 1 ? destination : result.created));
            QVERIFY2(actual == reference, qPrintable(describeTree(actual) + u"\n---\n"_qs + describeTree(reference)));
            return;
        }
        compareWithBsdtar(name, work, result, code, delegate);
    }

    // Called by everyArchive for archives bsdtar extracts cleanly.
    void compareWithBsdtar(const QString &name, const ScratchFolder &work, const EngineResult &result,
                           int code, const RecordingDelegate &delegate)
    {
        const QString bsdtarRoot = work.filePath(u"bsdtar"_qs);
        QVERIFY(QDir().mkpath(bsdtarRoot));
        bool bsdtarOk = false;
        const Tree reference = bsdtarTree(TestEnvironment::corpusPath(name), bsdtarRoot, &bsdtarOk);
        QVERIFY2(bsdtarOk, "bsdtar no longer extracts this archive cleanly");
        if (sizeFieldWrong.contains(name)) {
            QCOMPARE(readAll(result.created), sizeFieldWrong.value(name));
            return;
        }
        // Refused on purpose: mtree copies files it names from this computer;
        // an archive (or an empty file) with nothing in it has no result to
        // show; an entry whose
        // header says it is encrypted is never written out.
        if (code == XADNotAnArchiveError && name.contains(u"mtree"_qs))
            return;
        if (code == XADNoEntriesError || code == XADNotAnArchiveError) {
            QVERIFY2(reference.isEmpty(), qPrintable(describeTree(reference)));
            return;
        }
        if (code == XADUnsupportedEncryptionError && delegate.errorCodes().contains(code))
            return;
        // A later volume alone is not the archive: its set is read from the first.
        if (code == XADNotFirstVolumeError) {
            QVERIFY(QFileInfo(result.subject).isFile());
            return;
        }
        QVERIFY2(code == 0, qPrintable(XADException::describeXADError(code)));
        QList<QByteArray> refused;
        for (const auto &[path, error] : std::as_const(delegate.entryErrors)) {
            QVERIFY2(error == XADUnsafePathError || error == XADPathTooLongError,
                     qPrintable(path + u": "_qs + XADException::describeXADError(error)));
            refused.append(cleanRefusedPath(path));
        }
        // A solo item came out on its own; several are in the created folder.
        const Tree actual = entriesOf(bsdtarRoot).size() == 1 ? listTree(work.filePath(u"engine"_qs))
                                                              : listTree(result.created);
        const QStringList differences = unexplainedDifferences(actual, reference, refused);
        QVERIFY2(differences.isEmpty(), qPrintable(differences.join(u'\n') + u"\n--- engine\n"_qs
                                                   + describeTree(actual) + u"\n--- bsdtar\n"_qs
                                                   + describeTree(reference)));
    }

    void endlessArchivesEndOnCancel_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : endless)
            QTest::newRow(qPrintable(name)) << name;
    }

    // bsdtar reads on past the damage for ever; the engine stops at the first
    // damaged entry, and a cancel ends the run within a second either way.
    void endlessArchivesEndOnCancel()
    {
        QFETCH(QString, name);
        ScratchFolder work;
        const QString destination = work.filePath(u"engine"_qs);
        RecordingDelegate delegate;
        StopTimer timer(&delegate, 200);
        const EngineResult result = runEngine(TestEnvironment::corpusPath(name), destination, &delegate);
        if (timer.fired())
            QVERIFY2(timer.sinceFired() < 1000, qPrintable(QString::number(timer.sinceFired())));
        timer.disarm();
        QVERIFY((result.parse != 0 ? result.parse : result.unarchive) != 0);
        QVERIFY(result.created.isNull());
        QVERIFY(entriesOf(destination).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestEngineCorpus)
#include "test_engine_corpus.moc"
