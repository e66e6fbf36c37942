#include "RARListView.h"

#include "support/widgets/ViewFrame.h"
#include "window/RowLayout.h"

#include <QEvent>
#include <QScrollBar>

RARListView::RARListView(QWidget *parent) : QScrollArea(parent), m_content(new QWidget)
{
    setObjectName(u"listView"_qs);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    verticalScrollBar()->setStyleSheet(uR"(
        QScrollBar:vertical { background: transparent; width: 10px; margin: 2px; }
        QScrollBar::handle:vertical { background: rgba(255, 255, 255, 150); border-radius: 3px;
            min-height: 30px; }
        QScrollBar::handle:vertical:hover { background: rgba(255, 255, 255, 210); }
        QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }
        QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }
    )"_qs);
    m_content->installEventFilter(this);
    setWidget(m_content);
    // The window's gradient shows through (setWidget turns filling on).
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    m_content->setAutoFillBackground(false);
}

void RARListView::addRow(QWidget *row)
{
    row->setParent(m_content);
    row->show();
}

void RARListView::takeRow(QWidget *row)
{
    row->hide();
    row->setParent(nullptr);
}

void RARListView::setRows(const QList<QWidget *> &newestFirst, int rowHeight)
{
    m_newestFirst.clear();
    for (QWidget *row : newestFirst)
        m_newestFirst.append(row);
    m_rowHeight = rowHeight;
    m_contentHeight = int(newestFirst.size()) * rowHeight;
    m_content->setMinimumHeight(m_contentHeight);
    placeRows();
}

void RARListView::setScrollable(bool scrollable)
{
    setVerticalScrollBarPolicy(scrollable ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

bool RARListView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_content && event->type() == QEvent::Resize)
        placeRows();
    return QScrollArea::eventFilter(watched, event);
}

void RARListView::placeRows()
{
    const int height = m_content->height();
    for (qsizetype i = 0; i < m_newestFirst.size(); ++i) {
        QWidget *row = m_newestFirst.at(i);
        if (!row)
            continue;
        row->resize(m_content->width(), m_rowHeight);
        setY(row, RowLayout::topInContent(height, int(i) * m_rowHeight, m_rowHeight));
    }
}
