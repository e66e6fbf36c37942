#include "EngineHarness.h"
#include "platform/engine/ArchiveReader.h"
#include "platform/engine/formats/Crc32.h"
#include "platform/engine/formats/Rar3Key.h"
#include "platform/engine/formats/Rar4DecryptedView.h"

#include <QMap>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <memory>
#include <openssl/evp.h>

namespace {

using Files = QMap<QString, QByteArray>;
const QByteArray unreadable = QByteArrayLiteral("<unreadable>");

// Hands out the passwords in order, then none; counts how often it is asked.
struct Passwords {
    QList<QByteArray> answers;
    int asked = 0;

    explicit Passwords(const QStringList &passwords)
    {
        for (const QString &password : passwords)
            answers.append(password.toUtf8());
    }
    ArchiveReader::PassphraseSource source()
    {
        return [this]() -> const char * {
            ++asked;
            return asked <= answers.size() ? answers.at(asked - 1).constData() : nullptr;
        };
    }
};

struct Extraction : ViewFiles {
    bool headersEncrypted = false;
    QList<quint32> fileCrcs; // as the view tells them, in entry order
};

QString corpus(const char *name)
{
    return TestEnvironment::corpusPath(QLatin1String(name));
}

QByteArray block(quint8 type, quint16 flags, const QByteArray &fields)
{
    QByteArray header(7, '\0');
    header[2] = char(type);
    qToLittleEndian<quint16>(flags, header.data() + 3);
    qToLittleEndian<quint16>(quint16(7 + fields.size()), header.data() + 5);
    header += fields;
    qToLittleEndian<quint16>(quint16(Crc32::of(header.mid(2))), header.data());
    return header;
}

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian<quint32>(value, bytes.data());
    return bytes;
}

// One stored file, encrypted as RAR 3 does: no archive program here writes
// RAR, and libarchive's own archives compress every encrypted file.
QByteArray storedEncrypted(const QByteArray &content, const QString &password)
{
    const QByteArray salt = QByteArrayLiteral("saltsalt");
    const Rar3Key key = Rar3Key::derive(password, salt);
    QByteArray data = content.leftJustified((content.size() + 15) / 16 * 16, '\0');
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> cipher(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    auto *bytes = reinterpret_cast<unsigned char *>(data.data());
    int written = 0;
    EVP_EncryptInit_ex(cipher.get(), EVP_aes_128_cbc(), nullptr, reinterpret_cast<const uchar *>(key.key().constData()),
                       reinterpret_cast<const uchar *>(key.iv().constData()));
    EVP_CIPHER_CTX_set_padding(cipher.get(), 0);
    EVP_EncryptUpdate(cipher.get(), bytes, &written, bytes, int(data.size()));
    const QByteArray name = QByteArrayLiteral("noise.bin");
    const QByteArray fields = le32(quint32(data.size())) + le32(quint32(content.size())) + '\x03' +
                              le32(Crc32::of(content)) + le32(0) + QByteArray("\x1d\x30", 2) +
                              QByteArray(1, char(name.size())) + '\0' + le32(0100644) + name + salt;
    return QByteArray("Rar!\x1a\x07\x00", 7) + block(0x73, 0, QByteArray(6, '\0')) + block(0x74, 0x8404, fields) +
           data + block(0x7b, 0, {});
}

} // namespace

// Encrypted RAR archives, read by libarchive through the views that decrypt
// them: names hidden or not, solid or not, a password per file.
class TestRarEncryption : public QObject {
    Q_OBJECT

    TestEnvironment environment;
    QTemporaryDir dir;

    using Status = Rar4DecryptedView::Status;

    // The view as the engine opens it: without a password first, with the
    // first one given when the headers need it.
    static Status open(const QString &path, Passwords *passwords, std::unique_ptr<Rar4DecryptedView> *view)
    {
        const VolumeSet volumes = VolumeSet::forArchive(path);
        const Status status = Rar4DecryptedView::open(volumes, QString(), view);
        if (status != Status::PasswordNeeded || passwords->answers.isEmpty())
            return status;
        return Rar4DecryptedView::open(volumes, QString::fromUtf8(passwords->source()()), view);
    }

