#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class ControllerHost;
class QWidget;
class RARListView;
class WindowFrameAnimator;

// Keeps the main window's height following the item list: one row per item
// with the top edge kept in place, never running off the screen (a long list
// scrolls instead), animated while the window is on screen.
class WindowGeometry : public QObject {
    Q_OBJECT
public:
    explicit WindowGeometry(ControllerHost *host, QObject *parent = nullptr);

    // Puts the rows into the list and sizes the window (or, without a window
    // of its own, the view) to them.
    void fit(QWidget *view, RARListView *list, const QList<QWidget *> &newestFirst);
    // The animation of the window's size, for callers that wait for it.
    WindowFrameAnimator *frameAnimator();

private:
    QWidget *mainWindow() const;
    int roomBelow(const QWidget *window, int top) const;

    ControllerHost *m_host;
    QPointer<WindowFrameAnimator> m_frameAnimator;
    int m_chrome = 0;
};
