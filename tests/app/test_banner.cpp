#include "app/QXBannerButton.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QVBoxLayout>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
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

private:
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
        int active = 0;
        for (QTimer *timer : owner->findChildren<QTimer *>())
            active += timer->isActive() ? 1 : 0;
        return active;
    }

    // A banner that turns every 60 ms, so rotation can be watched quickly.
    static std::unique_ptr<QXBannerButton> quickBanner()
    {
        auto banner = std::make_unique<QXBannerButton>();
        banner->setRotationInterval(0.06);
        banner->addTimer();
        banner->resize(banner->sizeHint());
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
        QDesktopServices::setUrlHandler(u"http"_qs, &m_catcher, "openUrl");
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(u"https"_qs);
        QDesktopServices::unsetUrlHandler(u"http"_qs);
    }

    void init() { m_catcher.urls.clear(); }

    void entriesAndFirstImage()
    {
        QXBannerButton banner;
        QCOMPARE(banner.infos().size(), 2);
        QCOMPARE(banner.infos().at(0).imageName(), u"quillbox"_qs);
        QCOMPARE(banner.infos().at(1).imageName(), u"miravel"_qs);
        QCOMPARE(banner.infos().at(0).url(), QXBannerInfo::vantor().url());
        QCOMPARE(banner.infos().at(1).url(), QXBannerInfo::miravel().url());
        QVERIFY(banner.infos().at(0).url() != banner.infos().at(1).url());
        QCOMPARE(banner.selectIndex(), 0);
        QCOMPARE(banner.currentImageName(), u"quillbox"_qs);
        QVERIFY(banner.timer());
        QVERIFY(banner.timer()->isActive());
        QCOMPARE(banner.timer()->interval(), 3000);
        QVERIFY(!banner.timer()->isSingleShot());
    }

    void bundledImagesExist()
    {
        for (const QString &name :
             {u"quillbox"_qs, u"quillbox_h"_qs, u"miravel"_qs, u"miravel_h"_qs}) {
            const QIcon image = QXBannerButton::imageNamed(name);
            QVERIFY2(!image.isNull(), qPrintable(name));
            const QSize size = QXBannerButton().sizeHint();
            QCOMPARE(image.actualSize(QSize(1000, 1000)), size);
            // Sharp on high-density screens: a double-size picture is bundled.
            QCOMPARE(QImage(u":/images/%1@2x.png"_qs.arg(name)).size(), size * 2);
        }
        QXBannerButton banner;
        QVERIFY(!banner.currentImage().isNull());
    }

    void selectIndexWraps_data()
    {
        QTest::addColumn<qint64>("index");
        QTest::addColumn<qint64>("taken");
        QTest::newRow("first") << qint64(0) << qint64(0);
        QTest::newRow("second") << qint64(1) << qint64(1);
        QTest::newRow("past the end") << qint64(2) << qint64(0);
        QTest::newRow("far past") << qint64(1000) << qint64(0);
        QTest::newRow("negative") << qint64(-1) << qint64(0);
        QTest::newRow("most negative") << std::numeric_limits<qint64>::min() << qint64(0);
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << qint64(0);
    }

    void selectIndexWraps()
    {
        QFETCH(qint64, index);
        QFETCH(qint64, taken);
        QXBannerButton banner;
        banner.setSelectIndex(1);
        banner.setSelectIndex(index);
        QCOMPARE(banner.selectIndex(), taken);
        QCOMPARE(banner.currentImageName(), banner.infos().at(taken).imageName());
    }

    void stepsGoRoundAndRound()
    {
        QXBannerButton banner;
        QList<qint64> seen;
        for (int i = 0; i < 5; ++i) {
            banner.startTimerAction();
            seen.append(banner.selectIndex());
        }
        QCOMPARE(seen, (QList<qint64>{1, 0, 1, 0, 1}));
    }

    void timerRotatesOnItsOwn()
    {
        auto banner = quickBanner();
        QCOMPARE(banner->selectIndex(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(banner->selectIndex(), 1, 2000);
        QCOMPARE(banner->currentImageName(), u"miravel"_qs);
        QTRY_COMPARE_WITH_TIMEOUT(banner->selectIndex(), 0, 2000);
        QCOMPARE(banner->currentImageName(), u"quillbox"_qs);
    }

    void hoverHoldsTheEntryWithItsHighlight()
    {
        auto banner = quickBanner();
        QTRY_COMPARE_WITH_TIMEOUT(banner->selectIndex(), 1, 2000);
        enter(banner.get());
        QCOMPARE(banner->currentImageName(), u"miravel_h"_qs);
        QVERIFY(!banner->timer()->isActive());
        QTest::qWait(300); // five intervals
        QCOMPARE(banner->selectIndex(), 1);
        QCOMPARE(banner->currentImageName(), u"miravel_h"_qs);

        leave(banner.get());
        QCOMPARE(banner->currentImageName(), u"miravel"_qs);
        QCOMPARE(banner->selectIndex(), 1);
        QVERIFY(banner->timer()->isActive());
        // The next turn comes a full interval after leaving, not at once.
        QCOMPARE(banner->timer()->remainingTime() > 30, true);
        QTRY_COMPARE_WITH_TIMEOUT(banner->selectIndex(), 0, 2000);
        QCOMPARE(banner->currentImageName(), u"quillbox"_qs);
    }

    void repeatedEnterAndLeaveKeepOneTimer()
    {
        auto banner = quickBanner();
        enter(banner.get());
        enter(banner.get());
        QCOMPARE(activeTimers(banner.get()), 0);
        QCOMPARE(banner->currentImageName(), u"quillbox_h"_qs);
        leave(banner.get());
        leave(banner.get());
        QCOMPARE(activeTimers(banner.get()), 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // Replaced timers do not pile up either.
        QCOMPARE(banner->findChildren<QTimer *>().size(), 1);
        const qint64 before = banner->selectIndex();
        QTest::qWait(90); // one and a half intervals: exactly one step
        QCOMPARE(banner->selectIndex(), (before + 1) % 2);
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
        enter(banner.get());
        QTest::mouseClick(banner.get(), Qt::LeftButton);
        QCOMPARE(m_catcher.urls,
                 (QList<QUrl>{QUrl(QXBannerInfo::vantor().url()),
                              QUrl(QXBannerInfo::miravel().url())}));
        QCOMPARE(banner->selectIndex(), 1);
        QCOMPARE(banner->currentImageName(), u"miravel_h"_qs);
        QVERIFY(!banner->timer()->isActive());
    }

    void missingImageStillRotatesAndClicks()
    {
        auto banner = quickBanner();
        banner->infos()[1] = QXBannerInfo(u"no_such_banner"_qs, u"https://example.org/x"_qs);
        QTRY_COMPARE_WITH_TIMEOUT(banner->selectIndex(), 1, 2000);
        QVERIFY(banner->currentImage().isNull());
        banner->grab(); // paints without an image
        banner->removeTimer();
        QTest::mouseClick(banner.get(), Qt::LeftButton);
        QCOMPARE(m_catcher.urls, QList<QUrl>{QUrl(u"https://example.org/x"_qs)});
        banner->addTimer();
        QTRY_COMPARE_WITH_TIMEOUT(banner->selectIndex(), 0, 2000);
        QVERIFY(!banner->currentImage().isNull());
    }

    void singleEntryNeverRotates()
    {
        QXBannerButton banner;
        banner.removeTimer();
        banner.infos().removeLast();
        banner.setRotationInterval(0.02);
        banner.addTimer();
        QVERIFY(!banner.timer()->isActive());
        enter(&banner);
        leave(&banner);
        QVERIFY(!banner.timer()->isActive());
        QCOMPARE(banner.selectIndex(), 0);
    }

    void keepsTurningWhileAMenuIsOpen()
    {
        auto banner = quickBanner();
        QList<qint64> seenInMenu;
        QMenu menu;
        menu.addAction(u"Item"_qs);
        QTimer watch;
        watch.setInterval(20);
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!menu.isVisible())
                return;
            if (seenInMenu.isEmpty() || seenInMenu.last() != banner->selectIndex())
                seenInMenu.append(banner->selectIndex());
            if (seenInMenu.size() >= 3)
                menu.close();
        });
        watch.start();
        QTimer::singleShot(3000, &menu, &QMenu::close); // never hang
        menu.exec(QPoint(10, 10));
        QVERIFY2(seenInMenu.size() >= 3, "the banner stood still while the menu was open");
    }

    void keepsTurningWhileAModalBoxIsOpen()
    {
        auto banner = quickBanner();
        int steps = 0;
        QMessageBox box(QMessageBox::Information, u"Modal"_qs, u"Waiting"_qs);
        connect(banner->timer(), &QTimer::timeout, this, [&] {
            if (box.isVisible() && ++steps >= 3)
                box.accept();
        });
        QTimer::singleShot(3000, &box, &QMessageBox::reject);
        box.exec();
        QVERIFY(steps >= 3);
    }

    void screenshotOverTheGradient()
    {
        GradientBackdrop backdrop;
        auto *column = new QVBoxLayout(&backdrop);
        column->setContentsMargins(30, 24, 30, 24);
        column->setSpacing(18);
        QList<QXBannerButton *> banners;
        for (int i = 0; i < 4; ++i) {
            auto *banner = new QXBannerButton(&backdrop);
            banner->removeTimer();
            banner->setSelectIndex(i % 2);
            column->addWidget(banner, 0, Qt::AlignHCenter);
            banners.append(banner);
        }
        backdrop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&backdrop));
        enter(banners.at(2));
        enter(banners.at(3));
        QCOMPARE(banners.at(3)->currentImageName(), u"miravel_h"_qs);
        for (QXBannerButton *banner : banners)
            QCOMPARE(banner->size(), banner->sizeHint());
        const QString folder = QStringLiteral(QUILLBOX_SCREENSHOT_DIR);
        QDir().mkpath(folder);
        QVERIFY(backdrop.grab().save(folder + u"/banner.png"_qs));
    }

    void timerDiesWithTheBanner()
    {
        QPointer<QTimer> timer;
        {
            auto banner = quickBanner();
            timer = banner->timer();
            QVERIFY(timer);
        }
        QVERIFY(timer.isNull());
        QTest::qWait(100); // no firing into a dead banner
    }
};

QTEST_MAIN(TestBanner)
#include "test_banner.moc"
