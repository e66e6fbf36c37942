#include "ViewFrame.h"

#include <QWidget>
#include <cmath>

double height(const QWidget *view)
{
    return view ? double(view->height()) : 0.0;
}

void setY(QWidget *view, double y)
{
    if (!view)
        return;
    view->move(view->x(), int(std::lround(y)));
}
