#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "platform/errors/XADException.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <zlib.h>
#include <zstd.h>

namespace {

// A marker in the middle of the large file, to find its bytes in a stream
// that stores them as they are.
const QByteArray marker = "<<the middle of data.bin>>";

// gzip made here: level 0 gives stored blocks, whose bytes inflate cannot
// judge; only the trailer's CRC can.
QByteArray gzip(const QByteArray &data, int level)
{
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const bool ok = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    out.truncate(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return ok ? out : QByteArray();
}

// libarchive's writer leaves zstd's content checksum out.
QByteArray zstdWithChecksum(const QByteArray &data)
{
    std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx *)> context(ZSTD_createCCtx(), ZSTD_freeCCtx);
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, 1);
    QByteArray out(qsizetype(ZSTD_compressBound(size_t(data.size()))), Qt::Uninitialized);
    const size_t size = ZSTD_compress2(context.get(), out.data(), size_t(out.size()), data.constData(),
                                       size_t(data.size()));
    return ZSTD_isError(size) ? QByteArray() : out.left(qsizetype(size));
}

QByteArray flipped(QByteArray data, qsizetype at)
{
    data[at] = char(data.at(at) ^ 0x40);
    return data;
}

} // namespace

// The outer compression layer is read to its end and every check in it
// verified, past the end of the tar inside and in the trailer too.
class TestStreamChecks : public QObject {
    Q_OBJECT

    QByteArray data;
    QList<ArchiveEntrySpec> entries;
    QByteArray tar;

    QByteArray made(const QString &filter)
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"made"_qs);
        return ArchiveMaker::write(path, u"pax"_qs, filter, entries) ? readAll(path) : QByteArray();
    }

    // Not verified: filters libarchive decodes, never reading their end.
    void addRow(const char *name, const QString &fileName, const QByteArray &bytes, int expected, bool verified = true)
    {
        QVERIFY2(!bytes.isEmpty(), name);
        QTest::newRow(name) << fileName << bytes << expected << verified;
    }

private Q_SLOTS:
    void initTestCase()
    {
        data.resize(1500000);
        QRandomGenerator random(11);
        random.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
        data.replace(700000, marker.size(), marker);
        entries = {ArchiveEntrySpec::file("data.bin", data), ArchiveEntrySpec::file("notes.txt", "A note.\n")};
        tar = made(QString());
        QVERIFY(!tar.isEmpty());
    }

    void streams_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("verified");
        addRow("tar", u"s.tar"_qs, tar, 0);
        addRow("compress: not verified", u"s.tar.Z"_qs, made(u"compress"_qs), 0, false);
        addRow("lzma: not verified", u"s.tar.lzma"_qs, made(u"lzma"_qs), 0, false);
        const QByteArray stored = gzip(tar, 0);
        const QByteArray gz = gzip(tar, 6);
        QVERIFY(stored.indexOf(marker) > 0);
        addRow("gzip: stored data flipped", u"s.tar.gz"_qs, flipped(stored, stored.indexOf(marker) + 3),
               XADChecksumError);
        addRow("gzip: CRC", u"s.tar.gz"_qs, flipped(gz, gz.size() - 8), XADChecksumError);
        addRow("gzip: length", u"s.tar.gz"_qs, flipped(gz, gz.size() - 2), XADChecksumError);
        addRow("gzip: trailer cut short", u"s.tar.gz"_qs, gz.chopped(3), XADTruncatedError);
        addRow("gzip: second member cut short", u"s.tar.gz"_qs, gz + gzip("more", 6).left(12), XADTruncatedError);
        addRow("gzip: two members", u"s.tar.gz"_qs, gzip(tar.left(100000), 6) + gzip(tar.mid(100000), 0), 0);
        addRow("gzip: zero padding", u"s.tar.gz"_qs, gz + QByteArray(10240, '\0'), 0);
        const QByteArray xz = made(u"xz"_qs);
        addRow("xz: stream footer", u"s.tar.xz"_qs, flipped(xz, xz.size() - 12), XADChecksumError);
        addRow("xz: cut short", u"s.tar.xz"_qs, xz.chopped(6), XADTruncatedError);
        addRow("xz: stream padding", u"s.tar.xz"_qs, xz + QByteArray(8, '\0'), 0);
        const QByteArray bz2 = made(u"bzip2"_qs);
        addRow("bzip2: stream CRC", u"s.tar.bz2"_qs, flipped(bz2, bz2.size() - 2), XADChecksumError);
        addRow("bzip2: cut short", u"s.tar.bz2"_qs, bz2.chopped(3), XADTruncatedError);
        const QByteArray zst = zstdWithChecksum(tar);
        // Padding after the tar, too long for libarchive to decode ahead into.
        const QByteArray padded = zst + zstdWithChecksum(QByteArray(1 << 20, '\0'));
        addRow("zstd: content checksum after the tar", u"s.tar.zst"_qs, flipped(padded, padded.size() - 1),
               XADChecksumError);
        addRow("zstd: trailing garbage", u"s.tar.zst"_qs, zst + "garbage!", XADCorruptError);
        const QByteArray skippable("\x50\x2A\x4D\x18\x03\x00\x00\x00" "abc", 11);
        addRow("zstd: skippable frames", u"s.tar.zst"_qs, skippable + zst + skippable, 0);
        const QByteArray lz4 = made(u"lz4"_qs);
        // FLG byte: the writer asks for a content checksum.
        QVERIFY(lz4.at(4) & 0x04);
        addRow("lz4: content checksum", u"s.tar.lz4"_qs, flipped(lz4, lz4.size() - 1), XADChecksumError);
        addRow("lz4: end mark cut short", u"s.tar.lz4"_qs, lz4.chopped(6), XADTruncatedError);
    }

    void streams()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        QFETCH(int, expected);
        QFETCH(bool, verified);
        QTemporaryDir dir;
        const QString archive = dir.filePath(fileName);
        QVERIFY(writeFile(archive, bytes));
        const QString destination = dir.filePath(u"out"_qs);
        RecordingDelegate delegate;
        const EngineResult result = runEngine(archive, destination, &delegate);
        QCOMPARE(result.code(), expected);
        if (expected) {
            QVERIFY(result.created.isNull());
            QVERIFY(QDir(destination).isEmpty());
            return;
        }
        QCOMPARE(result.verified, verified);
        QCOMPARE(readAll(result.created + u"/data.bin"_qs), data);
        QCOMPARE(readAll(result.created + u"/notes.txt"_qs), QByteArray("A note.\n"));
    }
};

QTEST_GUILESS_MAIN(TestStreamChecks)
#include "test_stream_checks.moc"
