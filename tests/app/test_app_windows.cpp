#include "app/QXBannerButton.h"
#include "app/QXDescWindowController.h"
#include "app/QXReviewPrompt.h"
#include "support/StringTable.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <limits>
#include <memory>

using Answer = ReviewScheduler::Answer;
Q_DECLARE_METATYPE(Answer)

// Catches the addresses the banner hands to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void openUrl(const QUrl &url) { urls.append(url); }
};

// The main window's background, for judging the banner where it will sit.
class GradientBackdrop : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, QColor(0x19, 0x54, 0x6B));
        gradient.setColorAt(1, QColor(0xFF, 0xD8, 0x9B));
        painter.fillRect(rect(), gradient);
    }
};

// The application's small windows: the promotion banner, the how-to-use
// window and the review question. Screenshots go to <build>/screenshots.
class TestAppWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    UrlCatcher m_catcher;

    static void save(QWidget *window, const QString &name)
    {
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QDir().mkpath(QStringLiteral(QUILLBOX_SCREENSHOT_DIR));
        QVERIFY(window->grab().save(QStringLiteral(QUILLBOX_SCREENSHOT_DIR "/") + name));
    }

    static void enter(QWidget *widget)
    {
        const QPointF inside(widget->width() / 2.0, widget->height() / 2.0);
        QEnterEvent event(inside, widget->mapToGlobal(inside), widget->mapToGlobal(inside));
        QApplication::sendEvent(widget, &event);
    }

    static void leave(QWidget *widget)
    {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(widget, &event);
    }

    static int activeTimers(QObject *owner)
    {
        const auto timers = owner->findChildren<QTimer *>();
        return int(std::count_if(timers.begin(), timers.end(), [](QTimer *t) { return t->isActive(); }));
    }

    // A banner that turns every 60 ms, so rotation can be watched quickly.
    static std::unique_ptr<QXBannerButton> quickBanner()
    {
        auto banner = std::make_unique<QXBannerButton>();
        banner->setRotationInterval(0.06);
        banner->addTimer();
        // Kept clear of the pointer: a banner shown under it would pause at once.
        QCursor::setPos(QPoint(0, 0));
        banner->move(400, 400);
        banner->show();
        return banner;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QCOMPARE(StringTable::install(QLocale(QLocale::English, QLocale::UnitedStates)), u"en"_qs);
        QApplication::setWindowIcon(QIcon(u":/icons/hicolor/256x256/apps/quillbox.png"_qs));
        QDesktopServices::setUrlHandler(u"https"_qs, &m_catcher, "openUrl");
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"https"_qs); }

    void init() { m_catcher.urls.clear(); }

    void startsOnTheFirstEntryWithItsImages()
    {
        QXBannerButton banner;
        QCOMPARE(banner.currentImageName(), u"quillbox"_qs);
        QVERIFY(banner.timer() && banner.timer()->isActive());
        QCOMPARE(banner.timer()->interval(), 3000);
        for (const QString &name : {u"quillbox"_qs, u"quillbox_h"_qs, u"miravel"_qs, u"miravel_h"_qs}) {
            QCOMPARE(QXBannerButton::imageNamed(name).actualSize(QSize(1000, 1000)), banner.sizeHint());
            // Sharp on high-density screens: a double-size picture is bundled.
            QCOMPARE(QImage(u":/images/%1@2x.png"_qs.arg(name)).size(), banner.sizeHint() * 2);
        }
    }

    void selectIndexWraps_data()
    {
        QTest::addColumn<qint64>("index");
        QTest::addColumn<qint64>("taken");
        QTest::newRow("second") << qint64(1) << qint64(1);
        QTest::newRow("past the end") << qint64(2) << qint64(0);
        QTest::newRow("negative") << qint64(-1) << qint64(0);
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << qint64(0);
    }

    void selectIndexWraps()
    {
        QFETCH(qint64, index);
        QXBannerButton banner;
        banner.setSelectIndex(1);
        banner.setSelectIndex(index);
        QTEST(banner.selectIndex(), "taken");
        QCOMPARE(banner.currentImageName(), banner.infos().at(banner.selectIndex()).imageName());
    }

    void timerRotatesRoundAndRound()
    {
        auto banner = quickBanner();
        QTRY_COMPARE_WITH_TIMEOUT(banner->currentImageName(), u"miravel"_qs, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(banner->currentImageName(), u"quillbox"_qs, 2000);
    }

    void hoverHoldsTheEntryWithItsHighlight()
    {
        auto banner = quickBanner();
        QTRY_COMPARE_WITH_TIMEOUT(banner->selectIndex(), 1, 2000);
        enter(banner.get());
        enter(banner.get());
        QCOMPARE(banner->currentImageName(), u"miravel_h"_qs);
        QCOMPARE(activeTimers(banner.get()), 0);
        QTest::qWait(300); // five intervals
        QCOMPARE(banner->selectIndex(), 1);

        leave(banner.get());
        leave(banner.get());
        QCOMPARE(banner->currentImageName(), u"miravel"_qs);
        QCOMPARE(activeTimers(banner.get()), 1);
        // The next turn comes a full interval after leaving, not at once.
        QVERIFY(banner->timer()->remainingTime() > 30);
        QTRY_COMPARE_WITH_TIMEOUT(banner->currentImageName(), u"quillbox"_qs, 2000);
    }

    void disabledBannerIgnoresThePointer()
    {
        auto banner = quickBanner();
        banner->setEnabled(false);
        enter(banner.get());
        QCOMPARE(banner->currentImageName(), u"quillbox"_qs);
        QVERIFY(banner->timer()->isActive());
    }

    void clickOpensTheShownEntry()
    {
        auto banner = quickBanner();
        banner->removeTimer();
        QTest::mouseClick(banner.get(), Qt::LeftButton);
        banner->setSelectIndex(1);
        QTest::mouseClick(banner.get(), Qt::LeftButton);
        QCOMPARE(m_catcher.urls, (QList<QUrl>{QUrl(QXBannerInfo::vantor().url()),
                                              QUrl(QXBannerInfo::miravel().url())}));
    }

    void singleEntryNeverRotates()
    {
        QXBannerButton banner;
        banner.removeTimer();
        banner.infos().removeLast();
        banner.setRotationInterval(0.02);
        banner.addTimer();
        enter(&banner);
        leave(&banner);
        QVERIFY(!banner.timer()->isActive());
    }

    void screenshotOverTheGradient()
    {
        GradientBackdrop backdrop;
        auto *column = new QVBoxLayout(&backdrop);
        column->setContentsMargins(30, 24, 30, 24);
        column->setSpacing(18);
        QList<QXBannerButton *> banners;
        for (int i = 0; i < 4; ++i) {
            banners.append(new QXBannerButton(&backdrop));
            banners.last()->removeTimer();
            banners.last()->setSelectIndex(i % 2);
            column->addWidget(banners.last(), 0, Qt::AlignHCenter);
        }
        backdrop.show();
        enter(banners.at(2));
        enter(banners.at(3));
        save(&backdrop, u"banner.png"_qs);
    }
    // Every text has its words, and none is cut off at the fixed width.
    void descriptionShowsEveryTextWhole()
    {
        QXDescWindowController window;
        window.show();
        QCOMPARE(window.width(), QXDescWindowController::WindowWidth);
        QCOMPARE(window.minimumWidth(), window.maximumWidth());
        QVERIFY(!window.windowTitle().startsWith(u"desc_"_qs));
        const auto labels = window.findChildren<QLabel *>();
        QVERIFY(labels.size() >= 10);
        for (QLabel *label : labels) {
            QVERIFY2(!label->text().contains(u"desc_"_qs), qPrintable(label->text()));
            const QRect inWindow(label->mapTo(&window, QPoint(0, 0)), label->size());
            QVERIFY2(window.rect().contains(inWindow), qPrintable(label->text()));
            if (label->wordWrap())
                QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
            else
                QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
        }
        save(&window, u"how-to-use.png"_qs);
    }

    void descriptionClosesFromButtonAndEscape()
    {
        QXDescWindowController window;
        window.orderFront();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto buttons = window.findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 1);
        buttons.first()->click();
        QVERIFY(!window.isVisible());
        window.orderFront();
        QApplication::setActiveWindow(&window);
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }

    void reviewQuestionScreenshot()
    {
        QXReviewPrompt prompt;
        prompt.show();
        save(&prompt, u"review-prompt.png"_qs);
    }

    void reviewQuestionRunsModallyAndReportsTheClick_data()
    {
        QTest::addColumn<int>("press"); // 0, 1: a button; otherwise a key
        QTest::addColumn<Answer>("expected");
        QTest::newRow("go") << 0 << Answer::Review;
        QTest::newRow("next") << 1 << Answer::Postpone;
        QTest::newRow("escape") << int(Qt::Key_Escape) << Answer::Postpone;
        QTest::newRow("return") << int(Qt::Key_Return) << Answer::Review;
    }

    void reviewQuestionRunsModallyAndReportsTheClick()
    {
        QFETCH(int, press);
        bool seen = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *prompt = qobject_cast<QXReviewPrompt *>(QApplication::activeModalWidget());
            if (!prompt)
                return;
            seen = true;
            poll.stop();
            if (press == 0 || press == 1)
                (press == 0 ? prompt->goButton() : prompt->nextButton())->click();
            else
                QTest::keyClick(prompt, Qt::Key(press));
        });
        poll.start(10);
        const Answer answer = QXReviewPrompt::ask(nullptr);
        QVERIFY(seen);
        QTEST(answer, "expected");
    }
};

QTEST_MAIN(TestAppWindows)
#include "test_app_windows.moc"
