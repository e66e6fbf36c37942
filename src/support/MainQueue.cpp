#include "MainQueue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

void enterForeground(std::function<void()> block)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(block), Qt::QueuedConnection);
}

void enterForegroundWithDelay(long long seconds, std::function<void()> block)
{
    auto *app = QCoreApplication::instance();
    QMetaObject::invokeMethod(app, [app, seconds, block = std::move(block)] {
        QTimer::singleShot(std::chrono::seconds(seconds), app, block);
    }, Qt::QueuedConnection);
}
