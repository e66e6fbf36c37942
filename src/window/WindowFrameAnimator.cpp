#include "WindowFrameAnimator.h"

#include <QEasingCurve>
#include <QPropertyAnimation>
#include <QWidget>

WindowFrameAnimator::WindowFrameAnimator(QObject *parent) : QObject(parent) {}

bool WindowFrameAnimator::isAnimating() const
{
    return m_animation && m_animation->state() == QAbstractAnimation::Running;
}

QRect WindowFrameAnimator::targetFrame(const QWidget *window) const
{
    if (isAnimating() && m_animation->targetObject() == window)
        return m_animation->endValue().toRect();
    return window ? window->geometry() : QRect();
}

void WindowFrameAnimator::setFrame(QWidget *window, const QRect &geometry, bool animate)
{
    if (!window)
        return;
    if (m_animation) {
        m_animation->stop();
        delete m_animation.data();
    }
    // A hidden window has nothing to show in between.
    if (!animate || !window->isVisible() || window->geometry() == geometry) {
        // A window that was never on screen is only sized, and the window
        // manager places it: given a position first, it would keep its
        // content at that point, its title bar above the screen's top edge.
        if (!window->windowHandle())
            window->resize(geometry.size());
        else
            window->setGeometry(geometry);
        Q_EMIT frameReached();
        return;
    }
    auto *animation = new QPropertyAnimation(window, "geometry", this);
    animation->setDuration(DurationMs);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    animation->setStartValue(window->geometry());
    animation->setEndValue(geometry);
    connect(animation, &QPropertyAnimation::finished, this, &WindowFrameAnimator::frameReached);
    m_animation = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}
