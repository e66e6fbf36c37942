#include "ArchiveMaker.h"
#include "FakeItemController.h"
#include "OtherFileSystem.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "extraction/RARItem.h"
#include "platform/desktop/FileViewer.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/XADString.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/settings/UserDefaults.h"
#include "platform/unarchiver/SpaceCheck.h"
#include "support/StringExpand.h"

#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>

namespace {

class RecordingViewer : public FileViewer {
public:
    void openFile(const QString &path) override { opened.append(path); }
    void selectFile(const QString &path) override { opened.append(path); }
    QStringList opened;
};

// The user cancels only after the engine last asked whether to stop, so the
// run still ends as a success.
class LateCancelItem : public RARItem {
public:
    using RARItem::RARItem;
    bool extractionShouldStop(XADSimpleUnarchiver *) override { return extractCancel(), false; }
};

// Holds the copy to another disk at its first stop question with data
// copied, until the main thread has shown the copy in the row: a copy that
// ran on the main thread would never be let go.
class HeldCopyItem : public RARItem {
public:
    using RARItem::RARItem;
    bool extractionShouldStop(XADSimpleUnarchiver *unarchiver) override
    {
        if (held == 0 && QFileInfo::exists(target))
            held = rowShowedCopy.tryAcquire(1, 20000) ? 1 : -1;
        return RARItem::extractionShouldStop(unarchiver);
    }
    QString target;
    QSemaphore rowShowedCopy;
    std::atomic<int> held{0}; // 1 let go by the main thread, -1 never
};

} // namespace

