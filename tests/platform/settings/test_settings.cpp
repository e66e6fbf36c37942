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

    // Absent keys read as zero; values survive a restart under the keys a
    // hand-edited file uses, and junk reads as zero.
    void valuesSurviveARestart()
    {
        auto &d = UserDefaults::standardUserDefaults();
        QCOMPARE(d.integerForKey(SettingsKeys::SaveMethod), 0);
        QVERIFY(d.stringForKey(SettingsKeys::Day).isNull());
        d.setInteger(3, SettingsKeys::SaveMethod);
        d.setDictionary({{u"/a/b"_qs, QByteArray("\x00\x01", 2)}}, SettingsKeys::CachedURLs);
        d.synchronize();
        QFile ini(env->settingsPath());
        QVERIFY(ini.open(QIODevice::ReadWrite));
        QByteArray text = ini.readAll();
        QVERIFY(text.contains("save%20method=3"));
        ini.seek(0);
        ini.write(text.replace("[General]\n", "[General]\nexit%20app=1\ndesc=true\nopen%20folder=junk\n"));
        ini.close();

        UserDefaults::useStoreAtPath(env->settingsPath());
        auto &again = UserDefaults::standardUserDefaults();
        QCOMPARE(again.integerForKey(SettingsKeys::SaveMethod), 3);
        QCOMPARE(again.dictionaryForKey(SettingsKeys::CachedURLs).value(u"/a/b"_qs).toByteArray(),
                 QByteArray("\x00\x01", 2));
        QCOMPARE(again.integerForKey(SettingsKeys::ExitApp), 1);
        QVERIFY(again.boolForKey(SettingsKeys::Desc));
        QCOMPARE(again.integerForKey(SettingsKeys::OpenFolder), 0);
    }

    // Changed contents keep a grant fresh. Moved aside and made again, or
    // deleted and made again (the inode number may well come back), or a
    // link turned to another folder: another folder, and stale.
    void replacedFolderIsStale_data()
    {
        QTest::addColumn<QString>("how");
        for (const char *how : {"unchanged", "move", "delete", "birth", "link"})
            QTest::newRow(how) << QString::fromLatin1(how);
    }

    void replacedFolderIsStale()
    {
        QFETCH(QString, how);
        QString path = folder(u"granted"_qs);
        if (how == u"link"_qs) {
            QVERIFY(QFile::link(path, m_root->filePath(u"link"_qs)));
            path = m_root->filePath(u"link"_qs); // the link's own path is kept
        }
        QByteArray data = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(path + u"/./"_qs));
        bool stale = true;
        QCOMPARE(resolved(data, &stale), QUrl::fromLocalFile(path));
        QVERIFY(!stale);
        if (how == u"unchanged"_qs) {
            QVERIFY(QDir().mkdir(path + u"/inside"_qs));
        } else if (how == u"move"_qs) {
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
        QCOMPARE(stale, how != u"unchanged"_qs);
    }

    void missingOrDamagedBookmarksDoNotResolve()
    {
        const QString path = folder(u"gone"_qs);
        const QByteArray good = SecurityBookmark::bookmarkData(QUrl::fromLocalFile(path));
        QVERIFY(!good.isEmpty());
        QVERIFY(QDir().rmdir(path));
        for (const QByteArray &bytes : {QByteArray("garbage"), good.left(good.size() - 1),
                                        QByteArray(good + QByteArray(1, '\0')), good}) {
            bool stale = true;
            QVERIFY(resolved(bytes, &stale).isEmpty());
            QVERIFY(!stale);
        }
        QVERIFY(SecurityBookmark::bookmarkData(QUrl(u"https://example.org/x"_qs)).isEmpty());
        QVERIFY(SecurityBookmark::bookmarkData(QUrl::fromLocalFile(u"relative/dir"_qs)).isEmpty());
        QVERIFY(SecurityBookmark::bookmarkData(QUrl::fromLocalFile(path)).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
