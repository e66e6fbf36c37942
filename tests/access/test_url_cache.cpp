#include "TestEnvironment.h"
#include "access/QXURLCache.h"
#include "platform/settings/UserDefaults.h"
#include "platform/settings/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

// A second source of grants, to see that providers are asked in order.
class FixedProvider : public QXURLProvider {
public:
    FixedProvider(QString folder, QUrl url) : m_folder(std::move(folder)), m_url(std::move(url)) {}
    QStringList availablePaths() const override { return {m_folder}; }
    QUrl securityScopedURLForPath(const QString &path) override
    {
        ++asked;
        return path == m_folder ? m_url : QUrl();
    }
    int asked = 0;

private:
    QString m_folder;
    QUrl m_url;
};

QUrl folderURL(const QString &path) { return QUrl::fromLocalFile(path); }

} // namespace

// The folders the user granted, kept across runs as bookmarks and handed out
// for any path inside them, never for a folder that has since been replaced.
class TestURLCache : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_root;

    QString makeFolder(const QString &relative)
    {
        // The canonical spelling: the temporary folder may itself sit behind a link.
        const QString root = QFileInfo(m_root->path()).canonicalFilePath();
        const QString path = root + u'/' + relative;
        if (!QDir().mkpath(path))
            qFatal("cannot make a test folder");
        return path;
    }

    // A new process: the store is read again from its file, the cache made anew.
    static void reopenStore()
    {
        UserDefaults::useStoreAtPath(UserDefaults::standardUserDefaults().storePath());
        QXURLCache::resetSharedInstanceForTesting();
    }