class TestRARItem : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<QTemporaryDir> work;
    RecordingViewer viewer;

    template <typename Item = RARItem>
    std::shared_ptr<RARItem> makeItem(const QString &path, FakeItemController &controller)
    {
        std::shared_ptr<RARItem> item = std::make_shared<Item>(path);
        item->setVc(std::make_unique<FakeItemRow>(&controller));
        return item;
    }

    QString makeZip(const QString &name, const QList<ArchiveEntrySpec> &entries, const QString &options = {},
                    const QByteArray &password = {})
    {
        return ArchiveMaker::zip(work->filePath(name), entries, options, password);
    }

    void runToEnd(const std::shared_ptr<RARItem> &item, FakeItemController &controller)
    {
        item->extractFile();
        QTRY_VERIFY_WITH_TIMEOUT(controller.finishedCount() == 1, 20000);
    }

    // The corpus volumes whose names start with prefix, copied into the work
    // folder without the one named in drop.
    QStringList copyCorpusSet(const QString &prefix, const QString &drop = {})
    {
        const QDir corpus(TestEnvironment::corpusPath());
        QStringList copies;
        for (const QString &name : corpus.entryList({prefix + u".part*"_qs}, QDir::Files)) {
            if (name == drop)
                continue;
            copies.append(work->filePath(name));
            QFile::copy(corpus.filePath(name), copies.last());
            QFile::setPermissions(copies.last(), QFile::ReadOwner | QFile::WriteOwner);
        }
        return copies;
    }

    // The archive files of a case, the first one to be opened.
    QStringList deleteCase(const QString &name)
    {
        const QString single = u"test_rar_multivolume_single_file"_qs;
        const QList<ArchiveEntrySpec> entries = {ArchiveEntrySpec::file("a.txt", QByteArray(5000, 'a')),
                                                 ArchiveEntrySpec::file("b.txt", "b")};
        if (name.startsWith(u"zip"))
            return {makeZip(u"good.zip"_qs, entries)};
        if (name.startsWith(u"RAR"))
            return copyCorpusSet(single, name == u"RAR set" ? QString() : single + u".part3.rar"_qs);
        const QString tar = work->filePath(name == u"tar.Z" ? u"data.tar.Z"_qs : u"data.tar.gz"_qs);
        if (!ArchiveMaker::write(tar, u"pax"_qs, name == u"tar.Z" ? u"compress"_qs : u"gzip"_qs, entries))
            return {};
        QByteArray bytes = readAll(tar);
        if (name == u"tar.gz with a wrong CRC") // the trailer: CRC-32, then length
            bytes[bytes.size() - 8] = char(bytes.at(bytes.size() - 8) ^ 1);
        return {writeFile(tar, bytes) ? tar : QString()};
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
        for (const QString &key : {SettingsKeys::SaveMethod, SettingsKeys::SelectPath, SettingsKeys::OpenFolder,
                                   SettingsKeys::DeleteZip})
            UserDefaults::standardUserDefaults().removeObjectForKey(key);
    }

    void destinationFollowsTheSettings_data()
    {
        QTest::addColumn<int>("saveMethod");
        QTest::addColumn<QString>("selectPath");
        QTest::addColumn<QString>("expected");
        const QString beside = u"/archives"_qs;
        QTest::newRow("fresh user") << -1 << QString() << beside;
        QTest::newRow("3 chosen") << 3 << u"/chosen"_qs << u"/chosen"_qs;
        QTest::newRow("3 (null)") << 3 << u"(null)"_qs << beside;
        QTest::newRow("2 desktop") << 2 << u"/chosen"_qs << desktopPath();
    }

    void destinationFollowsTheSettings()
    {
        QFETCH(int, saveMethod);
        QFETCH(QString, selectPath);
        auto &defaults = UserDefaults::standardUserDefaults();
        if (saveMethod >= 0)
            defaults.setInteger(saveMethod, SettingsKeys::SaveMethod);
        if (!selectPath.isNull())
            defaults.setString(selectPath, SettingsKeys::SelectPath);
        RARItem item(u"/archives/a.zip"_qs);
        QTEST(item.desPath(), "expected");
    }

    // A file of the same name stays untouched; the result takes a free name.
    void soloFileLandsUnderAFreeNameBesideTheArchive()
    {
        const QString zip = makeZip(u"report.zip"_qs, {ArchiveEntrySpec::file("report.pdf", "new")});
        QVERIFY(writeFile(work->filePath(u"report.pdf"_qs), "old"));
        FakeItemController controller;
        auto item = makeItem(zip, controller);
        runToEnd(item, controller);
        QCOMPARE(readAll(work->filePath(u"report.pdf"_qs)), QByteArray("old"));
        QStringList pdfs = QDir(work->path()).entryList({u"report*.pdf"_qs}, QDir::Files);
        pdfs.removeOne(u"report.pdf"_qs);
        QCOMPARE(pdfs.size(), 1);
        QCOMPARE(readAll(work->filePath(pdfs.first())), QByteArray("new"));
        QVERIFY(controller.errorTips().isEmpty() && env->temporaryFolders().isEmpty() && viewer.opened.isEmpty());
        QVERIFY(QFile::exists(zip));
        QCoreApplication::processEvents();
        QCOMPARE(static_cast<FakeItemRow *>(item->vc())->progress.last(), 1.0);
    }

    void deleteZipRemovesEveryVolumeOnlyAfterAVerifiedSuccess_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<bool>("failed");
        QTest::newRow("zip") << u"zip"_qs << true << false;
        QTest::newRow("zip cancelled as the run ends") << u"zip cancelled late"_qs << false << false;
        QTest::newRow("RAR set") << u"RAR set"_qs << true << false;
        QTest::newRow("RAR set without its last volume") << u"RAR set, last missing"_qs << false << true;
        QTest::newRow("tar.gz with a wrong CRC") << u"tar.gz with a wrong CRC"_qs << false << true;
        // compress carries no check at all, and libarchive decodes it.
        QTest::newRow("tar.Z, nothing to verify it by") << u"tar.Z"_qs << false << false;
    }

    void deleteZipRemovesEveryVolumeOnlyAfterAVerifiedSuccess()
    {
        QFETCH(QString, name);
        QFETCH(bool, deleted);
        QFETCH(bool, failed);
        if (name.startsWith(u"RAR") && !QFileInfo::exists(TestEnvironment::corpusPath()))
            QSKIP("the libarchive corpus is not beside the checkout");
        UserDefaults::standardUserDefaults().setInteger(1, SettingsKeys::DeleteZip);
        const QStringList files = deleteCase(name);
        QVERIFY(!files.isEmpty());
        FakeItemController controller;
        const bool late = name.endsWith(u"late");
        auto item = late ? makeItem<LateCancelItem>(files.first(), controller) : makeItem(files.first(), controller);
        runToEnd(item, controller);
        QVERIFY(!late || (item->isCancelled() && readAll(work->filePath(u"good/a.txt"_qs)).size() == 5000));
        for (const QString &file : files)
            QCOMPARE(QFile::exists(file), !deleted);
        QCOMPARE(controller.events().contains(u"error"_qs), failed);
        if (failed)
            QVERIFY(controller.errorTips().join(u' ').contains(QFileInfo(files.first()).fileName()));
        QVERIFY(env->temporaryFolders().isEmpty());
    }

    // The move fails: the result stays in the temporary folder, named in the
    // error, and the archive stays too.
    void failedMoveKeepsTheResultAndTheArchive()
    {
        UserDefaults::standardUserDefaults().setInteger(1, SettingsKeys::DeleteZip);
        const QString zip = makeZip(u"keep.zip"_qs, {ArchiveEntrySpec::file("k.txt", "keep me")});
        const QString blocker = work->filePath(u"not-a-folder"_qs);
        QVERIFY(writeFile(blocker, {}));
        FakeItemController controller;
        auto item = makeItem(zip, controller);
        item->setDesPath(blocker + u"/inside"_qs);
        runToEnd(item, controller);
        QVERIFY(QFile::exists(zip));
        QCOMPARE(controller.events().count(u"error"_qs), 1);
        const QStringList kept = env->temporaryFolders();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(readAll(env->appData() + u'/' + kept.first() + u"/k.txt"_qs), QByteArray("keep me"));
        QVERIFY(controller.errorTips().first().contains(kept.first()));
        QDir(env->appData() + u'/' + kept.first()).removeRecursively();
    }

    // The copy runs while the main thread goes on, shows its progress from
    // empty to full, and a cancel during it leaves nothing at the
    // destination or in the temporary folder, and keeps the archive.
    void copyToAnotherDiskRunsOffTheMainThread_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("lands whole") << false;
        QTest::newRow("cancelled while copying") << true;
    }

    void copyToAnotherDiskRunsOffTheMainThread()
    {
        QFETCH(bool, cancel);
        OtherFileSystem other(work->path());
        if (!other.isValid())
            QSKIP(qPrintable(other.whyNot()));
        UserDefaults::standardUserDefaults().setInteger(1, SettingsKeys::DeleteZip);
        QList<ArchiveEntrySpec> entries;
        for (int i = 0; i < 6; ++i)
            entries.append(ArchiveEntrySpec::file("tree/f" + QByteArray::number(i), QByteArray(3 << 20, char('a' + i))));
        const QString zip = makeZip(u"tree.zip"_qs, entries);
        FakeItemController controller;
        auto item = std::static_pointer_cast<HeldCopyItem>(makeItem<HeldCopyItem>(zip, controller));
        item->target = other.filePath(u"tree"_qs);
        item->setDesPath(other.path());
        auto *row = static_cast<FakeItemRow *>(item->vc());
        row->onCopy = [&] {
            if (cancel)
                item->extractCancel();
            item->rowShowedCopy.release();
        };
        runToEnd(item, controller);
        QCOMPARE(item->held.load(), 1);
        QCOMPARE(row->copiedTo, item->target);
        const QList<QString> events = cancel ? QList<QString>{u"error"_qs, u"finished"_qs} : QList<QString>{u"finished"_qs};
        QCOMPARE(controller.events(), events);
        QCOMPARE(QFile::exists(zip), cancel);
        QVERIFY(env->temporaryFolders().isEmpty());
        if (cancel) {
            QVERIFY(QDir(other.path()).isEmpty());
            return;
        }
        for (int i = 0; i < 6; ++i)
            QCOMPARE(readAll(other.filePath(u"tree/f%1"_qs.arg(i))), QByteArray(3 << 20, char('a' + i)));
        QVERIFY(std::is_sorted(row->copyProgress.cbegin(), row->copyProgress.cend()));
        QVERIFY(row->copyProgress.size() >= 2 && row->copyProgress.first() == 0.0 && row->copyProgress.last() == 1.0);
    }

    void tooLittleSpaceIsToldBeforeExtracting()
    {
        const QString zip = makeZip(u"huge.zip"_qs, {ArchiveEntrySpec::file("huge.bin", QByteArray(1 << 20, 'h'))});
        SpaceCheck::setFreeSpaceSource([&](const QString &path) {
            return path.startsWith(env->appData()) ? qint64(1000) : qint64(1) << 40;
        });
        FakeItemController controller;
        runToEnd(makeItem(zip, controller), controller);
        SpaceCheck::setFreeSpaceSource({});
        QCOMPARE(controller.events(), (QList<QString>{u"error"_qs, u"finished"_qs}));
        const QString tip = controller.errorTips().first();
        QVERIFY2(tip.contains(QLocale().formattedDataSize(1 << 20)) && tip.contains(QLocale().formattedDataSize(1000)),
                 qPrintable(tip));
        QCOMPARE(QDir(work->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{u"huge.zip"_qs});
        QVERIFY(env->temporaryFolders().isEmpty());
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
        const QString zip = makeZip(u"secret.zip"_qs, {ArchiveEntrySpec::file("s.txt", "secret text")},
                                    u"zip:encryption=zipcrypt"_qs, "12345678");
        FakeItemController controller;
        controller.timing = FakeItemController::AnswerTiming(timing);
        controller.onPassword = [](const std::shared_ptr<RARItem> &item) { item->setPassword(u"12345678"_qs); };
        runToEnd(makeItem(zip, controller), controller);
        QCOMPARE(controller.events(), (QList<QString>{u"password"_qs, u"finished"_qs}));
        QCOMPARE(readAll(work->filePath(u"s.txt"_qs)), QByteArray("secret text"));
    }

    // The row's cancel comes while the worker waits for the password, after
    // the temporary folder was made: the run stops with nothing left behind.
    void cancelMidRunLeavesNoTemporaryFolder()
    {
        QList<ArchiveEntrySpec> entries;
        for (int i = 0; i < 8; ++i)
            entries.append(ArchiveEntrySpec::file("big/f" + QByteArray::number(i), QByteArray(2 << 20, 'q')));
        const QString zip = makeZip(u"big.zip"_qs, entries, u"zip:encryption=zipcrypt"_qs, "pw");
        FakeItemController controller;
        controller.onPassword = [this](const std::shared_ptr<RARItem> &item) {
            QVERIFY(!env->temporaryFolders().isEmpty());
            item->extractCancel();
            item->setPassword(u"pw"_qs);
        };
        runToEnd(makeItem(zip, controller), controller);
        QVERIFY(env->temporaryFolders().isEmpty());
        QVERIFY(!QFile::exists(work->filePath(u"big"_qs)));
    }

    void encodingIsTakenWhenConfidentAndAskedOtherwise()
    {
        const quint64 gbk = EncodingRegistry::instance().numberForName(u"GBK"_qs);
        const QString gbkName = XADString::encodingNameForEncoding(gbk);
        const QByteArray chinese("\xd6\xd0\xce\xc4.txt"); // "中文.txt" in GBK
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
        // The choice stays for later names it can decode.
        QCOMPARE(item->encodingNameForXADString(nullptr, XADString(chinese, 0, 0.0f)), gbkName);
        QCOMPARE(asked(), 1);
        // A name it cannot decode asks again; cancelling keeps the earlier choice.
        answer.reset();
        QCOMPARE(item->encodingNameForXADString(nullptr, XADString("\xff\xfe\xff.txt", 0, 0.0f)), gbkName);
        QCOMPARE(asked(), 2);
        QVERIFY(!item->isCancelled());
        // Cancelling the first request of an archive cancels it.
        auto fresh = makeItem(u"/x/other.zip"_qs, controller);
        QVERIFY(fresh->encodingNameForXADString(nullptr, XADString(chinese, gbk, NAN)).isNull());
        QVERIFY(fresh->isCancelled());
    }

};

QTEST_GUILESS_MAIN(TestRARItem)
#include "test_rar_item.moc"
