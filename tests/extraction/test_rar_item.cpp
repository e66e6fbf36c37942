#include "ArchiveMaker.h"
#include "FakeItemController.h"
#include "TestEnvironment.h"
#include "extraction/RARItem.h"
#include "platform/desktop/FileViewer.h"
#include "platform/unarchiver/SpaceCheck.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/settings/UserDefaults.h"
#include "platform/errors/XADException.h"
#include "platform/encoding/XADString.h"
#include "platform/settings/SettingsKeys.h"
#include "support/StringExpand.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <optional>

namespace {

class RecordingViewer : public FileViewer {
public:
    void openFile(const QString &path) override { opened.append(path); }
    void selectFile(const QString &path) override { selected.append(path); }
    QStringList opened;
    QStringList selected;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestRARItem : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<QTemporaryDir> work;
    RecordingViewer viewer;

    std::shared_ptr<RARItem> makeItem(const QString &path, FakeItemController &controller)
    {
        auto item = std::make_shared<RARItem>(path);
        item->setVc(std::make_unique<FakeItemRow>(&controller));
        return item;
    }

    QString makeZip(const QString &name, const QList<ArchiveEntrySpec> &entries)
    {
        const QString path = work->filePath(name);
        if (!ArchiveMaker::write(path, u"zip"_qs, QString(), entries))
            return QString();
        return path;
    }

    void runToEnd(const std::shared_ptr<RARItem> &item, FakeItemController &controller)
    {
        item->extractFile();
        QTRY_VERIFY_WITH_TIMEOUT(controller.finishedCount() == 1, 20000);
    }

    QStringList tempFolders() const
    {
        return QDir(env->appData()).entryList({u".Temp_*"_qs}, QDir::Dirs | QDir::Hidden);
    }

private Q_SLOTS:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        FileViewer::setShared(&viewer);
    }

    void init()
    {
        work = std::make_unique<QTemporaryDir>();
        viewer.opened.clear();
        viewer.selected.clear();
        auto &defaults = UserDefaults::standardUserDefaults();
        for (const QString &key : {SettingsKeys::SaveMethod, SettingsKeys::SelectPath,
                                   SettingsKeys::OpenFolder, SettingsKeys::DeleteZip})
            defaults.removeObjectForKey(key);
    }

    void destinationFollowsTheSettings_data()
    {
        QTest::addColumn<int>("saveMethod");
        QTest::addColumn<QString>("selectPath");
        QTest::addColumn<QString>("expected");
        const QString beside = u"/archives"_qs;
        QTest::newRow("fresh user") << -1 << QString() << beside;
        QTest::newRow("5") << 5 << QString() << beside;
        QTest::newRow("3 chosen") << 3 << u"/chosen"_qs << u"/chosen"_qs;
        QTest::newRow("3 blank") << 3 << u"  \n"_qs << beside;
        QTest::newRow("3 (null)") << 3 << u"(null)"_qs << beside;
        QTest::newRow("2 desktop") << 2 << u"/chosen"_qs << desktopPath();
    }

    void destinationFollowsTheSettings()
    {
        QFETCH(int, saveMethod);
        QFETCH(QString, selectPath);
        QFETCH(QString, expected);
        auto &defaults = UserDefaults::standardUserDefaults();
        if (saveMethod >= 0)
            defaults.setInteger(saveMethod, SettingsKeys::SaveMethod);
        if (!selectPath.isNull())
            defaults.setString(selectPath, SettingsKeys::SelectPath);
        RARItem item(u"/archives/a.zip"_qs);
        QCOMPARE(item.desPath(), expected);
        item.setDesPath(u"/picked"_qs);
        QCOMPARE(item.desPath(), u"/picked"_qs);
    }

    void soloFileLandsUnderAFreeNameBesideTheArchive()
    {
        const QString zip = makeZip(u"report.zip"_qs, {ArchiveEntrySpec::file("report.pdf", "new")});
        QFile existing(work->filePath(u"report.pdf"_qs));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("old");
        existing.close();

        FakeItemController controller;
        auto item = makeItem(zip, controller);
        runToEnd(item, controller);

        QCOMPARE(readAll(work->filePath(u"report.pdf"_qs)), QByteArray("old"));
        const QStringList pdfs = QDir(work->path()).entryList({u"report*.pdf"_qs}, QDir::Files);
        QCOMPARE(pdfs.size(), 2);
        const QString variant = pdfs.at(0) == u"report.pdf"_qs ? pdfs.at(1) : pdfs.at(0);
        QCOMPARE(readAll(work->filePath(variant)), QByteArray("new"));
        QVERIFY(controller.errorTips().isEmpty());
        QVERIFY(tempFolders().isEmpty());
        QVERIFY(QFile::exists(zip));
        QVERIFY(viewer.opened.isEmpty() && viewer.selected.isEmpty());
    }

