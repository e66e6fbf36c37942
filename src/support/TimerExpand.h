#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

// A timer on the calling thread that hands itself to the block at each
// firing. Qt timers keep firing while menus and modal dialogs run.
QTimer *scheduled(double seconds, std::function<void(QTimer *)> block, bool repeats,
                  QObject *owner = nullptr);
// Stops the timer if it is running; a null timer is ignored.
void cancelTimer(QTimer *timer);
