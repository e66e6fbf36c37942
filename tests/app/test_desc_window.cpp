#include "app/QXDescWindowController.h"
#include "support/StringTable.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>

// The how-to-use window: every text has its English words, nothing is cut
// off at the fixed width, and it closes from its button and from Escape.
class TestDescWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QCOMPARE(StringTable::install(QLocale(QLocale::English, QLocale::UnitedStates)), u"en"_qs);
        QApplication::setWindowIcon(QIcon(u":/icons/hicolor/256x256/apps/quillbox.png"_qs));
    }

    void everyTextIsWritten()
    {
        QXDescWindowController window;
        QVERIFY(!window.windowTitle().isEmpty());
        QVERIFY(!window.windowTitle().startsWith(u"desc_"_qs));
        const auto labels = window.findChildren<QLabel *>();
        QVERIFY(labels.size() >= 10);
        for (QLabel *label : labels) {
            if (label->text().isEmpty())
                continue; // the picture
            QVERIFY2(!label->text().contains(u"desc_"_qs), qPrintable(label->text()));
        }
        for (QPushButton *button : window.findChildren<QPushButton *>())
            QVERIFY2(!button->text().startsWith(u"desc_"_qs), qPrintable(button->text()));
    }

    void fixedWidthAndNothingCutOff()
    {
        QXDescWindowController window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.width(), QXDescWindowController::WindowWidth);
        QCOMPARE(window.minimumWidth(), window.maximumWidth());
        for (QLabel *label : window.findChildren<QLabel *>()) {
            const QRect inWindow(label->mapTo(&window, QPoint(0, 0)), label->size());
            QVERIFY2(window.rect().contains(inWindow), qPrintable(label->text()));
            if (label->wordWrap())
                QVERIFY2(label->height() >= label->heightForWidth(label->width()),
                         qPrintable(label->text()));
            else
                QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
        }
    }

    void closesFromButtonAndEscape()
    {
        QXDescWindowController window;
        window.orderFront();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto buttons = window.findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 1);
        buttons.first()->click();
        QVERIFY(!window.isVisible());
        window.orderFront();
        QVERIFY(window.isVisible());
        QApplication::setActiveWindow(&window);
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }

    void screenshot()
    {
        QXDescWindowController window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QDir().mkpath(QStringLiteral(QUILLBOX_SCREENSHOT_DIR));
        QVERIFY(window.grab().save(QStringLiteral(QUILLBOX_SCREENSHOT_DIR) + u"/how-to-use.png"_qs));
    }
};

QTEST_MAIN(TestDescWindow)
#include "test_desc_window.moc"
