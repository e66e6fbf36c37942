#include "EngineHarness.h"
#include "platform/engine/formats/SevenZipDecryptedView.h"
#include "platform/engine/formats/SevenZipHeader.h"

#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <archive.h>
#include <archive_entry.h>
#include <memory>

namespace {

// How many entries libarchive lists, -1 when it cannot list them all.
int listedEntries(const QString &path)
{
    std::unique_ptr<archive, decltype(&archive_read_free)> reader(archive_read_new(), &archive_read_free);
    archive_read_support_format_7zip(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(path).constData(), 1 << 16) != ARCHIVE_OK)
        return -1;
    int count = 0;
    archive_entry *entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK)
        ++count;
    return status == ARCHIVE_EOF ? count : -1;
}

// Every plain file of the archive, read by libarchive through the view.
QMap<QString, QByteArray> readThrough(SevenZipDecryptedView &view)
{
    struct Source {
        SevenZipDecryptedView *view;
        qint64 at = 0;
        QByteArray buffer = QByteArray(1 << 16, Qt::Uninitialized);
    } source{&view};
    std::unique_ptr<archive, decltype(&archive_read_free)> reader(archive_read_new(), &archive_read_free);
    archive_read_support_format_7zip(reader.get());
    archive_read_set_callback_data(reader.get(), &source);
    archive_read_set_read_callback(reader.get(), [](archive *, void *data, const void **block) -> la_ssize_t {
        auto *from = static_cast<Source *>(data);
        const qint64 read = from->view->read(from->at, from->buffer.data(), from->buffer.size());
        from->at += qMax<qint64>(read, 0);
        *block = from->buffer.constData();
        return la_ssize_t(read);
    });
    archive_read_set_seek_callback(reader.get(), [](archive *, void *data, la_int64_t offset, int whence) {
        auto *from = static_cast<Source *>(data);
        const qint64 base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? from->at : from->view->size();
        from->at = base + offset;
        return la_int64_t(from->at);
    });
    QMap<QString, QByteArray> files;
    if (archive_read_open1(reader.get()) != ARCHIVE_OK)
        return files;
    archive_entry *entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        if (archive_entry_filetype(entry) != AE_IFREG)
            continue;
        QByteArray data;
        char chunk[8192];
        la_ssize_t got = 0;
        while ((got = archive_read_data(reader.get(), chunk, sizeof chunk)) > 0)
            data.append(chunk, got);
        files[QString::fromUtf8(archive_entry_pathname(entry))] = got < 0 ? QByteArray("<damaged>") : data;
    }
    return files;
}

// What 7-Zip itself extracts from the archive with the password.
QMap<QString, QByteArray> extractedBy7zz(const QString &path, const QString &password)
{
    QTemporaryDir out;
    QProcess sevenZip;
    sevenZip.start(u"7zz"_qs, {u"x"_qs, u"-bd"_qs, u"-p"_qs + password, u"-o"_qs + out.path(), path});
    QMap<QString, QByteArray> files;
    if (!sevenZip.waitForFinished(60000) || sevenZip.exitCode() != 0)
        return files;
    QDirIterator it(out.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        files[file.mid(out.path().size() + 1)] = readAll(file);
    }
    return files;
}

} // namespace

// Which of a 7z's entries share a compressed stream, from the header alone:
// what lets workers decode the streams apart.
class TestSevenZipHeader : public QObject {
    Q_OBJECT

