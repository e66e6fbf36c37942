#include "app/QXBannerButton.h"
#include "app/QXReviewPrompt.h"
#include "support/StringTable.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
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

// The application's small windows: the promotion banner and the review
// question.
class TestAppWindows : public QObject {
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
        QCOMPARE(StringTable::install(QLocale(QLocale::English, QLocale::UnitedStates)), u"en"_qs);
        QApplication::setWindowIcon(QIcon(u":/icons/hicolor/256x256/apps/quillbox.png"_qs));
        QDesktopServices::setUrlHandler(u"https"_qs, &m_catcher, "openUrl");
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"https"_qs); }

    void init() { m_catcher.urls.clear(); }

    // The timer turns the banner round and round; the pointer over it holds
    // the entry shown.
    void rotationPausesUnderThePointer()
    {
        auto banner = quickBanner();
        QTRY_COMPARE_WITH_TIMEOUT(banner->currentImageName(), u"miravel"_qs, 2000);
        enter(banner.get());
        enter(banner.get());
        QCOMPARE(activeTimers(banner.get()), 0);
        QTest::qWait(300); // five intervals
        QCOMPARE(banner->selectIndex(), 1);

        leave(banner.get());
        leave(banner.get());
        QCOMPARE(activeTimers(banner.get()), 1);
        // The next turn comes a full interval after leaving, not at once.
        QVERIFY(banner->timer()->remainingTime() > 30);
        QTRY_COMPARE_WITH_TIMEOUT(banner->currentImageName(), u"quillbox"_qs, 2000);
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
