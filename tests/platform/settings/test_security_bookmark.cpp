#include "platform/settings/SecurityBookmark.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TestSecurityBookmark : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void resolvesToTheSameFolder();
    void replacedFolderIsStale();
    void reusedInodeWithAnotherBirthIsStale();
    void missingFolderDoesNotResolve();
    void retargetedLinkIsStale();
    void onlyAbsoluteLocalExistingURLs();
    void damagedBytesDoNotResolve();
    void accessStartsOutsideASandbox();

private:
    QString folder(const QString &name);
    std::unique_ptr<QTemporaryDir> m_root;
};

void TestSecurityBookmark::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
}

QString TestSecurityBookmark::folder(const QString &name)
{
    const QString path = QFileInfo(m_root->path()).canonicalFilePath() + u'/' + name;
    if (!QDir().mkpath(path))
        qFatal("cannot make a test folder");
    return path;
}

void TestSecurityBookmark::resolvesToTheSameFolder()
{
    const QString path = folder(u"here"_qs);
    const QByteArray data = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(path + u"/./"_qs));
    QVERIFY(!data.isEmpty());
    bool stale = true;
    QCOMPARE(SecurityBookmark::URLByResolvingBookmarkData(data, &stale), QUrl::fromLocalFile(path));
    QVERIFY(!stale);
    // Unchanged contents keep it fresh.
    QFile file(path + u"/inside"_qs);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(SecurityBookmark::URLByResolvingBookmarkData(data, &stale), QUrl::fromLocalFile(path));
    QVERIFY(!stale);
    QCOMPARE(SecurityBookmark::URLByResolvingBookmarkData(data), QUrl::fromLocalFile(path));
}

void TestSecurityBookmark::replacedFolderIsStale()
{
    const QString moved = folder(u"moved"_qs);
    const QString deleted = folder(u"deleted"_qs);
    const QByteArray movedData = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(moved));
    const QByteArray deletedData = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(deleted));

    QVERIFY(QDir().rename(moved, moved + u"-aside"_qs));
    QVERIFY(QDir().mkdir(moved));
    // Deleted and made again: the inode number may well come back.
    QVERIFY(QDir().rmdir(deleted));
    QTest::qWait(25); // past the file system's coarse clock
    QVERIFY(QDir().mkdir(deleted));

    bool stale = false;
    QCOMPARE(SecurityBookmark::URLByResolvingBookmarkData(movedData, &stale), QUrl::fromLocalFile(moved));
    QVERIFY(stale);
    stale = false;
    QCOMPARE(SecurityBookmark::URLByResolvingBookmarkData(deletedData, &stale),
             QUrl::fromLocalFile(deleted));
    QVERIFY(stale);
}

void TestSecurityBookmark::reusedInodeWithAnotherBirthIsStale()
{
    // A folder made again in a freed inode has the old device and inode
    // numbers but another birth time. The bookmark ends with the birth-time
    // flag (1 byte), seconds (8) and nanoseconds (4).
    const QString path = folder(u"reborn"_qs);
    QByteArray data = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(path));
    QVERIFY(data.size() > 13);
    if (data.at(data.size() - 13) == 0)
        QSKIP("this file system keeps no birth time");
    data[data.size() - 1] = char(data.at(data.size() - 1) ^ 1);
    bool stale = false;
    QCOMPARE(SecurityBookmark::URLByResolvingBookmarkData(data, &stale), QUrl::fromLocalFile(path));
    QVERIFY(stale);
}

void TestSecurityBookmark::missingFolderDoesNotResolve()
{
    const QString path = folder(u"gone"_qs);
    const QByteArray data = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(path));
    QVERIFY(QDir().rmdir(path));
    bool stale = true;
    QVERIFY(SecurityBookmark::URLByResolvingBookmarkData(data, &stale).isEmpty());
    QVERIFY(!stale);
}

void TestSecurityBookmark::retargetedLinkIsStale()
{
    const QString first = folder(u"first"_qs);
    const QString second = folder(u"second"_qs);
    const QString link = m_root->path() + u"/link"_qs;
    QVERIFY(QFile::link(first, link));
    const QByteArray data = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(link));
    bool stale = true;
    // The link's own path is kept, not the folder it leads to.
    QCOMPARE(SecurityBookmark::URLByResolvingBookmarkData(data, &stale), QUrl::fromLocalFile(link));
    QVERIFY(!stale);
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(second, link));
    QCOMPARE(SecurityBookmark::URLByResolvingBookmarkData(data, &stale), QUrl::fromLocalFile(link));
    QVERIFY(stale);
}

void TestSecurityBookmark::onlyAbsoluteLocalExistingURLs()
{
    QVERIFY(SecurityBookmark::bookmarkData(QUrl()).isEmpty());
    QVERIFY(SecurityBookmark::bookmarkData(QUrl(u"https://example.org/x"_qs)).isEmpty());
    QVERIFY(SecurityBookmark::bookmarkData(QUrl::fromLocalFile(u"relative/dir"_qs)).isEmpty());
    QVERIFY(SecurityBookmark::bookmarkData(
                QUrl::fromLocalFile(m_root->path() + u"/never/made"_qs))
                .isEmpty());
    QVERIFY(!SecurityBookmark::bookmarkData(QUrl::fromLocalFile(u"/"_qs)).isEmpty());
}

void TestSecurityBookmark::damagedBytesDoNotResolve()
{
    const QByteArray good = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(folder(u"x"_qs)));
    QVERIFY(!good.isEmpty());
    const QList<QByteArray> damaged = {
        QByteArray(),
        QByteArray("garbage"),
        good.left(good.size() - 1),
        good + QByteArray(1, '\0'),
        QByteArray(good).replace(0, 1, "\x7f"),
        QByteArray(200, '\xff'),
    };
    for (const QByteArray &bytes : damaged) {
        bool stale = true;
        QVERIFY(SecurityBookmark::URLByResolvingBookmarkData(bytes, &stale).isEmpty());
        QVERIFY(!stale);
    }
}

void TestSecurityBookmark::accessStartsOutsideASandbox()
{
    const QUrl url = QUrl::fromLocalFile(folder(u"y"_qs));
    QVERIFY(SecurityBookmark::startAccessingSecurityScopedResource(url));
    SecurityBookmark::stopAccessingSecurityScopedResource(url);
}

QTEST_GUILESS_MAIN(TestSecurityBookmark)
#include "test_security_bookmark.moc"
