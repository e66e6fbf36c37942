#include "app/AppDelegate.h"
#include "app/QXDescWindowController.h"
#include "app/QXReviewPrompt.h"
#include "extraction/RARItem.h"
#include "extraction/view/RARViewController.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/settings/UserDefaults.h"
#include "prompts/QXEncodingPopUp.h"
#include "prompts/QXPrefWindowController.h"
#include "support/StringTable.h"
#include "window/RARItemViewController.h"
#include "window/WindowFrameAnimator.h"
#include "LegacyZipWriter.h"
#include "SheetDriver.h"
#include "TestEnvironment.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace SheetDriver;

// Pictures of the program's windows in their states, for people to look at.
// Each picture is checked for being drawn at all.
class TestAppScreenshots : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    QDir m_out;

    // A sheet is drawn where the window system hangs it: from the top edge
    // of its dimmed window, centred.
    void save(QWidget *widget, const QString &name, QWidget *sheet = nullptr)
    {
        QVERIFY2(widget && (sheet || QTest::qWaitFor([&] { return widget->isVisible(); })), qPrintable(name));
        QTest::qWait(60);
        QImage image = widget->grab().toImage();
        if (sheet) {
            const QImage window = image;
            const QImage front = sheet->grab().toImage();
            image = QImage(window.size().expandedTo(front.size() + QSize(0, 24)), QImage::Format_ARGB32_Premultiplied);
            image.fill(QColor(0xE9, 0xEC, 0xEF));
            QPainter p(&image);
            p.drawImage((image.width() - window.width()) / 2, 0, window);
            p.fillRect(image.rect(), QColor(0, 0, 0, 40));
            p.drawImage((image.width() - front.width()) / 2, 24, front);
        }
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 5)
            for (int x = 0; x < image.width(); x += 5)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 8, qPrintable(name));
        QVERIFY(image.save(m_out.filePath(name + u".png"_qs)));
    }

    // Saves the sheet over the main window, then answers it.
    void saveSheet(AppDelegate &delegate, const QString &kind, const QString &name, QDialogButtonBox::ButtonRole role,
                   const std::function<void(QDialog *)> &fill = {})
    {
        QDialog *sheet = waitForSheet(kind);
        QVERIFY2(sheet, qPrintable(name));
        if (fill)
            fill(sheet);
        save(delegate.window(), name, sheet);
        QVERIFY(press(sheet, role));
    }

    static void settle(AppDelegate &delegate)
    {
        QTRY_VERIFY(!delegate.rarVC()->frameAnimator()->isAnimating());
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
        UserDefaults::standardUserDefaults().setBool(true, SettingsKeys::Desc);
        UserDefaults::standardUserDefaults().setInteger(2, SettingsKeys::Comment);
    }

    void cleanupTestCase() { StringTable::uninstall(); }

    void applicationWindows_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("en") << u"en_US"_qs;
        QTest::newRow("zh") << u"zh_CN"_qs;
    }

    void applicationWindows()
    {
        QFETCH(QString, locale);
        const QString language = StringTable::install(QLocale(locale)) == u"en"_qs ? u"_en"_qs : u"_zh"_qs;
        AppDelegate delegate;
        delegate.setTimings({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
        delegate.launch({});
        QXReviewPrompt review(delegate.window());
        const auto menus = static_cast<QMainWindow *>(delegate.window())->menuBar()->actions();
        using Step = std::pair<const char *, std::function<QWidget *()>>;
        const QList<Step> steps{
            {"20_app_window", [&] { return delegate.window(); }},
            {"21_app_menu_0", [&] { return menus.value(0)->menu(); }},
            {"21_app_menu_1", [&] { return menus.value(1)->menu(); }},
            {"21_app_menu_2", [&] { return menus.value(2)->menu(); }},
            {"22_preferences", [&] { return delegate.menu_preferenceAction(), delegate.prefWC(); }},
            {"23_how_to_use", [&] { return delegate.menu_howtoUseAction(), delegate.descWC(); }},
            {"24_review_prompt", [&] { return review.show(), &review; }},
            {"25_open_dialog", [&] { return delegate.menu_openAction(), delegate.openPanel(); }},
            {"26_about", [&] {
                 delegate.menu_aboutAction();
                 return delegate.window()->findChild<QMessageBox *>(u"aboutBox"_qs);
             }},
        };
        for (const auto &[name, show] : steps) {
            QWidget *widget = show();
            if (auto *menu = qobject_cast<QMenu *>(widget))
                menu->popup(delegate.window()->mapToGlobal(QPoint(10, 20)));
            save(widget, QString::fromLatin1(name) + language);
            if (widget)
                widget->close();
        }
    }

    // The main window with rows, each sheet over it, and a list too long
    // for the screen.
    void mainWindowStates()
    {
        StringTable::install(QLocale(QLocale::English, QLocale::UnitedStates));
        QTemporaryDir work;
        const QString secret = work.filePath(u"Quarterly Report 2024.zip"_qs);
        QVERIFY(QFile::copy(TestEnvironment::corpusPath(u"test_read_format_zip_traditional_encryption_data.zip"_qs),
                            secret));
        LegacyZipWriter legacy(LegacyZipWriter::hostNtfs);
        legacy.add(QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2.txt"), "hello");
        legacy.add(QByteArray("\xec\xe8\xf0.txt"), "world");
        QVERIFY(legacy.write(work.filePath(u"Holiday photos.zip"_qs)));
        // A volume set whose last volume is missing.
        for (int part = 1; part <= 2; ++part)
            QVERIFY(QFile::copy(TestEnvironment::corpusPath(u"test_rar_multivolume_single_file.part%1.rar"_qs.arg(part)),
                                work.filePath(u"family-archive.part%1.rar"_qs.arg(part))));

        AppDelegate delegate;
        delegate.setTimings({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
        delegate.launch({secret, work.filePath(u"Holiday photos.zip"_qs), work.filePath(u"family-archive.part1.rar"_qs)});
        RARViewController *vc = delegate.rarVC();
        QCOMPARE(vc->rarItems().size(), 3);
        settle(delegate);
        auto *first = static_cast<RARItemViewController *>(vc->rarItems().at(0)->vc());
        first->setProgress(0.42);
        save(delegate.window(), u"02_three_rows"_qs);
        first->showCopy(u"/media/user/KINGSTON/Quarterly Report 2024"_qs);
        first->setProgress(0.37);
        save(delegate.window(), u"08_copy_to_another_disk"_qs);
        using Role = QDialogButtonBox::ButtonRole;
        saveSheet(delegate, u"QXPasswordWindowController"_qs, u"03_password_sheet"_qs, Role::RejectRole,
                  [](QDialog *sheet) { sheet->findChild<QLineEdit *>()->setText(u"secret"_qs); });
        saveSheet(delegate, u"QXErrorWindowController"_qs, u"05_error_sheet"_qs, Role::AcceptRole);
        saveSheet(delegate, u"QXEncodingWindowController"_qs, u"04_encoding_sheet"_qs, Role::AcceptRole,
                  [this](QDialog *sheet) {
                      auto *popUp = sheet->findChild<QComboBox *>();
                      const quint64 cp1251 = EncodingRegistry::instance().numberForName(u"windows-1251"_qs);
                      popUp->setCurrentIndex(popUp->findData(QVariant::fromValue(cp1251), QXEncodingPopUp::EncodingRole));
                      // The list open, with entries whose sample no font here can draw (Thai).
                      popUp->showPopup();
                      const quint64 thai = EncodingRegistry::instance().numberForName(u"windows-874"_qs);
                      popUp->view()->scrollTo(popUp->model()->index(
                          popUp->findData(QVariant::fromValue(thai), QXEncodingPopUp::EncodingRole), 0));
                      save(popUp->view()->window(), u"04_encoding_list"_qs);
                      popUp->hidePopup();
                  });
        saveSheet(delegate, u"QXErrorWindowController"_qs, u"07_missing_volume_sheet"_qs, Role::AcceptRole);
        QTRY_VERIFY_WITH_TIMEOUT(vc->rarItems().isEmpty(), 20000);

        vc->setWriteTest([](const QString &) { return false; });
        for (int i = 0; i < 14; ++i)
            vc->chooseFile(work.filePath(u"Scans %1.rar"_qs.arg(i + 1, 2, 10, QLatin1Char('0'))));
        QVERIFY(waitForSheet<QFileDialog>(u"folderPanel"_qs));
        settle(delegate);
        save(delegate.window(), u"06_long_list"_qs);
        while (auto *panel = waitForSheet<QFileDialog>(u"folderPanel"_qs, 2000))
            panel->reject();
        QTRY_VERIFY(vc->rarItems().isEmpty());
    }
};

QTEST_MAIN(TestAppScreenshots)
#include "test_app_screenshots.moc"
