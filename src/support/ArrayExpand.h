#pragma once

#include <QList>
#include <algorithm>

template <typename T>
QList<T> reverseArray(const QList<T> &list)
{
    QList<T> reversed(list);
    std::reverse(reversed.begin(), reversed.end());
    return reversed;
}
