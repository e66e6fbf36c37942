#include "app/AppDelegate.h"
#include "app/QXDescWindowController.h"
#include "app/QXReviewPrompt.h"
#include "platform/settings/UserDefaults.h"
#include "prompts/QXPrefWindowController.h"
#include "platform/settings/SettingsKeys.h"
#include "support/StringTable.h"
#include "TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTest>

// Pictures of the application's own windows, in English and in Chinese, for
// people to look at: the empty main window with its menu bar and banner, its
// menus, the preferences, the how-to-use window, the review question, the
// open dialog and the about box. Each picture is checked for being drawn.
class TestAppScreenshots : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    QDir m_out;

    void save(QWidget *widget, const QString &name)
    {
        QVERIFY2(widget, qPrintable(name));
        QTRY_VERIFY2(widget->isVisible(), qPrintable(name));
        QTest::qWait(60);
        const QImage image = widget->grab().toImage();
        QVERIFY(!image.isNull());
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 5)
            for (int x = 0; x < image.width(); x += 5)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 8, qPrintable(name));
        QVERIFY(image.save(m_out.filePath(name)));
    }

    static QMenu *menuAt(AppDelegate &delegate, int index)
    {
        const auto actions = static_cast<QMainWindow *>(delegate.window())->menuBar()->actions();
        return index < actions.size() ? actions.at(index)->menu() : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QApplication::setFont(QFont(u"DejaVu Sans"_qs, 10));
        QApplication::setWindowIcon(AppDelegate::applicationIcon());
        QApplication::setApplicationVersion(QString::fromUtf8(QUILLBOX_VERSION));
        m_out = QDir(QString::fromUtf8(QUILLBOX_SCREENSHOT_DIR));
        QVERIFY(m_out.mkpath(u"."_qs));
        auto &store = UserDefaults::standardUserDefaults();
        store.setBool(true, SettingsKeys::Desc);
        store.setInteger(2, SettingsKeys::Comment);
    }

    void cleanupTestCase() { StringTable::uninstall(); }

    void windows_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("en") << u"en_US"_qs;
        QTest::newRow("zh") << u"zh_CN"_qs;
    }

    void windows()
    {
        QFETCH(QString, locale);
        const QString language = StringTable::install(QLocale(locale)) == u"en"_qs ? u"en"_qs
                                                                                   : u"zh"_qs;
        auto name = [&language](const char *what) -> QString {
            return QString::fromLatin1(what) + u"_"_qs + language + u".png"_qs;
        };

        AppDelegate delegate;
        delegate.setTimings({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
        delegate.launch({});
        save(delegate.window(), name("20_app_window"));

        for (int index : {0, 1, 2}) {
            QMenu *menu = menuAt(delegate, index);
            QVERIFY(menu);
            menu->popup(delegate.window()->mapToGlobal(QPoint(10 + 80 * index, 20)));
            save(menu, name("21_app_menu").replace(u".png"_qs, u"_%1.png"_qs.arg(index)));
            menu->hide();
        }

        delegate.menu_preferenceAction();
        save(delegate.prefWC(), name("22_preferences"));
        delegate.prefWC()->close();

        delegate.menu_howtoUseAction();
        save(delegate.descWC(), name("23_how_to_use"));
        delegate.descWC()->close();

        QXReviewPrompt prompt(delegate.window());
        prompt.show();
        save(&prompt, name("24_review_prompt"));
        prompt.close();

        delegate.menu_openAction();
        save(delegate.openPanel(), name("25_open_dialog"));
        delegate.openPanel()->reject();

        delegate.menu_aboutAction();
        QMessageBox *about = delegate.window()->findChild<QMessageBox *>(u"aboutBox"_qs);
        save(about, name("26_about"));
        about->close();
    }
};

QTEST_MAIN(TestAppScreenshots)
#include "test_app_screenshots.moc"
