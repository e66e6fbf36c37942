#include "support/DateExpand.h"
#include "support/MainQueue.h"
#include "support/StringExpand.h"
#include "support/TimerExpand.h"

#include <QEventLoop>
#include <QtTest>

class TestSupportHelpers : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // "(null)" is what a missing string turned into on its way through a format.
    void validStrings()
    {
        for (const QString &text : {QString(), u" \t\r\n "_qs, u"(null)"_qs})
            QVERIFY(!isValid(text));
        QVERIFY(isValid(u" (null)"_qs) && isValid(u"a"_qs));
    }

    // Today is a calendar day, not the last 24 hours.
    void datesAndTimes()
    {
        const QDateTime date = convertToDateWithFormat(u"2026-03-04"_qs, u"yyyy-MM-dd"_qs);
        QCOMPARE(date.date(), QDate(2026, 3, 4));
        QCOMPARE(stringWithDateFormat(date, u"yyyy-MM-dd"_qs), u"2026-03-04"_qs);
        const QDate today = QDate::currentDate();
        QVERIFY(isToday(QDateTime(today, QTime(0, 0))) && isToday(now()));
        QVERIFY(!isToday(QDateTime(today.addDays(-1), QTime(23, 59))) && !isToday(QDateTime()));
    }

    void foregroundBlocksRunLater()
    {
        bool ran = false;
        enterForeground([&] { ran = true; });
        QVERIFY(!ran);
        QTRY_VERIFY(ran);
    }

    // A menu or a modal dialog runs its own event loop; the timers must go on.
    void repeatingTimersFireInNestedLoops()
    {
        int fired = 0;
        QEventLoop nested;
        QTimer *timer = scheduled(0.01, [&](QTimer *) {
            if (++fired == 3)
                nested.quit();
        }, true);
        nested.exec();
        cancelTimer(timer);
        QTest::qWait(50);
        QCOMPARE(fired, 3);
        delete timer;
    }
};

QTEST_GUILESS_MAIN(TestSupportHelpers)
#include "test_support_helpers.moc"
