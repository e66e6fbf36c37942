#include "support/DateExpand.h"
#include "support/MainQueue.h"
#include "support/StringExpand.h"
#include "support/TimerExpand.h"

#include <QEventLoop>
#include <QtTest>

class TestSupportHelpers : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void validStrings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("missing") << QString() << false;
        QTest::newRow("empty") << u""_qs << false;
        QTest::newRow("blanks") << u" \t\r\n "_qs << false;
        QTest::newRow("(null)") << u"(null)"_qs << false;
        QTest::newRow(" (null)") << u" (null)"_qs << true;
        QTest::newRow("letter") << u"a"_qs << true;
    }

    void validStrings()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(isValid(text), valid);
    }

    void datesAndTimes()
    {
        const QString pattern = u"yyyy-MM-dd"_qs;
        QVERIFY(!convertToDateWithFormat(u"yesterday"_qs, pattern).isValid());
        const QDateTime date = convertToDateWithFormat(u"2026-03-04"_qs, pattern);
        QCOMPARE(date.date(), QDate(2026, 3, 4));
        QCOMPARE(stringWithDateFormat(date, pattern), u"2026-03-04"_qs);
        // Today is a calendar day, not the last 24 hours.
        const QDate today = QDate::currentDate();
        QVERIFY(isToday(QDateTime(today, QTime(0, 0))) && isToday(now()));
        QVERIFY(!isToday(QDateTime(today.addDays(-1), QTime(23, 59))) && !isToday(QDateTime()));
        QCOMPARE(timeStampForSeconds(1.9999), qint64(1999));
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const qint64 stamp = timeStamp();
        QVERIFY(stamp >= before && stamp - before < 1000);
    }

    void foregroundBlocksRunLater()
    {
        bool ran = false;
        enterForeground([&] { ran = true; });
        QVERIFY(!ran);
        QTRY_VERIFY(ran);

        bool delayed = false;
        enterForegroundWithDelay(0, [&] { delayed = true; });
        QVERIFY(!delayed);
        QTRY_VERIFY(delayed);
    }

    void repeatingTimersFireInNestedLoops()
    {
        int fired = 0;
        QTimer *timer = scheduled(0.01, [&](QTimer *) { ++fired; }, true);
        QEventLoop nested; // stands for a menu or a modal dialog
        QTimer::singleShot(200, &nested, &QEventLoop::quit);
        nested.exec();
        QVERIFY(fired >= 3);
        cancelTimer(timer);
        const int after = fired;
        QTest::qWait(50);
        QCOMPARE(fired, after);
        cancelTimer(nullptr);
        delete timer;
    }
};

QTEST_GUILESS_MAIN(TestSupportHelpers)
#include "test_support_helpers.moc"