    void severalItemsStayInAnEnclosingFolder()
    {
        const QString zip = makeZip(u"photos.zip"_qs, {ArchiveEntrySpec::file("a.jpg", "a"),
                                                       ArchiveEntrySpec::file("b.jpg", "b")});
        FakeItemController controller;
        auto item = makeItem(zip, controller);
        auto *row = static_cast<FakeItemRow *>(item->vc());
        runToEnd(item, controller);
        QCOMPARE(readAll(work->filePath(u"photos/a.jpg"_qs)), QByteArray("a"));
        QCOMPARE(readAll(work->filePath(u"photos/b.jpg"_qs)), QByteArray("b"));
        QCoreApplication::processEvents();
        QVERIFY(!row->progress.isEmpty());
        QCOMPARE(row->progress.last(), 1.0);
        for (double p : row->progress)
            QVERIFY(p >= 0.0 && p <= 1.0);
    }

    // Copies the corpus volumes whose names start with prefix into the work
    // folder; the volumes in drop are left out. Returns the copies.
    QStringList copyCorpusSet(const QString &prefix, const QStringList &drop = {})
    {
        const QDir corpus(TestEnvironment::corpusPath());
        QStringList copies;
        for (const QString &name : corpus.entryList({prefix + u".part*"_qs}, QDir::Files)) {
            if (drop.contains(name))
                continue;
            copies.append(work->filePath(name));
            QFile::copy(corpus.filePath(name), copies.last());
            QFile::setPermissions(copies.last(), QFile::ReadOwner | QFile::WriteOwner);
        }
        return copies;
    }

    // The archive files to offer an item, the first one opened; empty when
    // the case cannot be built here.
    QStringList deleteCase(const QString &name)
    {
        const QString single = u"test_rar_multivolume_single_file"_qs;
        const QList<ArchiveEntrySpec> entries = {ArchiveEntrySpec::file("a.txt", QByteArray(5000, 'a')),
                                                 ArchiveEntrySpec::file("b.txt", "b")};
        if (name == u"zip")
            return {makeZip(u"good.zip"_qs, entries)};
        if (name == u"RAR set")
            return copyCorpusSet(single);
        if (name == u"RAR set without its last volume")
            return copyCorpusSet(single, {single + u".part3.rar"_qs});
        const QString tar = work->filePath(name == u"tar.Z" ? u"data.tar.Z"_qs : u"data.tar.gz"_qs);
        if (!ArchiveMaker::write(tar, u"pax"_qs, name == u"tar.Z" ? u"compress"_qs : u"gzip"_qs, entries))
            return {};
        if (name == u"tar.gz with a wrong CRC") {
            QFile file(tar);
            file.open(QIODevice::ReadWrite);
            file.seek(file.size() - 8); // the trailer: CRC-32, then length
            const char crc = file.peek(1).at(0);
            file.write(QByteArray(1, char(crc ^ 1)));
        }
        return {tar};
    }

