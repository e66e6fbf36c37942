#include "QXEncodingItemDelegate.h"

#include "QXEncodingPopUp.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

namespace {

constexpr int horizontalMargin = 6;
constexpr int verticalPadding = 4;

QString sampleText(const QString &sample)
{
    // The airplane and its space, without the tab: the tab is the position.
    return QXEncodingPopUp::separator().mid(1) + sample;
}

} // namespace

QXEncodingItemDelegate::QXEncodingItemDelegate(QXEncodingPopUp *popUp)
    : QStyledItemDelegate(popUp), m_popUp(popUp)
{
}

void QXEncodingItemDelegate::paintEntry(QPainter *painter, const QRect &rect, const QString &name,
                                        const QString &sample, const QFont &mainFont,
                                        const QFont &sampleFont, qreal tabStop, const QColor &color)
{
    painter->save();
    painter->setPen(color);
    const int stop = int(tabStop + 0.5);
    const QFontMetrics mainMetrics(mainFont);
    painter->setFont(mainFont);
    const QRect nameRect(rect.left(), rect.top(), std::min(stop, rect.width()), rect.height());
    painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                      mainMetrics.elidedText(name, Qt::ElideRight, nameRect.width()));

    const QRect sampleRect(rect.left() + stop, rect.top(), rect.width() - stop, rect.height());
    if (sampleRect.width() > 0) {
        const QFontMetrics sampleMetrics(sampleFont);
        painter->setFont(sampleFont);
        painter->drawText(sampleRect, Qt::AlignLeft | Qt::AlignVCenter,
                          sampleMetrics.elidedText(sampleText(sample), Qt::ElideRight, sampleRect.width()));
    }
    painter->restore();
}

void QXEncodingItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    item.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    const bool selected = item.state & QStyle::State_Selected;
    const QColor color = item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    const QRect area = item.rect.adjusted(horizontalMargin, 0, -horizontalMargin, 0);
    paintEntry(painter, area, index.data(QXEncodingPopUp::NameRole).toString(),
               QXEncodingPopUp::preview(index), m_popUp->mainFont(),
               m_popUp->sampleFont(), m_popUp->tabStop(), color);
}

QSize QXEncodingItemDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const QFontMetrics mainMetrics(m_popUp->mainFont());
    const QFontMetrics sampleMetrics(m_popUp->sampleFont());
    const QString sample = sampleText(QXEncodingPopUp::preview(index));
    const int width = horizontalMargin + int(m_popUp->tabStop() + 0.5)
        + sampleMetrics.horizontalAdvance(sample) + horizontalMargin;
    const int height = std::max(mainMetrics.height(), sampleMetrics.height()) + 2 * verticalPadding;
    return QSize(width, height);
}