    TestEnvironment environment;

private Q_SLOTS:
    void findsTheFolders_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("entries");
        QTest::addColumn<QList<int>>("folderEnds");
        QTest::addColumn<QList<quint64>>("folderSizes");
        QTest::addColumn<bool>("storesLinks");
        // A folder entry last; then first, before the files.
        QTest::newRow("four stored streams")
            << u"copy_2"_qs << 5 << QList<int>{0, 1, 2, 3} << QList<quint64>{13, 26, 39, 52} << false;
        QTest::newRow("four zstd streams")
            << u"zstd"_qs << 5 << QList<int>{1, 2, 3, 4} << QList<quint64>{13, 26, 39, 52} << false;
        QTest::newRow("two solid runs") << u"lzma1_lzma2"_qs << 9 << QList<int>{3, 7} << QList<quint64>{130, 130}
                                        << false;
        QTest::newRow("pack digests") << u"packinfo_digests"_qs << 2 << QList<int>{0, 1} << QList<quint64>{4, 4}
                                      << false;
        QTest::newRow("BCJ2: four coders, one result")
            << u"bcj2_lzma2_1"_qs << 1 << QList<int>{0} << QList<quint64>{27328} << false;
        QTest::newRow("a link's target as data")
            << u"symbolic_name"_qs << 2 << QList<int>{1} << QList<quint64>{37} << true;
        QTest::newRow("empty file only") << u"empty_file"_qs << 1 << QList<int>() << QList<quint64>() << false;
    }

    void findsTheFolders()
    {
        QFETCH(QString, name);
        QFETCH(int, entries);
        QFETCH(QList<int>, folderEnds);
        QFETCH(QList<quint64>, folderSizes);
        QFETCH(bool, storesLinks);
        const QString path = TestEnvironment::corpusPath(u"test_read_format_7zip_%1.7z"_qs.arg(name));
        const auto header = SevenZipHeader::read(VolumeSet::forArchive(path));
        QVERIFY(header.has_value());
        const auto layout = header->layout();
        QVERIFY(layout.has_value());
        QCOMPARE(layout->entryCount, entries);
        QCOMPARE(listedEntries(path), entries);
        QCOMPARE(layout->folderEnds, folderEnds);
        QCOMPARE(layout->folderSizes, folderSizes);
        QCOMPARE(layout->storesLinks, storesLinks);
    }

    // Whatever the header holds, a layout read from it agrees with
    // libarchive's listing, where libarchive can list it; encrypted headers
    // and damage give none.
    void neverDisagreesWithTheListing()
    {
        const QStringList names = QDir(TestEnvironment::corpusPath()).entryList({u"*7zip*"_qs}, QDir::Files);
        QVERIFY(names.size() > 40);
        int read = 0;
        for (const QString &name : names) {
            const QString path = TestEnvironment::corpusPath(name);
            const auto header = SevenZipHeader::read(VolumeSet::forArchive(path));
            const auto layout = header ? header->layout() : std::nullopt;
            const int listed = listedEntries(path);
            if (!layout || listed < 0) // no extraction gets as far as asking
                continue;
            ++read;
            QVERIFY2(layout->entryCount == listed, qPrintable(name));
            for (qsizetype i = 1; i < layout->folderEnds.size(); ++i)
                QVERIFY(layout->folderEnds[i - 1] < layout->folderEnds[i]);
        }
        QVERIFY(read > 30);
        QVERIFY(!SevenZipHeader::read(
            VolumeSet::forArchive(TestEnvironment::corpusPath(u"test_read_format_7zip_encryption_header.7z"_qs))));
        QVERIFY(!SevenZipHeader::read(
            VolumeSet::forArchive(TestEnvironment::corpusPath(u"test_read_format_7zip_malformed.7z"_qs))));
    }

    // Names hidden under the password: the header is decrypted with the key
    // SHA-256 makes of salt and UTF-16 password, and a wrong password is
    // told from damage by the header's checksum.
    void readsEncryptedHeadersWithThePassword_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("folders");
        QTest::newRow("corpus") << TestEnvironment::corpusPath(u"test_read_format_7zip_encryption_header.7z"_qs)
                                << u"12345678"_qs << 1 << 1;
        QTest::newRow("7-Zip, a stream per file, password beyond ASCII")
            << madeBy7zz({u"-ms=off"_qs, u"-mhe=on"_qs, u"-pпароль密码"_qs}) << u"пароль密码"_qs << 6 << 4;
    }

    void readsEncryptedHeadersWithThePassword()
    {
        QFETCH(QString, path);
        QFETCH(QString, password);
        QFETCH(int, entries);
        QFETCH(int, folders);
        using Status = SevenZipHeader::Status;
        SevenZipHeader header;
        QCOMPARE(SevenZipHeader::read(VolumeSet::forArchive(path), QString(), &header), Status::PasswordNeeded);
        QCOMPARE(SevenZipHeader::read(VolumeSet::forArchive(path), password + u'x', &header), Status::PasswordWrong);
        QCOMPARE(SevenZipHeader::read(VolumeSet::forArchive(path), password, &header), Status::Read);
        const auto layout = header.layout();
        QVERIFY(layout.has_value());
        QCOMPARE(layout->entryCount, entries);
        QCOMPARE(layout->folderEnds.size(), folders);
    }

    // Through the view libarchive reads what 7-Zip extracts with the
    // password: plain and encrypted folders, names hidden or not, solid or
    // not, coders chained behind AES.
    void decryptedViewReadsAsPlain_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("password");
        const auto corpus = [](const char *name) { return TestEnvironment::corpusPath(QString::fromLatin1(name)); };
        QTest::newRow("data encrypted") << corpus("test_read_format_7zip_encryption.7z") << u"12345678"_qs;
        QTest::newRow("names encrypted") << corpus("test_read_format_7zip_encryption_header.7z") << u"12345678"_qs;
        QTest::newRow("partly encrypted") << corpus("test_read_format_7zip_encryption_partially.7z") << u"12345678"_qs;
        QTest::newRow("7-Zip, names hidden, a stream per file")
            << madeBy7zz({u"-ms=off"_qs, u"-mhe=on"_qs, u"-pпароль"_qs}, u"per-file.7z"_qs) << u"пароль"_qs;
        QTest::newRow("7-Zip, solid, BCJ and LZMA2")
            << madeBy7zz({u"-m0=BCJ"_qs, u"-m1=LZMA2"_qs, u"-pword"_qs}, u"bcj.7z"_qs) << u"word"_qs;
        QTest::newRow("7-Zip, split in volumes")
            << madeBy7zz({u"-v100k"_qs, u"-mhe=on"_qs, u"-pword"_qs}, u"split.7z"_qs, u".001"_qs) << u"word"_qs;
        QTest::newRow("7-Zip, deflate") << madeBy7zz({u"-m0=Deflate"_qs, u"-pword"_qs}, u"deflate.7z"_qs) << u"word"_qs;
    }

    void decryptedViewReadsAsPlain()
    {
        QFETCH(QString, path);
        QFETCH(QString, password);
        std::unique_ptr<SevenZipDecryptedView> view;
        QCOMPARE(SevenZipDecryptedView::open(VolumeSet::forArchive(path), QString(), &view),
                 SevenZipDecryptedView::Status::PasswordNeeded);
        QCOMPARE(SevenZipDecryptedView::open(VolumeSet::forArchive(path), password, &view),
                 SevenZipDecryptedView::Status::Read);
        QVERIFY(view);
        const QMap<QString, QByteArray> expected = extractedBy7zz(path, password);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(readThrough(*view), expected);
        // A wrong password is told at once where the names are hidden, else
        // by the checksums: never read as data.
        const auto status = SevenZipDecryptedView::open(VolumeSet::forArchive(path), password + u'!', &view);
        QVERIFY(status == SevenZipDecryptedView::Status::PasswordWrong || readThrough(*view) != expected);
    }

    // A flipped byte in encrypted data decrypts to garbage that the
    // entry's checksum (or its decoder) rejects: never read as the data.
    void damagedEncryptedDataIsNoData()
    {
        const QString path = madeBy7zz({u"-ms=off"_qs, u"-mhe=on"_qs, u"-m0=Copy"_qs, u"-pword"_qs}, u"stored.7z"_qs);
        QByteArray bytes = readAll(path);
        QVERIFY(bytes.size() > 200000);
        bytes[150000] = char(bytes[150000] ^ 0x01); // inside the noise file's stream
        const QString damaged = dir.filePath(u"damaged.7z"_qs);
        QVERIFY(writeFile(damaged, bytes));
        std::unique_ptr<SevenZipDecryptedView> view;
        QCOMPARE(SevenZipDecryptedView::open(VolumeSet::forArchive(damaged), u"word"_qs, &view),
                 SevenZipDecryptedView::Status::Read);
        const QMap<QString, QByteArray> files = readThrough(*view);
        QCOMPARE(files.value(u"tree/noise.bin"_qs), QByteArray("<damaged>"));
        QCOMPARE(files.value(u"tree/a.txt"_qs), QByteArray("tree/a.txt").repeated(1000));
    }

