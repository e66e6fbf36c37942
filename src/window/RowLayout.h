#pragma once

#include <QList>
#include <QRect>
#include <limits>

// The arithmetic of the item list: one fixed-height row per item, the newest
// at the bottom, the window sized to the rows with its top edge kept in place.
// Pure, so it can be checked without a screen.
class RowLayout {
public:
    static constexpr int RowHeight = 66;
    static constexpr int Unlimited = std::numeric_limits<int>::max();

    struct Result {
        // The top-level window's new geometry (client area, Qt coordinates).
        QRect windowGeometry;
        // Height of the stack of rows.
        int contentHeight = 0;
        // The part of the stack the window shows; less than contentHeight
        // only when the rows do not fit on the screen, and then the list scrolls.
        int visibleHeight = 0;
        // Distance of each row's lower edge from the content's lower edge,
        // newest item first (the reverse of the list order).
        QList<int> bottomOffsets;
    };

    // window: the window's current geometry; chrome: the part of its height
    // that is not row content (a menu bar, for example); rowCount: items listed;
    // maxVisibleHeight: the most the screen has room for below the window's top.
    static Result compute(const QRect &window, int chrome, qsizetype rowCount,
                          int rowHeight = RowHeight, int maxVisibleHeight = Unlimited);

    // The y of a row's top edge, in the content's own top-down coordinates.
    static int topInContent(int contentHeight, int bottomOffset, int rowHeight = RowHeight);
};
