#include "app/QXBannerButton.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEnterEvent>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>
#include <limits>
#include <memory>

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

class TestBanner : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    UrlCatcher m_catcher;

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
        QTest::newRow("most negative") << std::numeric_limits<qint64>::min() << qint64(0);
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
        banner->setEnabled(true);
        enter(banner.get());
        banner->setEnabled(false);
        leave(banner.get());
        QCOMPARE(banner->currentImageName(), u"quillbox_h"_qs);
        QVERIFY(!banner->timer()->isActive());
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
        QVERIFY(QTest::qWaitForWindowExposed(&backdrop));
        enter(banners.at(2));
        enter(banners.at(3));
        const QString folder = QStringLiteral(QUILLBOX_SCREENSHOT_DIR);
        QDir().mkpath(folder);
        QVERIFY(backdrop.grab().save(folder + u"/banner.png"_qs));
    }
};

QTEST_MAIN(TestBanner)
#include "test_banner.moc"