private Q_SLOTS:
    void initTestCase() { m_env = std::make_unique<TestEnvironment>(); }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        UserDefaults::standardUserDefaults().removeObjectForKey(SettingsKeys::CachedURLs);
        UserDefaults::standardUserDefaults().synchronize();
        QXURLCache::resetSharedInstanceForTesting();
    }

    // A grant covers its folder and what lies inside it, by whole components,
    // with links in the asked path resolved; a folder granted through a link
    // is reached either way; a relative path never. Granted: a/b, real/target
    // and links/to-other (a link to other).
    void coverage_data()
    {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("covering"); // empty: nothing
        const QList<QPair<QString, QString>> rows{
            {u"a/b"_qs, u"a/b"_qs}, {u"a/b/x"_qs, u"a/b"_qs}, {u"a/b/x/../y"_qs, u"a/b"_qs}, {u"a/bc"_qs, {}},
            {u"a"_qs, {}}, {u"a/b/.."_qs, {}}, {u"links/to-target"_qs, u"real/target"_qs},
            {u"links/to-target/not/made/yet"_qs, u"real/target"_qs}, {u"links"_qs, {}},
            {u"other/inside"_qs, u"links/to-other"_qs}, {u"links/to-other/inside"_qs, u"links/to-other"_qs}};
        for (const auto &[asked, covering] : rows)
            QTest::newRow(qPrintable(asked)) << asked << covering;
    }

    void coverage()
    {
        QFETCH(QString, asked);
        QFETCH(QString, covering);
        for (const QString &folder : {u"a/b/x"_qs, u"a/bc"_qs, u"real/target"_qs, u"links"_qs, u"other"_qs})
            makeFolder(folder);
        const QString root = QFileInfo(m_root->path()).canonicalFilePath() + u'/';
        QVERIFY(QFile::link(root + u"real/target"_qs, root + u"links/to-target"_qs)
                && QFile::link(root + u"other"_qs, root + u"links/to-other"_qs));
        auto &cache = QXURLCache::sharedInstance();
        for (const QString &granted : {u"a/b"_qs, u"real/target"_qs, u"links/to-other"_qs})
            cache.saveSecurityURL(folderURL(root + granted));
        QCOMPARE(cache.urlWithAllowAccessToPath(root + asked), covering.isEmpty() ? QUrl() : folderURL(root + covering));
        QVERIFY(cache.urlWithAllowAccessToPath(u"a/b"_qs).isEmpty());
    }

    // A grant outlives the process, for paths not made yet too, and granting
    // it again keeps its bookmark. The bookmark tests cover how a folder
    // counts as replaced; here, that the cache then hands out nothing until
    // the user grants it again.
    void grantsSurviveAFreshInstanceUnlessReplaced()
    {
        const QString kept = makeFolder(u"kept"_qs);
        const QString replaced = makeFolder(u"replaced"_qs);
        const QString removed = makeFolder(u"removed"_qs);
        auto &cache = QXURLCache::sharedInstance();
        QVERIFY(cache.urlWithAllowAccessToPath(kept).isEmpty());
        cache.saveSecurityURL(folderURL(kept + u'/'));
        for (const QString &folder : {replaced, removed})
            cache.saveSecurityURL(folderURL(folder));
        QVERIFY(QDir().rename(replaced, replaced + u".old"_qs) && QDir().mkdir(replaced));
        QVERIFY(QDir(removed).removeRecursively());

        reopenStore();
        auto &fresh = QXURLCache::sharedInstance();
        QCOMPARE(fresh.urlWithAllowAccessToPath(kept), folderURL(kept));
        QCOMPARE(fresh.urlWithAllowAccessToPath(kept + u"/new/deeper"_qs), folderURL(kept));
        const QByteArray before = fresh.cachedBookmarks().value(kept);
        fresh.saveSecurityURL(folderURL(kept));
        QCOMPARE(fresh.cachedBookmarks().value(kept), before);
        for (const QString &path : {replaced, QString(replaced + u"/x"_qs), removed})
            QVERIFY2(fresh.urlWithAllowAccessToPath(path).isEmpty(), qPrintable(path));
        fresh.saveSecurityURL(folderURL(replaced));
        reopenStore();
        QCOMPARE(QXURLCache::sharedInstance().urlWithAllowAccessToPath(replaced), folderURL(replaced));
    }

    void grantingAFolderDropsTheGrantsInsideIt()
    {
        const QString a = makeFolder(u"a"_qs);
        const QString ab = makeFolder(u"a/b"_qs);
        const QString abc = makeFolder(u"a/b/c"_qs);
        const QString sibling = makeFolder(u"ab"_qs);
        auto &cache = QXURLCache::sharedInstance();

        // Inside first, then around: only the outer grant (and the unrelated
        // sibling) remain, in memory and in the store.
        cache.saveSecurityURL(folderURL(abc));
        cache.saveSecurityURL(folderURL(ab));
        QCOMPARE(cache.availablePaths(), QStringList{ab});
        cache.saveSecurityURL(folderURL(sibling));
        cache.saveSecurityURL(folderURL(a));
        QCOMPARE(cache.availablePaths(), (QStringList{a, sibling}));
        QCOMPARE(UserDefaults::standardUserDefaults().dictionaryForKey(SettingsKeys::CachedURLs).keys(),
                 (QStringList{a, sibling}));

        // Around first, then inside: both stay.
        cache.saveSecurityURL(folderURL(abc));
        QCOMPARE(cache.availablePaths(), (QStringList{a, abc, sibling}));

        // The root covers everything and replaces every other grant.
        cache.saveSecurityURL(folderURL(u"/"_qs));
        QCOMPARE(cache.availablePaths(), QStringList{u"/"_qs});
        QCOMPARE(cache.urlWithAllowAccessToPath(sibling + u"/x"_qs), folderURL(u"/"_qs));
    }

    void damagedStoreGivesNone()
    {
        const QString garbage = makeFolder(u"garbage"_qs), good = makeFolder(u"good"_qs);
        QXURLCache::sharedInstance().saveSecurityURL(folderURL(good));
        const QByteArray real = QXURLCache::sharedInstance().cachedBookmarks().value(good);
        auto &store = UserDefaults::standardUserDefaults();
        store.setDictionary({{good, real}, {garbage, QByteArray("\x00\xff not a bookmark", 17)},
                             {u"relative/path"_qs, real}},
                            SettingsKeys::CachedURLs);
        store.synchronize();
        reopenStore();
        auto &cache = QXURLCache::sharedInstance();
        QCOMPARE(cache.urlWithAllowAccessToPath(good), folderURL(good));
        QVERIFY(cache.urlWithAllowAccessToPath(garbage).isEmpty());
        QVERIFY(cache.urlWithAllowAccessToPath(QDir::currentPath() + u"/relative/path"_qs).isEmpty());

        // Not a dictionary at all; the next grant replaces it whole.
        UserDefaults::standardUserDefaults().setString(u"nonsense"_qs, SettingsKeys::CachedURLs);
        UserDefaults::standardUserDefaults().synchronize();
        reopenStore();
        QVERIFY(QXURLCache::sharedInstance().urlWithAllowAccessToPath(good).isEmpty());
        QXURLCache::sharedInstance().saveSecurityURL(folderURL(garbage));
        reopenStore();
        QCOMPARE(QXURLCache::sharedInstance().urlWithAllowAccessToPath(garbage), folderURL(garbage));
    }

    void providersAreAskedInOrder()
    {
        const QString own = makeFolder(u"own"_qs);
        const QString extra = makeFolder(u"extra"_qs);
        auto &cache = QXURLCache::sharedInstance();
        cache.saveSecurityURL(folderURL(own));

        const QUrl marker = QUrl(u"file:///provided"_qs);
        FixedProvider provider(extra, marker);
        cache.addURLProvider(&provider);
        QCOMPARE(cache.urlWithAllowAccessToPath(own), folderURL(own)); // the cache answers first
        QCOMPARE(provider.asked, 0);
        QCOMPARE(cache.urlWithAllowAccessToPath(extra + u"/x"_qs), marker);
        QCOMPARE(provider.asked, 1);

        cache.removeURLProvider(&provider);
        QVERIFY(cache.urlWithAllowAccessToPath(extra).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestURLCache)
#include "test_url_cache.moc"
