#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

class QPropertyAnimation;
class QWidget;

// Moves a top-level window to a new geometry, animated while it is on screen.
// A new request takes over from a running one, starting where the window is.
class WindowFrameAnimator : public QObject {
    Q_OBJECT
public:
    static constexpr int DurationMs = 180;

    explicit WindowFrameAnimator(QObject *parent = nullptr);

    void setFrame(QWidget *window, const QRect &geometry, bool animate);
    // Where the window is heading; its own geometry when nothing runs.
    QRect targetFrame(const QWidget *window) const;
    bool isAnimating() const;

Q_SIGNALS:
    void frameReached();

private:
    QPointer<QPropertyAnimation> m_animation;
};
