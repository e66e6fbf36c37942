#include "window/RowLayout.h"

#include <QTest>

// The list arithmetic: newest row at the bottom, 66 points a row, the window's
// top edge kept in place, whole rows only when the screen is short.
class TestRowLayout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void compute_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<int>("chrome");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("room");
        QTest::addColumn<int>("visible");
        QTest::addColumn<QRect>("geometry");
        const int all = RowLayout::Unlimited;
        QTest::newRow("three rows") << QRect(100, 80, 420, 300) << 0 << 3 << all << 198 << QRect(100, 80, 420, 198);
        QTest::newRow("empty") << QRect(0, 50, 300, 132) << 0 << 0 << all << 0 << QRect(0, 50, 300, 0);
        QTest::newRow("negative count") << QRect(0, 0, 300, 10) << 0 << -2 << all << 0 << QRect(0, 0, 300, 0);
        QTest::newRow("menu bar kept") << QRect(5, 6, 420, 330) << 30 << 2 << all << 132 << QRect(5, 6, 420, 162);
        QTest::newRow("long list scrolls") << QRect(0, 100, 400, 300) << 20 << 10 << 250 << 198 << QRect(0, 100, 400, 218);
        QTest::newRow("just fits") << QRect(0, 0, 400, 10) << 0 << 3 << 198 << 198 << QRect(0, 0, 400, 198);
        QTest::newRow("one row at least") << QRect(0, 0, 400, 10) << 0 << 3 << -50 << 66 << QRect(0, 0, 400, 66);
    }
    void compute()
    {
        QFETCH(QRect, window);
        QFETCH(int, chrome);
        QFETCH(int, rows);
        QFETCH(int, room);
        QFETCH(int, visible);
        QFETCH(QRect, geometry);
        const auto r = RowLayout::compute(window, chrome, rows, RowLayout::RowHeight, room);
        QCOMPARE(r.contentHeight, std::max(rows, 0) * 66);
        QCOMPARE(r.visibleHeight, visible);
        QCOMPARE(r.windowGeometry, geometry);
        QCOMPARE(r.bottomOffsets.size(), std::max(rows, 0));
        // Newest first from the bottom; in top-down coordinates the oldest is on top.
        for (int i = 0; i < r.bottomOffsets.size(); ++i) {
            QCOMPARE(r.bottomOffsets[i], i * 66);
            QCOMPARE(RowLayout::topInContent(r.contentHeight, r.bottomOffsets[i]), (rows - 1 - i) * 66);
        }
    }
};

QTEST_MAIN(TestRowLayout)
#include "test_row_layout.moc"
