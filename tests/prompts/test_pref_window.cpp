#include "access/QXURLCache.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/settings/UserDefaults.h"
#include "prompts/QXPrefWindowController.h"
#include "support/StringTable.h"
#include "TestEnvironment.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QSettings>
#include <QTest>
#include <memory>

using Tags = QList<int>;

// The preferences window: what it shows for the stored settings, and what
// each control writes, at once and to disk.
class TestPrefWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    static constexpr int Sep = QXPrefWindowController::SeparatorTag;
    const Tags plain{1, 2, Sep, 3};
    const Tags withPath{4, Sep, 1, 2, Sep, 3};

    static UserDefaults &store() { return UserDefaults::standardUserDefaults(); }

    // What another process would read from the settings file right now.
    QVariant onDisk(const QString &key) const
    {
        return QSettings(m_env->settingsPath(), QSettings::IniFormat).value(key);
    }

    QString makeFolder(const QString &name) const
    {
        const QString path = QDir(m_env->home()).filePath(name);
        QDir().mkpath(path);
        return QDir::cleanPath(path);
    }

    static void choose(QXPrefWindowController &prefs, int tag)
    {
        QComboBox *menu = prefs.popButton_save();
        const int index = menu->findData(tag);
        QVERIFY2(index >= 0, "no entry with that tag");
        menu->setCurrentIndex(index);
        Q_EMIT menu->activated(index);
    }

    static QFileDialog *openSheet(QXPrefWindowController &prefs)
    {
        choose(prefs, QXPrefWindowController::TagSelectOther);
        return prefs.folderPanel();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QCOMPARE(StringTable::install(QLocale(QLocale::English, QLocale::UnitedStates)), u"en"_qs);
    }

    void init()
    {
        for (const QString &key : {SettingsKeys::SaveMethod, SettingsKeys::SelectPath, SettingsKeys::OpenFolder,
                                   SettingsKeys::ExitApp, SettingsKeys::CachedURLs})
            store().removeObjectForKey(key);
        store().synchronize();
        QXURLCache::resetSharedInstanceForTesting();
    }

    void storedChoiceIsSelected_data()
    {
        QTest::addColumn<QString>("selectPath");
        QTest::addColumn<qint64>("method"); // 0: none stored
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("listed");
        const QString folder = u"/srv/archives/out"_qs;
        QTest::newRow("nothing stored") << QString() << qint64(0) << 1 << false;
        QTest::newRow("desktop") << QString() << qint64(2) << 2 << false;
        QTest::newRow("chosen folder") << folder << qint64(3) << 4 << true;
        QTest::newRow("beside, folder known") << folder << qint64(1) << 1 << true;
        QTest::newRow("folder, path absent") << QString() << qint64(3) << 1 << false;
        QTest::newRow("folder, path (null)") << u"(null)"_qs << qint64(3) << 1 << false;
        // Values with no entry of their own show where extraction really
        // puts the files: next to the archive.
        QTest::newRow("4") << folder << qint64(4) << 1 << true;
    }

    void storedChoiceIsSelected()
    {
        QFETCH(QString, selectPath);
        QFETCH(qint64, method);
        QFETCH(bool, listed);
        if (!selectPath.isNull())
            store().setString(selectPath, SettingsKeys::SelectPath);
        if (method)
            store().setInteger(method, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        QCOMPARE(prefs.menuTags(), listed ? withPath : plain);
        QTEST(prefs.selectedTag(), "selected");
        if (listed)
            QCOMPARE(prefs.popButton_save()->itemText(0), selectPath);
        // Shown, not rewritten; an empty store gets "beside the archive", on disk.
        QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), method ? method : 1);
        if (!method)
            QCOMPARE(onDisk(SettingsKeys::SaveMethod).toInt(), 1);
    }

    void choosingAnEntryStoresIt()
    {
        const QString folder = makeFolder(u"Chosen"_qs);
        store().setString(folder, SettingsKeys::SelectPath);
        store().setInteger(1, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        // The chosen folder's entry is stored as 3, never 4.
        for (auto [tag, stored] : {std::pair{2, 2}, {4, 3}, {1, 1}}) {
            choose(prefs, tag);
            QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), stored);
            QCOMPARE(onDisk(SettingsKeys::SaveMethod).toInt(), stored);
        }
        QCOMPARE(store().stringForKey(SettingsKeys::SelectPath), folder);
        QVERIFY(!prefs.folderPanel());
    }

    void cancelledFolderSheetChangesNothing()
    {
        store().setInteger(2, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        prefs.show();
        QFileDialog *panel = openSheet(prefs);
        QVERIFY(panel && panel->isVisible());
        // No folder chosen yet: home, not the directory the program runs in.
        QCOMPARE(QDir::cleanPath(panel->directory().absolutePath()), QDir::homePath());
        // Asking again while it is up does not stack a second sheet.
        openSheet(prefs);
        QCOMPARE(prefs.findChildren<QFileDialog *>().size(), 1);
        panel->setDirectory(makeFolder(u"NotThis"_qs));
        panel->reject();
        QVERIFY(!prefs.folderPanel());
        QCOMPARE(prefs.selectedTag(), 2);
        QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), 2);
        QVERIFY(store().stringForKey(SettingsKeys::SelectPath).isNull());
        QVERIFY(store().dictionaryForKey(SettingsKeys::CachedURLs).isEmpty());
    }

    void confirmedFolderSheetStoresTheFolder()
    {
        // A stored folder that is gone: the sheet opens at its nearest parent.
        const QString parent = makeFolder(u"Kept"_qs);
        store().setString(parent + u"/Gone/Deeper"_qs, SettingsKeys::SelectPath);
        store().setInteger(1, SettingsKeys::SaveMethod);
        const QString folder = makeFolder(u"Unpacked Here"_qs);
        QXPrefWindowController prefs;
        prefs.show();
        QFileDialog *panel = openSheet(prefs);
        QVERIFY(panel);
        QCOMPARE(QDir::cleanPath(panel->directory().absolutePath()), parent);
        panel->setDirectory(folder);
        static_cast<QDialog *>(panel)->accept(); // the sheet's own Choose button
        QCOMPARE(onDisk(SettingsKeys::SelectPath).toString(), folder);
        QCOMPARE(onDisk(SettingsKeys::SaveMethod).toInt(), 3);
        QCOMPARE(prefs.menuTags(), withPath);
        QCOMPARE(prefs.popButton_save()->itemText(0), folder);
        QCOMPARE(prefs.selectedTag(), 4);
        // Access is remembered in the store, where a relaunch reads it.
        QVERIFY(store().dictionaryForKey(SettingsKeys::CachedURLs).contains(folder));
    }

    void checkBoxesShowAndStoreAtOnce()
    {
        store().setInteger(2, SettingsKeys::OpenFolder);
        store().setInteger(0, SettingsKeys::ExitApp);
        QXPrefWindowController prefs;
        prefs.show();
        QVERIFY(QTest::qWaitForWindowExposed(&prefs));
        QVERIFY(prefs.check_open()->isChecked());
        QVERIFY(!prefs.check_exit()->isChecked());
        QCOMPARE(store().integerForKey(SettingsKeys::OpenFolder), 2); // showing stores nothing

        const auto box = [](QCheckBox *check) { return QPoint(8, check->height() / 2); };
        QTest::mouseClick(prefs.check_open(), Qt::LeftButton, {}, box(prefs.check_open()));
        QCOMPARE(store().integerForKey(SettingsKeys::OpenFolder), 0);
        QTest::mouseClick(prefs.check_exit(), Qt::LeftButton, {}, box(prefs.check_exit()));
        QCOMPARE(store().integerForKey(SettingsKeys::ExitApp), 1);
    }

};

QTEST_MAIN(TestPrefWindow)
#include "test_pref_window.moc"
