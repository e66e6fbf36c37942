#include "OtherFileSystem.h"
#include "platform/unarchiver/SpaceCheck.h"

#include <QTemporaryDir>
#include <QtTest>

// The check before extracting: the temporary folder's file system always,
// the destination's too when the result will be copied over to it.
class TestSpaceCheck : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { SpaceCheck::setFreeSpaceSource({}); }

    void comparesWhereTheBytesWillGo_data()
    {
        QTest::addColumn<qint64>("declared");
        QTest::addColumn<QString>("destination"); // same, other or missing file system
        QTest::addColumn<qint64>("tmpFree");
        QTest::addColumn<qint64>("destinationFree");
        QTest::addColumn<QString>("shortIn");
        QTest::addColumn<int>("queries");
        const qint64 big = qint64(5) << 30;
        const qint64 small = qint64(5) << 20;
        QTest::newRow("exactly fits") << small << u"same"_qs << small << small << QString() << 1;
        QTest::newRow("temporary folder short") << big << u"same"_qs << small << big << u"tmp"_qs << 1;
        QTest::newRow("one file system is asked once") << big << u"same"_qs << big << small << QString() << 1;
        QTest::newRow("destination elsewhere short") << big << u"other"_qs << big << small << u"destination"_qs << 2;
        QTest::newRow("temporary short first") << big << u"other"_qs << small << small << u"tmp"_qs << 1;
        QTest::newRow("destination missing") << big << u"missing"_qs << big << small << QString() << 1;
        QTest::newRow("size unknown") << qint64(-1) << u"other"_qs << small << small << QString() << 0;
        QTest::newRow("free space unknown") << big << u"same"_qs << qint64(-1) << small << QString() << 1;
    }

    void comparesWhereTheBytesWillGo()
    {
        QFETCH(qint64, declared);
        QFETCH(QString, destination);
        QFETCH(qint64, tmpFree);
        QFETCH(qint64, destinationFree);
        QFETCH(QString, shortIn);
        QFETCH(int, queries);
        QTemporaryDir dir;
        const QString tmp = dir.filePath(u"tmp"_qs);
        QVERIFY(QDir().mkpath(tmp));
        OtherFileSystem other(dir.path());
        if (destination == u"other"_qs && !other.isValid())
            QSKIP(qPrintable(other.whyNot()));
        const QString target = destination == u"other"_qs ? other.path()
                             : destination == u"same"_qs  ? dir.path()
                                                          : dir.filePath(u"gone"_qs);
        QStringList asked;
        SpaceCheck::setFreeSpaceSource([&](const QString &path) {
            asked.append(path);
            return path == tmp ? tmpFree : destinationFree;
        });

        const auto shortfall = SpaceCheck::check(declared, tmp, target);
        QCOMPARE(asked.size(), queries);
        QCOMPARE(shortfall.has_value(), !shortIn.isEmpty());
        if (!shortfall)
            return;
        QCOMPARE(shortfall->folder, shortIn == u"tmp"_qs ? tmp : target);
        QCOMPARE(shortfall->needed, declared);
        QCOMPARE(shortfall->available, shortIn == u"tmp"_qs ? tmpFree : destinationFree);
    }

    void realFreeSpaceComesFromTheFileSystem()
    {
        QTemporaryDir dir;
        QVERIFY(SpaceCheck::freeSpace(dir.path()) > 0);
        QCOMPARE(SpaceCheck::freeSpace(dir.filePath(u"missing"_qs)), qint64(-1));
        QVERIFY(SpaceCheck::check(std::numeric_limits<qint64>::max(), dir.path(), dir.path()).has_value());
    }
};

QTEST_GUILESS_MAIN(TestSpaceCheck)
#include "test_space_check.moc"
