#include "support/widgets/ViewFrame.h"
#include "window/RowLayout.h"

#include <QTest>
#include <QWidget>

// The list arithmetic: newest row at the bottom, 66 points a row, the window's
// top edge kept in place.
class TestRowLayout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void threeRows();
    void middleRowRemoved();
    void emptyList();
    void chromeIsKept();
    void longListScrolls();
    void viewFrameHelpers();
};

void TestRowLayout::threeRows()
{
    const QRect window(100, 80, 420, 300);
    const auto r = RowLayout::compute(window, 0, 3);
    QCOMPARE(r.contentHeight, 198);
    QCOMPARE(r.visibleHeight, 198);
    QCOMPARE(r.windowGeometry, QRect(100, 80, 420, 198));
    // Newest, middle, oldest.
    QCOMPARE(r.bottomOffsets, (QList<int>{0, 66, 132}));
    // In top-down coordinates the oldest sits on top.
    QCOMPARE(RowLayout::topInContent(r.contentHeight, r.bottomOffsets[2]), 0);
    QCOMPARE(RowLayout::topInContent(r.contentHeight, r.bottomOffsets[1]), 66);
    QCOMPARE(RowLayout::topInContent(r.contentHeight, r.bottomOffsets[0]), 132);
}

void TestRowLayout::middleRowRemoved()
{
    const auto before = RowLayout::compute(QRect(10, 20, 400, 198), 0, 3);
    const auto after = RowLayout::compute(before.windowGeometry, 0, 2);
    QCOMPARE(after.contentHeight, 132);
    QCOMPARE(after.windowGeometry.top(), before.windowGeometry.top());
    QCOMPARE(after.windowGeometry.height(), 132);
    // The newest stays at the bottom; the oldest moves down from 132 to 66.
    QCOMPARE(after.bottomOffsets, (QList<int>{0, 66}));
    QCOMPARE(RowLayout::topInContent(after.contentHeight, after.bottomOffsets[1]), 0);
    QCOMPARE(RowLayout::topInContent(after.contentHeight, after.bottomOffsets[0]), 66);
}

void TestRowLayout::emptyList()
{
    const auto r = RowLayout::compute(QRect(0, 50, 300, 132), 0, 0);
    QCOMPARE(r.contentHeight, 0);
    QCOMPARE(r.windowGeometry, QRect(0, 50, 300, 0));
    QVERIFY(r.bottomOffsets.isEmpty());
    QCOMPARE(RowLayout::compute(QRect(0, 0, 300, 10), 0, -2).contentHeight, 0);
}

void TestRowLayout::chromeIsKept()
{
    // A menu bar inside the window is not row content.
    const auto r = RowLayout::compute(QRect(5, 6, 420, 330), 30, 2);
    QCOMPARE(r.contentHeight, 132);
    QCOMPARE(r.windowGeometry, QRect(5, 6, 420, 162));
    QCOMPARE(RowLayout::compute(QRect(0, 0, 10, 10), 12, 1, 40).windowGeometry.height(), 52);
}

void TestRowLayout::longListScrolls()
{
    // Room for 250 points below the top edge: three whole rows show.
    const auto r = RowLayout::compute(QRect(0, 100, 400, 300), 20, 10, 66, 250);
    QCOMPARE(r.contentHeight, 660);
    QCOMPARE(r.visibleHeight, 198);
    QCOMPARE(r.windowGeometry, QRect(0, 100, 400, 218));
    QCOMPARE(r.bottomOffsets.size(), 10);
    QCOMPARE(r.bottomOffsets.last(), 594);
    // Fits: nothing is cut.
    QCOMPARE(RowLayout::compute(QRect(0, 0, 400, 10), 0, 3, 66, 198).visibleHeight, 198);
    // However little room, one row shows.
    QCOMPARE(RowLayout::compute(QRect(0, 0, 400, 10), 0, 3, 66, 10).visibleHeight, 66);
    QCOMPARE(RowLayout::compute(QRect(0, 0, 400, 10), 0, 3, 66, -50).visibleHeight, 66);
    QCOMPARE(RowLayout::compute(QRect(0, 0, 400, 10), 0, 0, 66, 10).visibleHeight, 0);
    // Without a limit, every row shows.
    QCOMPARE(RowLayout::compute(QRect(0, 0, 400, 10), 0, 40).visibleHeight, 2640);
}

void TestRowLayout::viewFrameHelpers()
{
    QWidget parent;
    auto *view = new QWidget(&parent);
    view->setGeometry(7, 9, 120, 66);
    QCOMPARE(height(view), 66.0);
    setY(view, 132.0);
    QCOMPARE(view->geometry(), QRect(7, 132, 120, 66));
    setY(view, 0.4);
    QCOMPARE(view->y(), 0);
    QCOMPARE(height(nullptr), 0.0);
    setY(nullptr, 3.0); // ignored
}

QTEST_MAIN(TestRowLayout)
#include "test_row_layout.moc"
