#include "support/DateExpand.h"
#include "support/MainQueue.h"
#include "support/MainThreadStallProbe.h"
#include "support/StringExpand.h"
#include "support/TimerExpand.h"
#include "TestEnvironment.h"

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
    void today()
    {
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

    // A main thread held up for 150 ms shows in the report as a stall of at
    // least that, less the one interval the probe waits anyway, whether the
    // timer fires after it or the program quits straight away.
    void stallProbeSeesABlockedMainThread_data()
    {
        QTest::addColumn<bool>("quitsAfterwards");
        QTest::newRow("the loop turns again") << false;
        QTest::newRow("the program quits") << true;
    }

    void stallProbeSeesABlockedMainThread()
    {
        QFETCH(bool, quitsAfterwards);
        TestEnvironment environment;
        MainThreadStallProbe probe;
        probe.start();
        QTest::qWait(50);
        if (quitsAfterwards) {
            QThread::msleep(150);
            probe.stop();
        } else {
            QTimer::singleShot(0, [] { QThread::msleep(150); });
            QTest::qWait(100);
        }
        QVERIFY2(probe.longestStallMs() >= 150 - MainThreadStallProbe::IntervalMs,
                 qPrintable(QString::number(probe.longestStallMs())));
        const QString report = environment.home() + u"/stall.txt"_qs;
        QVERIFY(probe.writeReport(report));
        QFile file(report);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray expected = "longest_stall_ms=" + QByteArray::number(probe.longestStallMs(), 'f', 1);
        QVERIFY(file.readAll().startsWith(expected));
    }
};

QTEST_GUILESS_MAIN(TestSupportHelpers)
#include "test_support_helpers.moc"
