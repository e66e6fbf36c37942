#include "app/schedule/ReviewScheduler.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/settings/UserDefaults.h"
#include "TestEnvironment.h"

#include <QTest>
#include <optional>

using Answer = ReviewScheduler::Answer;
Q_DECLARE_METATYPE(Answer)

// Drives the review schedule with a fake clock, forced draws (n % 3 == 1
// wins) and a question that records itself instead of showing a box.
class TestReviewScheduler : public QObject {
    Q_OBJECT

    std::optional<TestEnvironment> m_env;
    QDateTime m_now;
    quint32 m_draw = 1;
    int m_draws = 0;
    int m_asks = 0;
    Answer m_answer = Answer::Postpone;
    QList<QUrl> m_opened;
    bool m_openSucceeds = true;

    static UserDefaults &store() { return UserDefaults::standardUserDefaults(); }

    static QDateTime at(int d, int h = 10, int min = 0)
    {
        return QDateTime(QDate(2024, 5, d), QTime(h, min), Qt::LocalTime);
    }

    ReviewScheduler makeScheduler()
    {
        ReviewScheduler scheduler;
        scheduler.setClock([this] { return m_now; });
        scheduler.setRandom([this] { return ++m_draws, m_draw; });
        scheduler.setOpenUrl([this](const QUrl &url) { return m_opened.append(url), m_openSucceeds; });
        scheduler.setAsk([this] { return ++m_asks, m_answer; });
        return scheduler;
    }

private Q_SLOTS:
    void initTestCase() { m_env.emplace(); }

    void init()
    {
        for (const QString &key : {SettingsKeys::Comment, SettingsKeys::First, SettingsKeys::Day})
            store().removeObjectForKey(key);
        m_now = at(10);
        m_draw = 1;
        m_draws = m_asks = 0;
        m_answer = Answer::Postpone;
        m_opened.clear();
        m_openSucceeds = true;
    }

    void askWhenDue_data()
    {
        QTest::addColumn<int>("comment"); // 0: never answered
        QTest::addColumn<bool>("first");
        QTest::addColumn<QString>("day"); // null: none stored
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<quint32>("draw");
        QTest::addColumn<int>("asks");
        QTest::addColumn<int>("draws");
        QTest::addColumn<QString>("dayAfter");
        const QString today = u"2024-05-10"_qs;
        const QString before = u"2024-05-08"_qs;
        QTest::newRow("reviewed: never, nothing touched")
            << 2 << false << u"2020-01-01"_qs << at(10) << 1u << 0 << 0 << u"2020-01-01"_qs;
        QTest::newRow("first success asks without a draw")
            << 0 << false << QString() << at(10) << 0u << 1 << 0 << today;
        QTest::newRow("same day, winning draw") << 1 << true << today << at(10, 23, 59) << 1u << 0 << 1 << today;
        QTest::newRow("later day, winning draw") << 1 << true << before << at(10) << 7u << 1 << 1 << today;
        QTest::newRow("later day, losing draw 0") << 1 << true << before << at(10) << 0u << 0 << 1 << before;
        QTest::newRow("later day, losing draw max")
            << 1 << true << before << at(10) << 0xFFFFFFFFu << 0 << 1 << before;
        QTest::newRow("a minute past midnight is another day")
            << 1 << true << u"2024-05-09"_qs << at(10, 0, 0) << 1u << 1 << 1 << today;
        QTest::newRow("future day (clock set back)")
            << 1 << true << u"2031-01-01"_qs << at(10) << 1u << 1 << 1 << today;
        for (const QString &bad : {u"2024-02-30"_qs, u""_qs, u"2024-05-10x"_qs})
            QTest::addRow("stored day '%s' is replaced", qPrintable(bad))
                << 1 << true << bad << at(10) << 1u << 1 << 1 << today;
    }

    void askWhenDue()
    {
        QFETCH(int, comment);
        QFETCH(bool, first);
        QFETCH(QString, day);
        QFETCH(QDateTime, now);
        QFETCH(quint32, draw);
        if (comment)
            store().setInteger(comment, SettingsKeys::Comment);
        if (first)
            store().setBool(true, SettingsKeys::First);
        if (!day.isNull())
            store().setString(day, SettingsKeys::Day);
        m_now = now;
        m_draw = draw;
        ReviewScheduler scheduler = makeScheduler();
        scheduler.readyComment();
        QTEST(m_asks, "asks");
        QTEST(m_draws, "draws");
        QTEST(store().stringForKey(SettingsKeys::Day), "dayAfter");
        QCOMPARE(store().boolForKey(SettingsKeys::First), comment != 2);
        QCOMPARE(store().integerForKey(SettingsKeys::Comment), qint64(comment ? comment : 1));
    }

    // Postponing asks again on another day; a review never asks again.
    void answerDecidesTheNextQuestion_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<qint64>("comment");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("asksLater");
        QTest::newRow("later") << Answer::Postpone << qint64(1) << 0 << 2;
        QTest::newRow("review") << Answer::Review << qint64(2) << 1 << 1;
    }

    void answerDecidesTheNextQuestion()
    {
        QFETCH(Answer, answer);
        m_answer = answer;
        ReviewScheduler scheduler = makeScheduler();
        scheduler.readyComment();
        QTEST(store().integerForKey(SettingsKeys::Comment), "comment");
        QTEST(int(m_opened.size()), "pages");
        for (const QUrl &url : std::as_const(m_opened))
            QCOMPARE(url, ReviewScheduler::reviewPageUrl());
        m_now = at(20);
        scheduler.readyComment();
        QTEST(m_asks, "asksLater");
    }

};

QTEST_GUILESS_MAIN(TestReviewScheduler)
#include "test_review_scheduler.moc"
