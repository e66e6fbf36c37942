#include "EngineHarness.h"
#include "LegacyZipWriter.h"
#include "platform/engine/formats/ZipCentralDirectory.h"

#include <QTemporaryDir>
#include <QtTest>

using Entries = QList<ZipCentralDirectory::Entry>;

// The zip's own directory, read for what libarchive does not tell: the raw
// bytes of legacy names, the UTF-8 flag, the Unicode path field and the host.
class TestZipCentralDirectory : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    Entries readWritten(const LegacyZipWriter &writer)
    {
        const QString path = dir.filePath(u"written.zip"_qs);
        if (!writer.write(path))
            return {};
        return ZipCentralDirectory::read(path).value_or(Entries());
    }

private Q_SLOTS:
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

    void rejectsWhatIsNoZipOrDamaged()
    {
        LegacyZipWriter writer;
        writer.add(QByteArray("first.txt"), QByteArray(300, 'x'));
        writer.add(QByteArray("second.txt"), QByteArray(300, 'y'));
        const QString path = dir.filePath(u"bad.zip"_qs);
        QVERIFY(writer.write(path));
        const QByteArray good = readAll(path);
        const qsizetype end = good.size() - 22;
        const qsizetype directory = good.indexOf(QByteArray("PK\x01\x02", 4));
        const auto changed = [&](qsizetype at, const QByteArray &bytes) {
            return QByteArray(good).replace(at, bytes.size(), bytes);
        };
        // Nothing, text, a directory too big, a name past it, a cut, garbage, another disk.
        for (const QByteArray &bytes : {QByteArray(), QByteArray(100000, 'a'), changed(end + 12, "\xff\xff\xff"),
                                        changed(directory + 28, "\xff\x7f"), good.left(directory + 20),
                                        changed(directory, "X"), changed(end + 4, "\x01")}) {
            QVERIFY(writeFile(path, bytes));
            QVERIFY(!ZipCentralDirectory::read(path).has_value());
        }
        QVERIFY(!ZipCentralDirectory::read(dir.filePath(u"missing.zip"_qs)).has_value());
    }
};

QTEST_GUILESS_MAIN(TestZipCentralDirectory)
#include "test_zip_central_directory.moc"
