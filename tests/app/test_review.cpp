#include "app/QXReviewPrompt.h"
#include "app/ReviewScheduler.h"
#include "platform/settings/UserDefaults.h"
#include "platform/settings/SettingsKeys.h"
#include "support/Localized.h"
#include "support/StringTable.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

using Answer = ReviewScheduler::Answer;

// Drives the review schedule with a fake clock, forced draws and a question
// that records itself instead of showing a box.
class TestReview : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    QDateTime m_now;
    quint32 m_draw = 1;
    int m_draws = 0;
    int m_asks = 0;
    Answer m_answer = Answer::Postpone;
    QList<QUrl> m_opened;
    bool m_openSucceeds = true;

    UserDefaults &store() { return UserDefaults::standardUserDefaults(); }

    static QDateTime at(int y, int m, int d, int h = 10, int min = 0)
    {
        return QDateTime(QDate(y, m, d), QTime(h, min), Qt::LocalTime);
    }

    ReviewScheduler makeScheduler()
    {
        ReviewScheduler scheduler;
        scheduler.setClock([this] { return m_now; });
        scheduler.setRandom([this] {
            ++m_draws;
            return m_draw;
        });
        scheduler.setOpenUrl([this](const QUrl &url) {
            m_opened.append(url);
            return m_openSucceeds;
        });
        scheduler.setAsk([this] {
            ++m_asks;
            return m_answer;
        });
        return scheduler;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QCOMPARE(StringTable::install(QLocale(QLocale::English, QLocale::UnitedStates)), u"en"_qs);
        QApplication::setWindowIcon(QIcon(u":/icons/hicolor/256x256/apps/quillbox.png"_qs));
    }

    void init()
    {
        for (const QString &key : {SettingsKeys::Comment, SettingsKeys::First, SettingsKeys::Day})
            store().removeObjectForKey(key);
        m_now = at(2024, 5, 10);
        m_draw = 1;
        m_draws = 0;
        m_asks = 0;
        m_answer = Answer::Postpone;
        m_opened.clear();
        m_openSucceeds = true;
    }

    void reviewedUserIsNeverAskedAndNothingIsTouched()
    {
        store().setInteger(2, SettingsKeys::Comment);
        store().setString(u"2020-01-01"_qs, SettingsKeys::Day);
        ReviewScheduler scheduler = makeScheduler();
        for (int i = 0; i < 5; ++i)
            scheduler.readyComment();
        QCOMPARE(m_asks, 0);
        QCOMPARE(m_draws, 0);
        QCOMPARE(store().stringForKey(SettingsKeys::Day), u"2020-01-01"_qs);
        QCOMPARE(store().boolForKey(SettingsKeys::First), false);
        QVERIFY(store().stringForKey(SettingsKeys::First).isNull());
        QCOMPARE(store().integerForKey(SettingsKeys::Comment), 2);
    }

    void freshUserIsAskedAtFirstSuccessWithoutDraw()
    {
        m_draw = 0; // a draw would fail: the first question must not depend on one
        ReviewScheduler scheduler = makeScheduler();
        scheduler.readyComment();
        QCOMPARE(m_asks, 1);
        QCOMPARE(m_draws, 0);
        QCOMPARE(store().boolForKey(SettingsKeys::First), true);
        QCOMPARE(store().stringForKey(SettingsKeys::Day), u"2024-05-10"_qs);
        QCOMPARE(store().integerForKey(SettingsKeys::Comment), 1);
    }

    void sameDayNeverAsksAgain()
    {
        ReviewScheduler scheduler = makeScheduler();
        scheduler.readyComment();
        QCOMPARE(m_asks, 1);
        for (quint32 draw : {1u, 4u, 0u, 2u}) {
            m_draw = draw;
            m_now = m_now.addSecs(3600);
            scheduler.readyComment();
        }
        QCOMPARE(m_asks, 1);
        QCOMPARE(store().stringForKey(SettingsKeys::Day), u"2024-05-10"_qs);
    }

    void laterDayWithSuccessfulDrawAsks()
    {
        ReviewScheduler scheduler = makeScheduler();
        scheduler.readyComment();
        m_now = at(2024, 5, 12, 8);
        m_draw = 7; // 7 % 3 == 1
        scheduler.readyComment();
        QCOMPARE(m_asks, 2);
        QCOMPARE(store().stringForKey(SettingsKeys::Day), u"2024-05-12"_qs);
    }

    void laterDayWithFailedDrawLeavesDayAlone()
    {
        ReviewScheduler scheduler = makeScheduler();
        scheduler.readyComment();
        m_now = at(2024, 5, 12, 8);
        for (quint32 draw : {0u, 2u, 3u, 5u, 0xFFFFFFFFu}) {
            m_draw = draw;
            scheduler.readyComment();
        }
        QCOMPARE(m_asks, 1);
        QCOMPARE(m_draws, 5);
        QCOMPARE(store().stringForKey(SettingsKeys::Day), u"2024-05-10"_qs);
        // A later extraction of the same day still has its chance.
        m_draw = 4;
        scheduler.readyComment();
        QCOMPARE(m_asks, 2);
        QCOMPARE(store().stringForKey(SettingsKeys::Day), u"2024-05-12"_qs);
    }

    void calendarDayNotTwentyFourHours()
    {
        ReviewScheduler scheduler = makeScheduler();
        m_now = at(2024, 5, 10, 23, 59);
        scheduler.readyComment();
        QCOMPARE(m_asks, 1);
        m_now = at(2024, 5, 11, 0, 0); // one minute later, but a new day
        scheduler.readyComment();
        QCOMPARE(m_asks, 2);
        QCOMPARE(store().stringForKey(SettingsKeys::Day), u"2024-05-11"_qs);
    }

    void dayThatIsNotADateIsReplaced_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("word") << u"yesterday"_qs;
        QTest::newRow("impossible date") << u"2024-02-30"_qs;
        QTest::newRow("other pattern") << u"10/05/2024"_qs;
        QTest::newRow("empty") << QString(u""_qs);
        QTest::newRow("null text") << u"(null)"_qs;
        QTest::newRow("trailing junk") << u"2024-05-10x"_qs;
    }

    void dayThatIsNotADateIsReplaced()
    {
        QFETCH(QString, stored);
        store().setBool(true, SettingsKeys::First);
        store().setString(stored, SettingsKeys::Day);
        ReviewScheduler scheduler = makeScheduler();
        scheduler.readyComment();
        QCOMPARE(m_asks, 1);
        QCOMPARE(store().stringForKey(SettingsKeys::Day), u"2024-05-10"_qs);
    }

    void dayCheckDirectly()
    {
        ReviewScheduler scheduler = makeScheduler();
        QCOMPARE(scheduler.isToday(), false); // nothing stored yet
        QCOMPARE(store().stringForKey(SettingsKeys::Day), u"2024-05-10"_qs);
        QCOMPARE(scheduler.isToday(), true);
        store().setString(u"2024-05-09"_qs, SettingsKeys::Day);
        QCOMPARE(scheduler.isToday(), false);
        QCOMPARE(store().stringForKey(SettingsKeys::Day), u"2024-05-10"_qs);
        // A day in the future (the clock was set back) is another day too.
        store().setString(u"2031-01-01"_qs, SettingsKeys::Day);
        QCOMPARE(scheduler.isToday(), false);
        QCOMPARE(store().stringForKey(SettingsKeys::Day), u"2024-05-10"_qs);
    }

    void postponedUserIsAskedAgainOnAnotherDay()
    {
        ReviewScheduler scheduler = makeScheduler();
        scheduler.readyComment();
        QCOMPARE(store().integerForKey(SettingsKeys::Comment), 1);
        QVERIFY(m_opened.isEmpty());
        m_now = at(2024, 6, 1);
        scheduler.readyComment();
        QCOMPARE(m_asks, 2);
        QCOMPARE(store().integerForKey(SettingsKeys::Comment), 1);
    }

    void reviewAnswerOpensPageAndEndsTheQuestions()
    {
        m_answer = Answer::Review;
        ReviewScheduler scheduler = makeScheduler();
        scheduler.readyComment();
        QCOMPARE(store().integerForKey(SettingsKeys::Comment), 2);
        QCOMPARE(m_opened, QList<QUrl>{ReviewScheduler::reviewPageUrl()});
        m_now = at(2024, 6, 1);
        m_draws = 0;
        scheduler.readyComment();
        QCOMPARE(m_asks, 1);
        QCOMPARE(m_draws, 0);
    }

    void menuCommandNeverChangesComment()
    {
        ReviewScheduler scheduler = makeScheduler();
        scheduler.goComment();
        QVERIFY(store().stringForKey(SettingsKeys::Comment).isNull());
        store().setInteger(1, SettingsKeys::Comment);
        scheduler.goComment();
        QCOMPARE(store().integerForKey(SettingsKeys::Comment), 1);
        QCOMPARE(m_opened.size(), 2);
        QCOMPARE(m_opened.first(), ReviewScheduler::reviewPageUrl());
    }

    void windowButtonStoresReviewedEvenWhenPageFails()
    {
        m_openSucceeds = false;
        store().setInteger(1, SettingsKeys::Comment);
        ReviewScheduler scheduler = makeScheduler();
        scheduler.goCommentAction();
        QCOMPARE(store().integerForKey(SettingsKeys::Comment), 2);
        QCOMPARE(m_opened, QList<QUrl>{ReviewScheduler::reviewPageUrl()});
        scheduler.readyComment();
        QCOMPARE(m_asks, 0);
    }

    void questionIsNotStackedWhileOpen()
    {
        // While the question waits, another extraction may finish in the
        // nested event loop; it must not raise a second question.
        ReviewScheduler scheduler = makeScheduler();
        scheduler.setAsk([&] {
            ++m_asks;
            m_now = at(2024, 5, 11); // even on a new day
            scheduler.readyComment();
            return Answer::Postpone;
        });
        scheduler.readyComment();
        QCOMPARE(m_asks, 1);
        QCOMPARE(store().integerForKey(SettingsKeys::Comment), 1);
    }

    void reviewPageIsOurs()
    {
        const QUrl url = ReviewScheduler::reviewPageUrl();
        QVERIFY(url.isValid());
        QCOMPARE(url.scheme(), u"https"_qs);
        QVERIFY(!url.host().isEmpty());
    }

    void promptButtonsGiveTheAnswers()
    {
        QXReviewPrompt prompt;
        QCOMPARE(prompt.defaultButton(), prompt.goButton());
        QCOMPARE(prompt.escapeButton(), static_cast<QAbstractButton *>(prompt.nextButton()));
        QCOMPARE(prompt.goButton()->text(), localizedString("comment_go"));
        QCOMPARE(prompt.nextButton()->text(), localizedString("comment_next"));
        QCOMPARE(prompt.windowTitle(), localizedString("tip"));
        QCOMPARE(prompt.informativeText(), localizedString("comment_info"));
    }

    void promptTextsAreWritten()
    {
        for (const char *key : {"tip", "comment_info", "comment_go", "comment_next"})
            QVERIFY2(localizedString(key) != QString::fromLatin1(key), key);
    }

    void screenshot()
    {
        QXReviewPrompt prompt;
        prompt.show();
        QVERIFY(QTest::qWaitForWindowExposed(&prompt));
        const QString folder = QStringLiteral(QUILLBOX_SCREENSHOT_DIR);
        QDir().mkpath(folder);
        QVERIFY(prompt.grab().save(folder + u"/review-prompt.png"_qs));
    }

    void promptRunsModallyAndReportsTheClick_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("expected");
        QTest::newRow("go") << u"go"_qs << int(Answer::Review);
        QTest::newRow("next") << u"next"_qs << int(Answer::Postpone);
        QTest::newRow("escape") << u"escape"_qs << int(Answer::Postpone);
        QTest::newRow("return") << u"return"_qs << int(Answer::Review);
    }

    void promptRunsModallyAndReportsTheClick()
    {
        QFETCH(QString, press);
        QFETCH(int, expected);
        bool seen = false;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *prompt = qobject_cast<QXReviewPrompt *>(QApplication::activeModalWidget());
            if (!prompt)
                return;
            seen = true;
            poll.stop();
            if (press == u"go"_qs)
                prompt->goButton()->click();
            else if (press == u"next"_qs)
                prompt->nextButton()->click();
            else if (press == u"escape"_qs)
                QTest::keyClick(prompt, Qt::Key_Escape);
            else
                QTest::keyClick(prompt, Qt::Key_Return);
        });
        poll.start();
        const Answer answer = QXReviewPrompt::ask(nullptr);
        QVERIFY(seen);
        QCOMPARE(int(answer), expected);
    }
};

QTEST_MAIN(TestReview)
#include "test_review.moc"
