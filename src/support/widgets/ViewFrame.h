#pragma once

class QWidget;

// Frame shortcuts for laying views out by hand.
// The height of the view's frame.
double height(const QWidget *view);
// Moves the view's frame to the given y (parent coordinates); x, width and
// height stay.
void setY(QWidget *view, double y);
