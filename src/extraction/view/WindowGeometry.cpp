#include "WindowGeometry.h"

#include "extraction/view/ControllerHost.h"
#include "window/RARListView.h"
#include "window/RowLayout.h"
#include "window/WindowChrome.h"
#include "window/WindowFrameAnimator.h"

#include <QScreen>
#include <QWidget>

WindowGeometry::WindowGeometry(ControllerHost *host, QObject *parent)
    : QObject(parent), m_host(host)
{
}

QWidget *WindowGeometry::mainWindow() const
{
    return m_host ? m_host->window() : nullptr;
}

WindowFrameAnimator *WindowGeometry::frameAnimator()
{
    if (!m_frameAnimator)
        m_frameAnimator = new WindowFrameAnimator(this);
    return m_frameAnimator;
}

void WindowGeometry::fit(QWidget *view, RARListView *list, const QList<QWidget *> &newestFirst)
{
    QWidget *window = mainWindow();
    const bool ownWindow = window && window != view;
    m_chrome = ownWindow ? WindowChrome::height(window, view) : 0;
    const QRect current = ownWindow ? frameAnimator()->targetFrame(window) : view->geometry();
    const auto layout = RowLayout::compute(current, m_chrome, newestFirst.size(), RowLayout::RowHeight,
                                           ownWindow ? roomBelow(window, current.top()) : RowLayout::Unlimited);
    list->setRows(newestFirst, RowLayout::RowHeight);
    list->setScrollable(layout.visibleHeight < layout.contentHeight);
    if (ownWindow)
        frameAnimator()->setFrame(window, layout.windowGeometry, true);
    else
        view->resize(view->width(), layout.visibleHeight);
}

// The height the screen leaves for rows below the window's top edge, so a
// long list scrolls instead of running off the screen.
int WindowGeometry::roomBelow(const QWidget *window, int top) const
{
    const QScreen *screen = window->screen();
    if (!screen)
        return RowLayout::Unlimited;
    const int frameBottom = std::max(0, window->frameGeometry().bottom() - window->geometry().bottom());
    return screen->availableGeometry().bottom() + 1 - top - frameBottom - m_chrome;
}
