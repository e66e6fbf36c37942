#include "TimerExpand.h"

#include <cmath>

QTimer *scheduled(double seconds, std::function<void(QTimer *)> block, bool repeats, QObject *owner)
{
    auto *timer = new QTimer(owner);
    timer->setSingleShot(!repeats);
    timer->setInterval(static_cast<int>(std::lround(seconds * 1000.0)));
    QObject::connect(timer, &QTimer::timeout, timer, [timer, block = std::move(block)] {
        if (block)
            block(timer);
    });
    timer->start();
    return timer;
}

void cancelTimer(QTimer *timer)
{
    if (timer && timer->isActive())
        timer->stop();
}
