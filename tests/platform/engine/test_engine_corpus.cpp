#include "EngineHarness.h"
#include "platform/unarchiver/EngineProcess.h"
#include "platform/encoding/EntryNameDecoder.h"
#include "platform/errors/XADException.h"
#include "platform/files/XADPlatform.h"
#include "platform/engine/formats/VolumeSet.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Raw names: bsdtar leaves legacy names undecoded, which QDir cannot list.
QByteArrayList entriesOf(const QString &folder)
{
    QByteArrayList names = listTree(folder).keys();
    names.removeIf([](const QByteArray &name) { return name.contains('/'); });
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

// "a/b.txt" for "a/b 2.txt", as the engine names a duplicate; else nothing.
QByteArray originalOf(const QByteArray &candidate)
{
    static const QRegularExpression variant(u"^(.*) \\d+(\\.[^./ ]{1,16}(\\.(gz|bz2|xz|Z|zst|lz4))?)?$"_qs);
    const QRegularExpressionMatch match = variant.match(QString::fromUtf8(candidate));
    return match.hasMatch() ? (match.captured(1) + match.captured(2)).toUtf8() : QByteArray();
}

// Differences from bsdtar's tree other than special files, refused entries,
// duplicates renamed instead of overwritten and legacy names decoded.
QStringList unexplainedDifferences(const Tree &engine, Tree bsdtar, const QList<QByteArray> &refused)
{
    for (auto it = bsdtar.begin(); it != bsdtar.end();) {
        bool drop = it->kind == 'o';
        for (const QByteArray &path : refused)
            drop = drop || isUnder(it.key(), path) || (it->kind == 'd' && isUnder(path, it.key()) && !engine.contains(it.key()));
        it = drop ? bsdtar.erase(it) : std::next(it);
    }
    QMultiHash<QByteArray, QByteArray> copies; // renamed duplicates by the name they stand for
    for (auto e = engine.cbegin(); e != engine.cend(); ++e)
        copies.insert(originalOf(e.key()), e.key());
    QStringList differences;
    QList<TreeItem> legacy; // items under names bsdtar left undecoded
    for (auto it = bsdtar.cbegin(); it != bsdtar.cend(); ++it) {
        const QByteArrayList names = copies.values(it.key()) << it.key();
        if (!EntryNameDecoder::isValidUtf8(it.key()))
            legacy.append(*it);
        else if (std::none_of(names.cbegin(), names.cend(), [&](const QByteArray &n) { return engine.value(n) == *it; }))
            differences.append(u"only bsdtar or different: "_qs + QString::fromUtf8(it.key()));
    }
    // The engine's own names for the undecoded ones: the same items must be there.
    for (auto e = engine.cbegin(); e != engine.cend(); ++e) {
        if (bsdtar.contains(e.key()) || bsdtar.contains(originalOf(e.key())))
            continue;
        if (const qsizetype at = legacy.indexOf(*e); at >= 0)
            legacy.removeAt(at);
        else
            differences.append(u"only in engine: "_qs + QString::fromUtf8(e.key()));
    }
    if (!legacy.isEmpty())
        differences.append(u"%1 undecoded bsdtar items have no match"_qs.arg(legacy.size()));
    return differences;
}

} // namespace

// Every archive of the libarchive test corpus goes through the engine
// without harm; where bsdtar extracts one cleanly, the engine's tree holds
// the same folders, files and symlinks.
class TestEngineCorpus : public QObject {
    Q_OBJECT

    QHash<QString, int> bsdtarExit;

private Q_SLOTS:
    void initTestCase()
    {
        // libarchive spins inside a single call on a few archives: the watchdog
        // ends them, but not too soon: test_read_format_rar_unbound_staticdata.rar
        // fills a window of nearly a gigabyte, seconds without reading a byte.
        EngineProcess::Limits limits;
        limits.quietMilliseconds = 8000;
        EngineProcess::setLimits(limits);
        QFile peers(TestEnvironment::corpusPath(u"PEERS.tsv"_qs));
        QVERIFY(peers.open(QIODevice::ReadOnly));
        while (!peers.atEnd()) {
            const QList<QByteArray> fields = peers.readLine().trimmed().split('\t');
            bsdtarExit.insert(QString::fromUtf8(fields.at(0)), fields.value(1).toInt());
        }
        QVERIFY(bsdtarExit.size() > 400);
    }

    void everyArchive_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : QDir(TestEnvironment::corpusPath()).entryList(QDir::Files, QDir::Name))
            if (name != u"PEERS.tsv"_qs)
                QTest::newRow(qPrintable(name)) << name;
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
        QVERIFY2(!watchdog.fired, "the engine did not finish");
        QVERIFY(result.opened);
        const int code = result.code();
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
            // bsdtar reads the first volume only.
            bool ok = false;
            const Tree reference = filesAndLinks(referenceTree(volumes.paths(), &ok));
            QVERIFY(ok);
            QCOMPARE(code, 0);
            QSet<QByteArray> topLevel;
            for (auto it = reference.cbegin(); it != reference.cend(); ++it)
                topLevel.insert(it.key().split('/').constFirst());
            COMPARE_TREES(filesAndLinks(listTree(topLevel.size() == 1 ? destination : result.created)), reference);
            return;
        }
        const QString bsdtarRoot = work.filePath(u"bsdtar"_qs);
        QVERIFY(QDir().mkpath(bsdtarRoot));
        QProcess bsdtar;
        bsdtar.setStandardOutputFile(QProcess::nullDevice());
        bsdtar.setStandardErrorFile(QProcess::nullDevice());
        bsdtar.start(u"bsdtar"_qs, {u"-xf"_qs, archive, u"-C"_qs, bsdtarRoot});
        QVERIFY2(bsdtar.waitForFinished(10000) && bsdtar.exitStatus() == QProcess::NormalExit && bsdtar.exitCode() == 0,
                 "bsdtar no longer extracts this archive cleanly");
        const Tree reference = listTree(bsdtarRoot);
        // Its header declares more than its CRC-checked data: bsdtar pads it.
        if (name == u"test_read_format_zip_uncompressed_size_off_by_4gib.zip"_qs) {
            QCOMPARE(readAll(result.created), QByteArray("hello"));
            return;
        }
        // bsdtar takes EUC-JP's 表 for UTF-8's ɽ; test_entry_names checks
        // these names.
        if (name.contains(u"_filename_eucjp"_qs))
            return;
        // Refused on purpose: mtree names files on this computer; nothing in it
        // is no result; an entry that says it is encrypted is never written.
        if (code == XADNotAnArchiveError && name.contains(u"mtree"_qs))
            return;
        if (code == XADNoEntriesError || code == XADNotAnArchiveError) {
            QVERIFY2(reference.isEmpty(), qPrintable(describeTree(reference)));
            return;
        }
        if (code == XADUnsupportedEncryptionError && delegate.errorCodes.contains(code))
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
};

QTEST_GUILESS_MAIN(TestEngineCorpus)
#include "test_engine_corpus.moc"
