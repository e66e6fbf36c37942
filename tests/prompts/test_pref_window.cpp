#include "access/QXURLCache.h"
#include "platform/settings/UserDefaults.h"
#include "prompts/QXPrefWindowController.h"
#include "platform/settings/SettingsKeys.h"
#include "support/Localized.h"
#include "support/StringTable.h"
#include "TestEnvironment.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QAbstractItemView>
#include <QSettings>
#include <QTest>
#include <memory>

using Tags = QList<int>;

class TestPrefWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    static constexpr int Sep = QXPrefWindowController::SeparatorTag;

    UserDefaults &store() { return UserDefaults::standardUserDefaults(); }

    // What another process would read from the settings file right now.
    QVariant onDisk(const QString &key) const
    {
        QSettings file(m_env->settingsPath(), QSettings::IniFormat);
        return file.value(key);
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

    static QFileDialog *openPanel(QXPrefWindowController &prefs)
    {
        choose(prefs, QXPrefWindowController::TagSelectOther);
        return prefs.folderPanel();
    }

    bool cachedGrantFor(const QString &path)
    {
        // Remembered in the store, and usable by a fresh cache as after a relaunch.
        if (!store().dictionaryForKey(SettingsKeys::CachedURLs).contains(path))
            return false;
        QXURLCache::resetSharedInstanceForTesting();
        return !QXURLCache::sharedInstance().urlWithAllowAccessToPath(path).isEmpty();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QCOMPARE(StringTable::install(QLocale(QLocale::English, QLocale::UnitedStates)), u"en"_qs);
    }

    void init()
    {
        for (const QString &key : {SettingsKeys::SaveMethod, SettingsKeys::SelectPath,
                                   SettingsKeys::OpenFolder, SettingsKeys::ExitApp,
                                   SettingsKeys::CachedURLs})
            store().removeObjectForKey(key);
        store().synchronize();
        QXURLCache::resetSharedInstanceForTesting();
    }

    void textsComeFromTheStringTable()
    {
        QXPrefWindowController prefs;
        QCOMPARE(prefs.windowTitle(), localizedString("rar_preference"));
        QCOMPARE(prefs.label_saveto()->text(), localizedString("pref_label_saveto"));
        QCOMPARE(prefs.label_complete()->text(), localizedString("pref_label_complete"));
        QCOMPARE(prefs.check_open()->text(), localizedString("pref_openfolder"));
        QCOMPARE(prefs.check_exit()->text(), localizedString("pref_exit"));
        QComboBox *menu = prefs.popButton_save();
        QCOMPARE(menu->itemText(menu->findData(1)), localizedString("pref_to_currentfolder"));
        QCOMPARE(menu->itemText(menu->findData(2)), localizedString("pref_to_desktop"));
        QCOMPARE(menu->itemText(menu->findData(3)), localizedString("pref_to_select"));
        QVERIFY(prefs.isWindow());
        QVERIFY(!prefs.isModal());
        for (const char *key : {"rar_preference", "pref_label_saveto", "pref_label_complete",
                                "pref_openfolder", "pref_exit", "pref_to_currentfolder",
                                "pref_to_desktop", "pref_to_select", "pref_select_title"})
            QVERIFY2(localizedString(key) != QString::fromLatin1(key), key);
    }

    void firstOpeningWithEmptyStore()
    {
        QXPrefWindowController prefs;
        QCOMPARE(prefs.menuTags(), (Tags{1, 2, Sep, 3}));
        QCOMPARE(prefs.selectedTag(), 1);
        QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), 1);
        QCOMPARE(onDisk(SettingsKeys::SaveMethod).toInt(), 1); // forced to disk
        QVERIFY(!prefs.check_open()->isChecked());
        QVERIFY(!prefs.check_exit()->isChecked());
    }

    void chosenFolderStandsOnTop()
    {
        const QString folder = makeFolder(u"Extracted"_qs);
        store().setString(folder, SettingsKeys::SelectPath);
        store().setInteger(3, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        QCOMPARE(prefs.menuTags(), (Tags{4, Sep, 1, 2, Sep, 3}));
        QCOMPARE(prefs.popButton_save()->itemText(0), folder);
        QCOMPARE(prefs.selectedTag(), 4);
    }

    void storedChoiceIsSelected_data()
    {
        QTest::addColumn<QString>("selectPath");
        QTest::addColumn<qint64>("method");
        QTest::addColumn<int>("selected");
        QTest::addColumn<Tags>("tags");
        const Tags plain{1, 2, Sep, 3};
        const Tags withPath{4, Sep, 1, 2, Sep, 3};
        const QString folder = u"/srv/archives/out"_qs;
        QTest::newRow("beside archive") << QString() << qint64(1) << 1 << plain;
        QTest::newRow("desktop") << QString() << qint64(2) << 2 << plain;
        QTest::newRow("desktop with path") << folder << qint64(2) << 2 << withPath;
        QTest::newRow("beside with path") << folder << qint64(1) << 1 << withPath;
        QTest::newRow("folder, path absent") << QString() << qint64(3) << 1 << plain;
        QTest::newRow("folder, path empty") << u""_qs << qint64(3) << 1 << plain;
        QTest::newRow("folder, path blank") << u" \t\n"_qs << qint64(3) << 1 << plain;
        QTest::newRow("folder, path (null)") << u"(null)"_qs << qint64(3) << 1 << plain;
        QTest::newRow("folder, path ' (null)'") << u" (null)"_qs << qint64(3) << 4
                                                << withPath;
        // Values with no entry of their own show where extraction really
        // puts the files: next to the archive.
        QTest::newRow("4 with path") << folder << qint64(4) << 1 << withPath;
        QTest::newRow("5") << QString() << qint64(5) << 1 << plain;
        QTest::newRow("negative") << folder << qint64(-2) << 1 << withPath;
    }

    void storedChoiceIsSelected()
    {
        QFETCH(QString, selectPath);
        QFETCH(qint64, method);
        QFETCH(int, selected);
        QFETCH(Tags, tags);
        if (!selectPath.isNull())
            store().setString(selectPath, SettingsKeys::SelectPath);
        store().setInteger(method, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        QCOMPARE(prefs.menuTags(), tags);
        QCOMPARE(prefs.selectedTag(), selected);
        QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), method); // shown, not rewritten
    }

    void choosingAnEntryStoresIt()
    {
        const QString folder = makeFolder(u"Chosen"_qs);
        store().setString(folder, SettingsKeys::SelectPath);
        store().setInteger(1, SettingsKeys::SaveMethod);
        store().synchronize();
        QXPrefWindowController prefs;

        choose(prefs, 2);
        QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), 2);
        QCOMPARE(onDisk(SettingsKeys::SaveMethod).toInt(), 2);

        choose(prefs, 4); // the chosen folder is stored as 3, never 4
        QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), 3);
        QCOMPARE(onDisk(SettingsKeys::SaveMethod).toInt(), 3);

        choose(prefs, 1);
        QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), 1);
        QCOMPARE(onDisk(SettingsKeys::SaveMethod).toInt(), 1);
        QCOMPARE(store().stringForKey(SettingsKeys::SelectPath), folder);
        QVERIFY(!prefs.folderPanel());
    }

    void keyboardChoiceSkipsSeparators()
    {
        store().setString(makeFolder(u"Keys"_qs), SettingsKeys::SelectPath);
        store().setInteger(3, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        prefs.show();
        QVERIFY(QTest::qWaitForWindowExposed(&prefs));
        prefs.popButton_save()->setFocus();
        QTest::keyClick(prefs.popButton_save(), Qt::Key_Down);
        QCOMPARE(prefs.selectedTag(), 1);
        QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), 1);
        QTest::keyClick(prefs.popButton_save(), Qt::Key_Down);
        QCOMPARE(prefs.selectedTag(), 2);
        QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), 2);
    }

    void anotherFolderOpensAFolderSheet()
    {
        store().setInteger(2, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        prefs.show();
        QFileDialog *panel = openPanel(prefs);
        QVERIFY(panel);
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->parentWidget(), &prefs);
        QCOMPARE(panel->windowModality(), Qt::WindowModal);
        QCOMPARE(panel->fileMode(), QFileDialog::Directory);
        QVERIFY(panel->testOption(QFileDialog::ShowDirsOnly));
        QVERIFY(!panel->testOption(QFileDialog::ReadOnly)); // new folders may be made
        QCOMPARE(panel->windowTitle(), localizedString("pref_select_title"));
        // Nothing is stored while the sheet is up.
        QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), 2);
        QVERIFY(store().stringForKey(SettingsKeys::SelectPath).isNull());
        // Asking again while it is up does not stack a second sheet.
        openPanel(prefs);
        QCOMPARE(prefs.findChildren<QFileDialog *>().size(), 1);
        panel->reject();
    }

    void cancellingTheSheetRestoresTheMenu()
    {
        store().setInteger(2, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        prefs.show();
        QFileDialog *panel = openPanel(prefs);
        QVERIFY(panel);
        QCOMPARE(prefs.selectedTag(), 3);
        panel->setDirectory(makeFolder(u"NotThis"_qs));
        panel->reject();
        QVERIFY(!prefs.folderPanel());
        QCOMPARE(prefs.selectedTag(), 2);
        QCOMPARE(prefs.menuTags(), (Tags{1, 2, Sep, 3}));
        QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), 2);
        QVERIFY(store().stringForKey(SettingsKeys::SelectPath).isNull());
        QVERIFY(store().dictionaryForKey(SettingsKeys::CachedURLs).isEmpty());
    }

    void confirmingTheSheetStoresTheFolder()
    {
        const QString folder = makeFolder(u"Unpacked Here"_qs);
        store().setInteger(1, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        prefs.show();
        QFileDialog *panel = openPanel(prefs);
        QVERIFY(panel);
        panel->setDirectory(folder);
        static_cast<QDialog *>(panel)->accept(); // the sheet's own Choose button
        QVERIFY(!prefs.folderPanel());
        QCOMPARE(store().stringForKey(SettingsKeys::SelectPath), folder);
        QCOMPARE(store().integerForKey(SettingsKeys::SaveMethod), 3);
        QCOMPARE(onDisk(SettingsKeys::SelectPath).toString(), folder);
        QCOMPARE(onDisk(SettingsKeys::SaveMethod).toInt(), 3);
        QVERIFY2(cachedGrantFor(folder), "access to the folder was not remembered");
        QCOMPARE(prefs.menuTags(), (Tags{4, Sep, 1, 2, Sep, 3}));
        QCOMPARE(prefs.popButton_save()->itemText(0), folder);
        QCOMPARE(prefs.selectedTag(), 4);
    }

    void confirmingAgainReplacesTheFolder()
    {
        const QString first = makeFolder(u"First"_qs);
        const QString second = makeFolder(u"Second"_qs);
        store().setString(first, SettingsKeys::SelectPath);
        store().setInteger(3, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        prefs.show();
        QFileDialog *panel = openPanel(prefs);
        QVERIFY(panel);
        QCOMPARE(QDir::cleanPath(panel->directory().absolutePath()), first);
        panel->setDirectory(second);
        static_cast<QDialog *>(panel)->accept(); // the sheet's own Choose button
        QCOMPARE(store().stringForKey(SettingsKeys::SelectPath), second);
        QCOMPARE(prefs.menuTags(), (Tags{4, Sep, 1, 2, Sep, 3}));
        QCOMPARE(prefs.popButton_save()->itemText(0), second);
        QCOMPARE(prefs.selectedTag(), 4);
    }

    void sheetOpensNearTheStoredFolder()
    {
        const QString parent = makeFolder(u"Kept"_qs);
        store().setString(parent + u"/Gone/Deeper"_qs, SettingsKeys::SelectPath);
        store().setInteger(3, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        prefs.show();
        QFileDialog *panel = openPanel(prefs);
        QVERIFY(panel);
        QCOMPARE(QDir::cleanPath(panel->directory().absolutePath()), parent);
        panel->reject();
        // The stale folder is still what the store holds; the window does not judge it.
        QCOMPARE(store().stringForKey(SettingsKeys::SelectPath), parent + u"/Gone/Deeper"_qs);
        QCOMPARE(prefs.selectedTag(), 4);
    }

    void checkBoxesShowAndStoreAtOnce()
    {
        store().setInteger(1, SettingsKeys::OpenFolder);
        store().setInteger(0, SettingsKeys::ExitApp);
        QXPrefWindowController prefs;
        prefs.show();
        QVERIFY(QTest::qWaitForWindowExposed(&prefs));
        QVERIFY(prefs.check_open()->isChecked());
        QVERIFY(!prefs.check_exit()->isChecked());

        const auto box = [](QCheckBox *check) { return QPoint(8, check->height() / 2); };
        QTest::mouseClick(prefs.check_open(), Qt::LeftButton, {}, box(prefs.check_open()));
        QCOMPARE(store().integerForKey(SettingsKeys::OpenFolder), 0);
        QVERIFY(!store().stringForKey(SettingsKeys::OpenFolder).isNull());
        QTest::mouseClick(prefs.check_exit(), Qt::LeftButton, {}, box(prefs.check_exit()));
        QCOMPARE(store().integerForKey(SettingsKeys::ExitApp), 1);
        QTest::mouseClick(prefs.check_exit(), Qt::LeftButton, {}, box(prefs.check_exit()));
        QCOMPARE(store().integerForKey(SettingsKeys::ExitApp), 0);
        prefs.check_open()->setFocus();
        QTest::keyClick(prefs.check_open(), Qt::Key_Space);
        QCOMPARE(store().integerForKey(SettingsKeys::OpenFolder), 1);
    }

    void checkBoxWithOtherStoredValue()
    {
        store().setInteger(2, SettingsKeys::OpenFolder);
        store().setInteger(-1, SettingsKeys::ExitApp);
        QXPrefWindowController prefs;
        QVERIFY(prefs.check_open()->isChecked());
        QVERIFY(prefs.check_exit()->isChecked());
        // Showing the window stores nothing.
        QCOMPARE(store().integerForKey(SettingsKeys::OpenFolder), 2);
        QCOMPARE(store().integerForKey(SettingsKeys::ExitApp), -1);
    }

    void fixedWidthWindowShowsEverything()
    {
        store().setString(u"/a/rather/long/path/to/a/folder/for/extracted/archives/of/all/kinds"_qs,
                          SettingsKeys::SelectPath);
        store().setInteger(3, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        prefs.show();
        QVERIFY(QTest::qWaitForWindowExposed(&prefs));
        QCOMPARE(prefs.minimumWidth(), prefs.maximumWidth());
        for (QWidget *child : prefs.findChildren<QWidget *>()) {
            if (!child->isVisible())
                continue;
            QVERIFY2(prefs.rect().contains(child->geometry()), qPrintable(child->objectName()));
        }
        QVERIFY(prefs.check_exit()->width() >= prefs.check_exit()->sizeHint().width());
        QVERIFY(prefs.check_open()->width() >= prefs.check_open()->sizeHint().width());
    }

    void screenshots()
    {
        const QString folder = QStringLiteral(QUILLBOX_SCREENSHOT_DIR);
        QDir().mkpath(folder);
        {
            store().setInteger(1, SettingsKeys::OpenFolder);
            QXPrefWindowController prefs;
            prefs.show();
            QVERIFY(QTest::qWaitForWindowExposed(&prefs));
            QVERIFY(prefs.grab().save(folder + u"/preferences.png"_qs));
        }
        store().setString(u"/home/alex/Documents/Extracted Archives"_qs, SettingsKeys::SelectPath);
        store().setInteger(3, SettingsKeys::SaveMethod);
        QXPrefWindowController prefs;
        prefs.show();
        QVERIFY(QTest::qWaitForWindowExposed(&prefs));
        QVERIFY(prefs.grab().save(folder + u"/preferences-folder.png"_qs));
        prefs.popButton_save()->showPopup();
        QWidget *popup = prefs.popButton_save()->view()->window();
        QVERIFY(QTest::qWaitForWindowExposed(popup));
        QVERIFY(popup->grab().save(folder + u"/preferences-menu.png"_qs));
        prefs.popButton_save()->hidePopup();
    }
};

QTEST_MAIN(TestPrefWindow)
#include "test_pref_window.moc"
