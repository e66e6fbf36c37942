#include "RARChooseView.h"

#include <QBoxLayout>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>

namespace {

constexpr int IconSize = 56;

// An archive box with an arrow leaving it, white on transparent.
QPixmap archiveGlyph(qreal ratio)
{
    QPixmap pixmap(QSize(IconSize, IconSize) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(Qt::white, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawRoundedRect(QRectF(8, 25, 40, 24), 4, 4);
    p.drawLine(QPointF(8, 32), QPointF(48, 32));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(28, 5), QPointF(28, 21));
    p.drawPolyline(QPolygonF({QPointF(21, 14), QPointF(28, 21), QPointF(35, 14)}));
    p.drawLine(QPointF(23, 39), QPointF(33, 39));
    return pixmap;
}

QToolButton *flatButton(const QString &glyph, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setText(glyph);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

} // namespace

RARChooseView::RARChooseView(QWidget *parent) : QWidget(parent)
{
    setAcceptDrops(true);
    setObjectName(u"chooseView"_qs);
    buildFace();
}

void RARChooseView::buildFace()
{
    setStyleSheet(uR"(
        QLabel { color: white; }
        QPushButton#openButton {
            color: #19546B; background: white; border: none; border-radius: 15px;
            padding: 6px 22px; font-weight: bold; min-height: 18px; }
        QPushButton#openButton:hover { background: #FFF4E0; }
        QPushButton#openButton:pressed { background: #FFD89B; }
        QWidget#bottomBar QLabel, QWidget#bottomBar QToolButton { color: #19546B; }
        QToolButton { background: transparent; border: none;
            border-radius: 4px; padding: 2px 6px; }
        QToolButton:hover { background: rgba(255, 255, 255, 90); }
        QToolButton:pressed { background: rgba(25, 84, 107, 60); }
        QToolButton#settingsButton { font-size: 17px; padding: 0px 4px; }
    )"_qs);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 14, 16, 6);
    outer->setSpacing(8);

    auto *zone = new QVBoxLayout;
    zone->setContentsMargins(24, 10, 24, 12);
    zone->setSpacing(8);
    zone->addStretch(1);
    auto *icon = new QLabel(this);
    icon->setPixmap(archiveGlyph(devicePixelRatioF()));
    icon->setAlignment(Qt::AlignCenter);
    zone->addWidget(icon);
    m_tipLabel = new QLabel(this);
    m_tipLabel->setObjectName(u"tipLabel"_qs);
    m_tipLabel->setAlignment(Qt::AlignCenter);
    m_tipLabel->setWordWrap(true);
    QFont tipFont = m_tipLabel->font();
    tipFont.setPointSizeF(tipFont.pointSizeF() * 1.25);
    m_tipLabel->setFont(tipFont);
    // The gradient turns pale towards the bottom; a soft shadow keeps white legible.
    auto *shadow = new QGraphicsDropShadowEffect(m_tipLabel);
    shadow->setBlurRadius(8);
    shadow->setOffset(0, 1);
    shadow->setColor(QColor(0, 0, 0, 110));
    m_tipLabel->setGraphicsEffect(shadow);
    zone->addWidget(m_tipLabel);
    zone->addSpacing(4);
    m_openButton = new QPushButton(this);
    m_openButton->setObjectName(u"openButton"_qs);
    m_openButton->setCursor(Qt::PointingHandCursor);
    zone->addWidget(m_openButton, 0, Qt::AlignHCenter);
    zone->addStretch(1);
    outer->addLayout(zone, 1);
    m_bannerSlot = new QHBoxLayout;
    m_bannerSlot->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(m_bannerSlot);
    outer->addWidget(buildBottomBar());
}

QWidget *RARChooseView::buildBottomBar()
{
    auto *bar = new QWidget(this);
    bar->setObjectName(u"bottomBar"_qs);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    m_settingsButton = flatButton(u"\u2699"_qs, bar);
    m_settingsButton->setObjectName(u"settingsButton"_qs);
    row->addWidget(m_settingsButton);
    row->addStretch(1);
    m_reviewButton = flatButton(u"\u2605"_qs, bar);
    m_reviewButton->setObjectName(u"reviewButton"_qs);
    row->addWidget(m_reviewButton);
    m_commentLabel = new QLabel(bar);
    m_commentLabel->setObjectName(u"commentLabel"_qs);
    row->addWidget(m_commentLabel);
    row->addSpacing(10);
    m_promotionButton = flatButton(QString(), bar);
    m_promotionButton->setObjectName(u"promotionButton"_qs);
    row->addWidget(m_promotionButton);
    return bar;
}

void RARChooseView::setBannerButton(QWidget *banner)
{
    if (m_banner == banner)
        return;
    delete m_banner;
    m_banner = banner;
    if (banner)
        m_bannerSlot->addWidget(banner, 0, Qt::AlignHCenter);
}

QStringList RARChooseView::localPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}

void RARChooseView::dragEnterEvent(QDragEnterEvent *event)
{
    if (localPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setDragHovered(true);
}

void RARChooseView::dragLeaveEvent(QDragLeaveEvent *event)
{
    setDragHovered(false);
    QWidget::dragLeaveEvent(event);
}

bool RARChooseView::isOwnDrag(const QDropEvent *event) const
{
    const QObject *source = event->source();
    for (; source; source = source->parent()) {
        if (source == this)
            return true;
    }
    return false;
}

void RARChooseView::dropEvent(QDropEvent *event)
{
    setDragHovered(false);
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (isOwnDrag(event))
        return;
    const QStringList paths = localPaths(event->mimeData());
    if (!paths.isEmpty() && m_handler)
        m_handler(paths);
}

void RARChooseView::setDragHovered(bool hovered)
{
    if (m_dragHovered == hovered)
        return;
    m_dragHovered = hovered;
    update();
}

QRectF RARChooseView::dropZone() const
{
    return QRectF(layout()->itemAt(0)->geometry()).adjusted(1, 1, -1, -1);
}

void RARChooseView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath zone;
    zone.addRoundedRect(dropZone(), 14, 14);
    p.fillPath(zone, QColor(255, 255, 255, m_dragHovered ? 70 : 22));
    QPen pen(QColor(255, 255, 255, m_dragHovered ? 235 : 150), 2.0, Qt::DashLine);
    pen.setDashPattern({5.0, 4.0});
    p.setPen(pen);
    p.drawPath(zone);
}