    // Read through a copy of the view, as a worker reads, then through the
    // view itself, which finds the keys the copy found without asking.
    static Extraction extract(const QString &path, Passwords *passwords)
    {
        std::unique_ptr<Rar4DecryptedView> view;
        if (open(path, passwords, &view) != Status::Read || !view)
            return {};
        const VolumeSet volumes = VolumeSet::forArchive(path);
        Extraction first;
        static_cast<ViewFiles &>(first) = filesThroughView(volumes, view->copy(), passwords->source());
        first.headersEncrypted = view->headersWereEncrypted();
        for (int entry = 0; entry < view->fileCrcs().size(); ++entry)
            first.fileCrcs.append(view->fileCrcs().value(entry));
        Passwords none({});
        const ViewFiles again = filesThroughView(volumes, std::move(view), none.source());
        if (again.files != first.files || again.complete != first.complete)
            first.files.insert(u"<not as read through the copy>"_qs, {});
        return first;
    }

    // A copy of the archive with one byte changed.
    QString damaged(const QString &path, qint64 offset)
    {
        QByteArray bytes = readAll(path);
        bytes[offset] = char(bytes[offset] ^ 0x20);
        const QString copy = dir.filePath(u"damaged-"_qs + QFileInfo(path).fileName());
        return writeFile(copy, bytes) ? copy : QString();
    }

    QString noiseArchive()
    {
        const QString path = dir.filePath(u"stored.rar"_qs);
        return writeFile(path, storedEncrypted(noise(), u"right"_qs)) ? path : QString();
    }

    // Incompressible and larger than one read, so reads start inside its data.
    static QByteArray noise()
    {
        QByteArray bytes(300001, Qt::Uninitialized);
        quint32 state = 7;
        for (char &byte : bytes)
            byte = char((state = state * 1664525u + 1013904223u) >> 24);
        return bytes;
    }

private Q_SLOTS:
    // A stored file shows without its padding, read through a copy and
    // through the view; a wrong password fails its CRC and is asked again.
    // (The engine's tests extract the corpus's compressed ones.)
    void storedFileExtracts()
    {
        Passwords source({u"wrong"_qs, u"right"_qs});
        const Extraction result = extract(noiseArchive(), &source);
        QCOMPARE(result.headersEncrypted, false);
        QCOMPARE(source.asked, 2);
        QCOMPARE(result.fileCrcs, QList<quint32>{Crc32::of(noise())});
        QCOMPARE(result.files, (Files{{u"noise.bin"_qs, noise()}}));
        QVERIFY(result.complete);
    }

    // Every block of every volume walked, nothing encrypted found.
    void plainSetsNeedNoView()
    {
        for (const char *name : {"test_read_format_rar.rar", "test_read_format_rar_sfx.exe",
                                 "test_rar_multivolume_multiple_files.part1.rar"}) {
            const VolumeSet volumes = VolumeSet::forArchive(corpus(name));
            std::unique_ptr<Rar4DecryptedView> view;
            QCOMPARE(Rar4DecryptedView::open(volumes, QString(), &view), Status::Read);
            QVERIFY(!view);
        }
    }

    void noKeyNoData_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("passwords");
        QTest::addColumn<QString>("lost");
        QTest::addColumn<int>("asked");
        const QString encrypted = corpus("test_read_format_rar4_encrypted.rar");
        const QString hidden = corpus("test_read_format_rar_encryption_header.rar");
        // Asked until the source has no more.
        QTest::newRow("wrong password, compressed") << encrypted << QStringList{u"wrong"_qs} << u"b.txt"_qs << 2;
        QTest::newRow("wrong password, stored") << noiseArchive() << QStringList{u"wrong"_qs} << u"noise.bin"_qs << 2;
        // Inside b.txt's data, then foo.txt's, then the noise.
        QTest::newRow("damaged, compressed")
            << damaged(encrypted, 0x90) << QStringList{u"password"_qs, u"password2"_qs} << u"b.txt"_qs << 3;
        QTest::newRow("damaged, names hidden")
            << damaged(hidden, 0x50) << QStringList{u"12345678"_qs} << u"foo.txt"_qs << 1;
        QTest::newRow("damaged, stored") << damaged(noiseArchive(), 100000) << QStringList{u"right"_qs}
                                         << u"noise.bin"_qs << 2;
    }

    // When no password opens an entry, or its data is damaged, its read
    // fails: a key is only taken once it opens the entry, and what the
    // headers' password decrypts is still checked by libarchive.
    void noKeyNoData()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, passwords);
        QFETCH(QString, lost);
        QFETCH(int, asked);
        Passwords source(passwords);
        const Extraction result = extract(path, &source);
        QVERIFY(!result.complete);
        QCOMPARE(result.files.value(lost, unreadable), unreadable);
        QCOMPARE(source.asked, asked);
    }
};

QTEST_GUILESS_MAIN(TestRarEncryption)
#include "test_rar_encryption.moc"