    void deleteZipRemovesEveryVolumeOnlyAfterAVerifiedSuccess_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("zip") << u"zip"_qs << true;
        QTest::newRow("RAR set") << u"RAR set"_qs << true;
        QTest::newRow("RAR set without its last volume") << u"RAR set without its last volume"_qs << false;
        QTest::newRow("tar.gz with a wrong CRC") << u"tar.gz with a wrong CRC"_qs << false;
        // compress carries no check at all, and libarchive decodes it.
        QTest::newRow("tar.Z, nothing to verify it by") << u"tar.Z"_qs << false;
    }

    void deleteZipRemovesEveryVolumeOnlyAfterAVerifiedSuccess()
    {
        QFETCH(QString, name);
        QFETCH(bool, deleted);
        if (name.startsWith(u"RAR") && !QFileInfo::exists(TestEnvironment::corpusPath()))
            QSKIP("the libarchive corpus is not beside the checkout");
        UserDefaults::standardUserDefaults().setInteger(1, SettingsKeys::DeleteZip);
        const QStringList files = deleteCase(name);
        QVERIFY(!files.isEmpty());
        FakeItemController controller;
        runToEnd(makeItem(files.constFirst(), controller), controller);
        for (const QString &file : files)
            QCOMPARE(QFile::exists(file), !deleted);
        const bool failed = controller.events().contains(u"error"_qs);
        QCOMPARE(failed, name != u"zip" && name != u"RAR set" && name != u"tar.Z");
        if (failed)
            QVERIFY(controller.errorTips().join(u' ').contains(QFileInfo(files.constFirst()).fileName()));
        QVERIFY(tempFolders().isEmpty());
    }

    void failedMoveKeepsTheResultAndTheArchive()
    {
        UserDefaults::standardUserDefaults().setInteger(1, SettingsKeys::DeleteZip);
        const QString zip = makeZip(u"keep.zip"_qs, {ArchiveEntrySpec::file("k.txt", "keep me")});
        QFile blocker(work->filePath(u"not-a-folder"_qs));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        FakeItemController controller;
        auto item = makeItem(zip, controller);
        item->setDesPath(blocker.fileName() + u"/inside"_qs);
        runToEnd(item, controller);

        QVERIFY(QFile::exists(zip));
        QCOMPARE(controller.events().count(u"error"_qs), 1);
        const QStringList kept = tempFolders();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(readAll(env->appData() + u'/' + kept.first() + u"/k.txt"_qs), QByteArray("keep me"));
        QVERIFY(controller.errorTips().first().contains(kept.first()));
        QDir(env->appData() + u'/' + kept.first()).removeRecursively();
    }

    void tooLittleSpaceIsToldBeforeExtracting()
    {
        const QString zip = makeZip(u"huge.zip"_qs, {ArchiveEntrySpec::file("huge.bin", QByteArray(1 << 20, 'h'))});
        SpaceCheck::setFreeSpaceSource([&](const QString &path) {
            return path.startsWith(env->appData()) ? qint64(1000) : qint64(1) << 40;
        });
        FakeItemController controller;
        auto item = makeItem(zip, controller);
        runToEnd(item, controller);
        SpaceCheck::setFreeSpaceSource({});
        QCOMPARE(controller.events(), (QList<QString>{u"error"_qs, u"finished"_qs}));
        const QString tip = controller.errorTips().first();
        for (const QString &part : {u"huge.zip"_qs, env->appData(), QLocale().formattedDataSize(1 << 20),
                                    QLocale().formattedDataSize(1000)})
            QVERIFY2(tip.contains(part), qPrintable(tip + u" lacks "_qs + part));
        QCOMPARE(QDir(work->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{u"huge.zip"_qs});
        QVERIFY(tempFolders().isEmpty());
    }

    void passwordHandshakeWorksInBothOrders_data()
    {
        QTest::addColumn<int>("timing");
        QTest::newRow("answer after the worker waits") << int(FakeItemController::AnswerTiming::OnMainThread);
        QTest::newRow("answer before the worker waits") << int(FakeItemController::AnswerTiming::BeforeWait);
    }

    void passwordHandshakeWorksInBothOrders()
    {
        QFETCH(int, timing);
        const QString zip = work->filePath(u"secret.zip"_qs);
        QVERIFY(ArchiveMaker::write(zip, u"zip"_qs, QString(),
                                    {ArchiveEntrySpec::file("s.txt", "secret text")},
                                    u"zip:encryption=zipcrypt"_qs, "12345678"));
        FakeItemController controller;
        controller.timing = FakeItemController::AnswerTiming(timing);
        controller.onPassword = [](const std::shared_ptr<RARItem> &item) {
            item->setPassword(u"12345678"_qs);
        };
        runToEnd(makeItem(zip, controller), controller);
        QCOMPARE(controller.events().count(u"password"_qs), 1);
        QCOMPARE(controller.events().count(u"error"_qs), 0);
        QCOMPARE(readAll(work->filePath(u"s.txt"_qs)), QByteArray("secret text"));
    }

    // The row's cancel comes while the worker waits for the password, after
    // the temporary folder was made: the run stops at its next poll, with
    // nothing left behind.
    void cancelMidRunLeavesNoTemporaryFolder()
    {
        QList<ArchiveEntrySpec> entries;
        for (int i = 0; i < 8; ++i)
            entries.append(ArchiveEntrySpec::file("big/f" + QByteArray::number(i), QByteArray(2 << 20, 'q')));
        const QString zip = work->filePath(u"big.zip"_qs);
        QVERIFY(ArchiveMaker::write(zip, u"zip"_qs, QString(), entries, u"zip:encryption=zipcrypt"_qs, "pw"));
        FakeItemController controller;
        controller.onPassword = [this](const std::shared_ptr<RARItem> &item) {
            QVERIFY(!tempFolders().isEmpty());
            item->extractCancel();
            item->setPassword(u"pw"_qs);
        };
        runToEnd(makeItem(zip, controller), controller);
        QVERIFY(tempFolders().isEmpty());
        QVERIFY(!QFile::exists(work->filePath(u"big"_qs)));
    }

    void encodingIsTakenWhenConfidentAndAskedOtherwise()
    {
        const quint64 gbk = EncodingRegistry::instance().numberForName(u"GBK"_qs);
        QVERIFY(gbk != 0);
        const QString gbkName = XADString::encodingNameForEncoding(gbk);
        const QByteArray chinese("\xd6\xd0\xce\xc4.txt"); // "中文.txt" in GBK
        const QByteArray notGbk("\xff\xfe\xff.txt");

        FakeItemController controller;
        controller.timing = FakeItemController::AnswerTiming::BeforeWait;
        std::optional<quint64> answer;
        controller.onEncoding = [&](const std::shared_ptr<RARItem> &item, const XADString &) {
            if (answer)
                item->setEncoding(*answer);
        };
        auto asked = [&] { return controller.events().count(u"encoding"_qs); };
        auto item = makeItem(u"/x/names.zip"_qs, controller);

        QCOMPARE(item->encodingNameForXADString(nullptr, XADString(chinese, gbk, 0.8f)), gbkName);
        QCOMPARE(asked(), 0);

        answer = gbk;
        QCOMPARE(item->encodingNameForXADString(nullptr, XADString(chinese, gbk, 0.79f)), gbkName);
        QCOMPARE(asked(), 1);
        QCOMPARE(item->encoding(), gbk);

        // The chosen encoding stays for later names it can decode.
        QCOMPARE(item->encodingNameForXADString(nullptr, XADString(chinese, 0, 0.0f)), gbkName);
        QCOMPARE(asked(), 1);

        // A name it cannot decode asks again; cancelling keeps the earlier choice.
        answer.reset();
        QCOMPARE(item->encodingNameForXADString(nullptr, XADString(notGbk, 0, 0.0f)), gbkName);
        QCOMPARE(asked(), 2);
        QVERIFY(!item->isCancelled());

        // Cancelling the first request of an archive cancels it.
        auto fresh = makeItem(u"/x/other.zip"_qs, controller);
        QVERIFY(fresh->encodingNameForXADString(nullptr, XADString(chinese, gbk, NAN)).isNull());
        QVERIFY(fresh->isCancelled());
    }

    void entryErrorShowsTheReasonThenStops()
    {
        FakeItemController controller;
        controller.timing = FakeItemController::AnswerTiming::BeforeWait;
        auto item = makeItem(u"/x/broken.zip"_qs, controller);
        item->didExtractEntry(nullptr, XADEntryInfo{}, QString(), 0);
        QVERIFY(controller.events().isEmpty());
        item->didExtractEntry(nullptr, XADEntryInfo{}, QString(), XADChecksumError);
        QCOMPARE(controller.events(), QList<QString>{u"error"_qs});
        QVERIFY(controller.errorTips().first().contains(u"broken.zip"_qs));
        QVERIFY(controller.errorTips().first().contains(XADException::describeXADError(XADChecksumError)));
        QVERIFY(item->isCancelled());
        item->didExtractEntry(nullptr, XADEntryInfo{}, QString(), XADChecksumError);
        QCOMPARE(controller.events().size(), 1); // already cancelled: no second prompt
    }
};

QTEST_GUILESS_MAIN(TestRARItem)
#include "test_rar_item.moc"
