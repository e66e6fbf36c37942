#include "TestEnvironment.h"
#include "platform/settings/SecurityBookmark.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/settings/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// The settings store, and the folder grants kept in it that must outlive the
// process without ever leading to another folder than the one granted.
class TestSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<QTemporaryDir> m_root;

    QString folder(const QString &name)
    {
        const QString path = QFileInfo(m_root->path()).canonicalFilePath() + u'/' + name;
        if (!QDir().mkpath(path))
            qFatal("cannot make a test folder");
        return path;
    }

    static QUrl resolved(const QByteArray &data, bool *stale)
    {
        return SecurityBookmark::URLByResolvingBookmarkData(data, stale);
    }

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
    }

    // Absent keys read as zero; values survive a restart under their exact keys.
    void valuesSurviveARestart()
    {
        auto &d = UserDefaults::standardUserDefaults();
        QCOMPARE(d.integerForKey(SettingsKeys::SaveMethod), 0);
        QVERIFY(!d.boolForKey(SettingsKeys::Desc));
        QVERIFY(d.stringForKey(SettingsKeys::Day).isNull());
        QVERIFY(d.dictionaryForKey(SettingsKeys::CachedURLs).isEmpty());
        d.setInteger(3, SettingsKeys::SaveMethod);
        d.setString(u"/home/me/out"_qs, SettingsKeys::SelectPath);
        d.setBool(true, SettingsKeys::First);
        d.setDictionary({{u"/a/b"_qs, QByteArray("\x00\x01", 2)}}, SettingsKeys::CachedURLs);
        d.synchronize();
        QCOMPARE(d.storePath(), env->settingsPath());

        UserDefaults::useStoreAtPath(env->settingsPath());
        auto &again = UserDefaults::standardUserDefaults();
        QCOMPARE(again.integerForKey(SettingsKeys::SaveMethod), 3);
        QCOMPARE(again.stringForKey(SettingsKeys::SelectPath), u"/home/me/out"_qs);
        QVERIFY(again.boolForKey(SettingsKeys::First));
        QCOMPARE(again.dictionaryForKey(SettingsKeys::CachedURLs).value(u"/a/b"_qs).toByteArray(),
                 QByteArray("\x00\x01", 2));
        QFile ini(env->settingsPath());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        QVERIFY(text.contains("save%20method=3") && text.contains("select%20path=/home/me/out"));
    }

    void handEditedValuesAreRead()
    {
        QFile ini(env->settingsPath());
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("[General]\nexit%20app=1\ndesc=true\nopen%20folder=junk\n");
        ini.close();
        UserDefaults::useStoreAtPath(env->settingsPath());
        auto &d = UserDefaults::standardUserDefaults();
        QCOMPARE(d.integerForKey(SettingsKeys::ExitApp), 1);
        QVERIFY(d.boolForKey(SettingsKeys::Desc));
        QCOMPARE(d.integerForKey(SettingsKeys::OpenFolder), 0);
    }

    void bookmarkResolvesToTheSameFolder()
    {
        const QString path = folder(u"here"_qs);
        const QByteArray data = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(path + u"/./"_qs));
        QVERIFY(!data.isEmpty());
        bool stale = true;
        QCOMPARE(resolved(data, &stale), QUrl::fromLocalFile(path));
        QVERIFY(!stale);
        // Changed contents keep it fresh.
        QVERIFY(QDir().mkdir(path + u"/inside"_qs));
        QCOMPARE(resolved(data, &stale), QUrl::fromLocalFile(path));
        QVERIFY(!stale);
        QCOMPARE(SecurityBookmark::URLByResolvingBookmarkData(data), QUrl::fromLocalFile(path));
    }

    // Moved aside and made again, or deleted and made again (the inode number
    // may well come back), or a link turned to another folder: another folder.
    void replacedFolderIsStale_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("moved aside") << u"move"_qs;
        QTest::newRow("deleted") << u"delete"_qs;
        QTest::newRow("another birth time") << u"birth"_qs;
        QTest::newRow("link retargeted") << u"link"_qs;
    }

    void replacedFolderIsStale()
    {
        QFETCH(QString, how);
        QString path = folder(u"granted"_qs);
        if (how == u"link"_qs) {
            QVERIFY(QFile::link(path, m_root->filePath(u"link"_qs)));
            path = m_root->filePath(u"link"_qs); // the link's own path is kept
        }
        QByteArray data = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(path));
        bool stale = true;
        QCOMPARE(resolved(data, &stale), QUrl::fromLocalFile(path));
        QVERIFY(!stale);
        if (how == u"move"_qs) {
            QVERIFY(QDir().rename(path, path + u"-aside"_qs) && QDir().mkdir(path));
        } else if (how == u"delete"_qs) {
            QVERIFY(QDir().rmdir(path));
            QTest::qWait(25); // past the file system's coarse clock
            QVERIFY(QDir().mkdir(path));
        } else if (how == u"birth"_qs) {
            // The bookmark ends with the birth-time flag (1 byte), seconds (8) and nanoseconds (4).
            if (data.at(data.size() - 13) == 0)
                QSKIP("this file system keeps no birth time");
            data[data.size() - 1] = char(data.at(data.size() - 1) ^ 1);
        } else {
            QVERIFY(QFile::remove(path) && QFile::link(folder(u"second"_qs), path));
        }
        QCOMPARE(resolved(data, &stale), QUrl::fromLocalFile(path));
        QVERIFY(stale);
    }

    void missingOrDamagedBookmarksDoNotResolve()
    {
        const QString path = folder(u"gone"_qs);
        const QByteArray good = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(path));
        QVERIFY(!good.isEmpty());
        for (const QByteArray &bytes : {QByteArray(), QByteArray("garbage"), good.left(good.size() - 1),
                                        QByteArray(good + QByteArray(1, '\0')), QByteArray(good).replace(0, 1, "\x7f"),
                                        QByteArray(200, '\xff')}) {
            bool stale = true;
            QVERIFY(resolved(bytes, &stale).isEmpty());
            QVERIFY(!stale);
        }
        QVERIFY(QDir().rmdir(path));
        bool stale = true;
        QVERIFY(resolved(good, &stale).isEmpty());
        QVERIFY(!stale);
    }

    void onlyAbsoluteLocalExistingFolders()
    {
        QVERIFY(SecurityBookmark::bookmarkData(QUrl()).isEmpty());
        QVERIFY(SecurityBookmark::bookmarkData(QUrl(u"https://example.org/x"_qs)).isEmpty());
        QVERIFY(SecurityBookmark::bookmarkData(QUrl::fromLocalFile(u"relative/dir"_qs)).isEmpty());
        QVERIFY(SecurityBookmark::bookmarkData(QUrl::fromLocalFile(m_root->path() + u"/never/made"_qs)).isEmpty());
        QVERIFY(!SecurityBookmark::bookmarkData(QUrl::fromLocalFile(u"/"_qs)).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