private:
    QTemporaryDir dir;

    // Four files in two folders.
    QString madeBy7zz(const QStringList &options, const QString &name = u"made.7z"_qs, const QString &first = {})
    {
        const QString path = dir.filePath(name);
        QDir(dir.path()).mkpath(u"tree/folder"_qs);
        for (const QString &name : {u"tree/a.txt"_qs, u"tree/folder/b.txt"_qs, u"tree/c.txt"_qs})
            writeFile(dir.filePath(name), name.toUtf8().repeated(1000));
        // Incompressible and larger than one read, so reads start inside its
        // encrypted stream.
        QByteArray noise(300000, Qt::Uninitialized);
        quint32 state = 7;
        for (char &byte : noise)
            byte = char((state = state * 1664525u + 1013904223u) >> 24);
        writeFile(dir.filePath(u"tree/noise.bin"_qs), noise);
        QProcess sevenZip;
        sevenZip.setWorkingDirectory(dir.path());
        sevenZip.start(u"7zz"_qs, QStringList{u"a"_qs, u"-bd"_qs} + options + QStringList{path, u"tree"_qs});
        return sevenZip.waitForFinished(60000) && sevenZip.exitCode() == 0 ? path + first : QString();
    }
};

QTEST_GUILESS_MAIN(TestSevenZipHeader)
#include "test_seven_zip_header.moc"
