#pragma once

#include <QStyledItemDelegate>

class QXEncodingPopUp;

// Draws an encoding entry: the name in the pop-up's main font, then, at the
// pop-up's tab stop, the airplane and the decoded sample in its small font.
class QXEncodingItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit QXEncodingItemDelegate(QXEncodingPopUp *popUp);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Shared with the pop-up's own face, so the closed pop-up reads like its
    // list. Text that does not fit is elided.
    static void paintEntry(QPainter *painter, const QRect &rect, const QString &name,
                           const QString &sample, const QFont &mainFont,
                           const QFont &sampleFont, qreal tabStop, const QColor &color);

private:
    QXEncodingPopUp *m_popUp;
};
