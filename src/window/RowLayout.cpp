#include "RowLayout.h"

#include <algorithm>

RowLayout::Result RowLayout::compute(const QRect &window, int chrome, qsizetype rowCount,
                                     int rowHeight, int maxVisibleHeight)
{
    Result result;
    const qsizetype count = std::max<qsizetype>(rowCount, 0);
    result.contentHeight = int(count) * rowHeight;
    // Whole rows only, and at least one, however little room there is.
    const int roomForRows = std::max(1, std::max(maxVisibleHeight, 0) / std::max(rowHeight, 1));
    result.visibleHeight = std::min(result.contentHeight, roomForRows * rowHeight);
    // Qt's y grows downwards, so keeping x, y and width keeps the top edge.
    result.windowGeometry = QRect(window.x(), window.y(), window.width(),
                                  result.visibleHeight + std::max(chrome, 0));
    result.bottomOffsets.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        result.bottomOffsets.append(int(i) * rowHeight);
    return result;
}

int RowLayout::topInContent(int contentHeight, int bottomOffset, int rowHeight)
{
    return contentHeight - bottomOffset - rowHeight;
}
