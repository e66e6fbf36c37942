#include "ArchiveMaker.h"
#include "EngineHarness.h"
#include "TestEnvironment.h"
#include "platform/errors/XADException.h"
#include "platform/unarchiver/XADSimpleUnarchiver.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// Zip passwords through the delegate; encryption libarchive cannot undo is
// refused plainly, never extracted as garbage.
class TestEnginePasswords : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;
    QTemporaryDir archives;

    QString encryptedZip(const QString &method)
    {
        const QString path = archives.filePath(method + u".zip"_qs);
        if (!QFileInfo::exists(path)) {
            const bool written = ArchiveMaker::write(
                path, u"zip"_qs, QString(),
                {ArchiveEntrySpec::file("secret/one.txt", QByteArray("first secret\n").repeated(500)),
                 ArchiveEntrySpec::file("secret/two.txt", "second secret\n")},
                u"zip:encryption="_qs + method, "correct horse");
            if (!written)
                return QString();
        }
        return path;
    }

    static bool isEmptyFolder(const QString &path)
    {
        return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty();
    }

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }

    // answers: what the user types at each prompt; with "cancel", a prompt
    // left unanswered is a cancel.
    void dialogue_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("prompts");
        for (const QString &method : {u"zipcrypt"_qs, u"aes128"_qs, u"aes256"_qs}) {
            const auto row = [&](const char *name) -> QTestData & {
                return QTest::newRow(qPrintable(method + u": "_qs + QLatin1StringView(name)));
            };
            const QString right = u"correct horse"_qs, wrong = u"battery staple"_qs;
            // The second entry uses the password the first one needed.
            row("right password, asked once") << method << QStringList{right} << false << 0 << 1;
            row("wrong, asked again, right") << method << QStringList{wrong, right} << false << 0 << 2;
            row("the same wrong one twice gives up") << method << QStringList{wrong, wrong, right} << false
                                                     << int(XADPasswordError) << 2;
            row("prompt cancelled") << method << QStringList() << true << int(XADBreakError) << 1;
            row("prompt unanswered") << method << QStringList() << false << int(XADPasswordError) << 1;
        }
    }

    void dialogue()
    {
        QFETCH(QString, method);
        QFETCH(QStringList, answers);
        QFETCH(bool, cancel);
        QFETCH(int, expected);
        QFETCH(int, prompts);
        const QString archive = encryptedZip(method);
        QVERIFY(!archive.isEmpty());
        QTemporaryDir out;
        RecordingDelegate delegate;
        delegate.passwordAnswers = answers;
        delegate.stopWhenUnanswered = cancel;
        const EngineResult result = runEngine(archive, out.path(), &delegate);
        QCOMPARE(result.parse, 0);
        QCOMPARE(result.unarchive, expected);
        QCOMPARE(delegate.passwordRequests.load(), prompts);
        if (expected != 0) {
            QVERIFY(isEmptyFolder(out.path()));
            if (expected == XADPasswordError)
                QVERIFY(delegate.errorCodes().contains(int(XADPasswordError)));
            return;
        }
        QCOMPARE(readAll(result.created + u"/one.txt"_qs), QByteArray("first secret\n").repeated(500));
        QCOMPARE(readAll(result.created + u"/two.txt"_qs), QByteArray("second secret\n"));
    }

    void passwordGivenBeforehandIsNotAskedFor()
    {
        QTemporaryDir out;
        RecordingDelegate delegate;
        auto unarchiver = XADSimpleUnarchiver::simpleUnarchiverForPath(encryptedZip(u"zipcrypt"_qs));
        QVERIFY(unarchiver);
        unarchiver->setDelegate(&delegate);
        unarchiver->setPassword(u"correct horse"_qs);
        QCOMPARE(unarchiver->parse(), 0);
        unarchiver->setDestination(out.path());
        QCOMPARE(unarchiver->unarchive(), 0);
        QCOMPARE(delegate.passwordRequests.load(), 0);
    }

    void corpusZipPasswords_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("password");
        QTest::newRow("ZipCrypto") << u"test_read_format_zip_traditional_encryption_data.zip"_qs << u"12345678"_qs;
        QTest::newRow("AES-128") << u"test_read_format_zip_winzip_aes128.zip"_qs << u"password"_qs;
        QTest::newRow("AES-256") << u"test_read_format_zip_winzip_aes256.zip"_qs << u"password"_qs;
        QTest::newRow("AES-256 large") << u"test_read_format_zip_winzip_aes256_large.zip"_qs << u"password"_qs;
        QTest::newRow("AES-256 stored") << u"test_read_format_zip_winzip_aes256_stored.zip"_qs << u"password"_qs;
    }

    void corpusZipPasswords()
    {
        QFETCH(QString, archive);
        QFETCH(QString, password);
        const QString path = TestEnvironment::corpusPath(archive);
        bool ok = false;
        const Tree expected = filesAndLinks(referenceTree({path}, &ok, password.toUtf8()));
        QVERIFY(ok);
        QTemporaryDir out;
        RecordingDelegate delegate;
        delegate.passwordAnswers = {u"not it"_qs, password};
        const EngineResult result = runEngine(path, out.path(), &delegate, false);
        QCOMPARE(result.unarchive, 0);
        QCOMPARE(delegate.passwordRequests.load(), 2);
        const Tree actual = filesAndLinks(listTree(result.created));
        QVERIFY2(actual == expected, qPrintable(describeTree(actual) + u"\n---\n"_qs + describeTree(expected)));
    }

    // libarchive 3.6 decrypts these but then fails to decompress them, even
    // with the right password: the run must fail, never look like success.
    void decryptedButUndecodable_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("password");
        QTest::newRow("AES-256 lzma") << u"test_read_format_zip_winzip_aes256_large_lzma.zip"_qs << u"password"_qs;
        QTest::newRow("zipx ppmd AES") << u"test_read_format_zip_ppmd8_aes256_streaming.zipx"_qs
                                       << u"test_password_zipx"_qs;
    }

    void decryptedButUndecodable()
    {
        QFETCH(QString, archive);
        QFETCH(QString, password);
        QTemporaryDir out;
        RecordingDelegate delegate;
        delegate.passwordAnswers = {password};
        const EngineResult result = runEngine(TestEnvironment::corpusPath(archive), out.path(), &delegate);
        QCOMPARE(result.parse, 0);
        QVERIFY(result.unarchive != 0);
        QVERIFY(result.unarchive != int(XADPasswordError));
        QCOMPARE(delegate.passwordRequests.load(), 1);
        QVERIFY(isEmptyFolder(out.path()));
    }

    // libarchive can only tell that these are encrypted (RAR, 7z, and zip's
    // PKWARE strong encryption). The run fails with a
    // plain reason, nobody is asked for a password that could not help, and
    // nothing (garbage least of all) is left behind.
    void unsupportedEncryption_data()
    {
        QTest::addColumn<QString>("archive");
        const QDir corpus(TestEnvironment::corpusPath());
        const QStringList names = corpus.entryList({u"test_read_format_rar*_encrypted*.rar"_qs,
                                                    u"test_read_format_rar_encryption_*.rar"_qs,
                                                    u"test_read_format_7zip_encryption*.7z"_qs,
                                                    u"test_read_format_zip_encryption_*.zip"_qs},
                                                   QDir::Files, QDir::Name);
        QVERIFY(names.size() >= 10);
        for (const QString &name : names)
            QTest::newRow(qPrintable(name)) << name;
    }

    void unsupportedEncryption()
    {
        QFETCH(QString, archive);
        QTemporaryDir out;
        RecordingDelegate delegate;
        delegate.passwordAnswers = {u"password"_qs, u"password2"_qs};
        const EngineResult result = runEngine(TestEnvironment::corpusPath(archive), out.path(), &delegate);
        const int code = result.parse != 0 ? result.parse : result.unarchive;
        QCOMPARE(code, int(XADUnsupportedEncryptionError));
        QCOMPARE(delegate.passwordRequests.load(), 0);
        QVERIFY(isEmptyFolder(out.path()));
        QVERIFY(XADException::describeXADError(code).contains(u"encrypted"_qs));
        // When entries were read at all, the reason reached the delegate too.
        if (result.parse == 0)
            QVERIFY(delegate.errorCodes().contains(int(XADUnsupportedEncryptionError)));
    }
};

QTEST_GUILESS_MAIN(TestEnginePasswords)
#include "test_engine_passwords.moc"
