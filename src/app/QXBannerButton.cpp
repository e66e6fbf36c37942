#include "QXBannerButton.h"

#include "support/Localized.h"
#include "support/TimerExpand.h"
#include "window/QXImages.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <QUrl>

namespace {

const QSize BannerSize(320, 64);

// Where the artwork leaves room for words, in its own 320 x 64 units: the
// tagline under the product's name, and the button, whose highlighted image
// puts an arrow at its right end.
const QRectF TaglineArea(66, 36, 154, 15);
const QRectF ButtonArea(226, 19, 82, 26);
const QRectF HighlightedButtonArea(226, 19, 72, 26);
const QColor TaglineColour(255, 255, 255, 204);
const QColor ButtonColour(0x19, 0x54, 0x6B);

QFont sizedFont(QFont font, int pixels, bool bold)
{
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void drawFitted(QPainter &painter, const QRectF &area, Qt::Alignment alignment, const QString &text)
{
    const QString shown = painter.fontMetrics().elidedText(text, Qt::ElideRight, int(area.width()));
    painter.drawText(area, alignment | Qt::AlignVCenter, shown);
}

} // namespace

QXBannerButton::QXBannerButton(QWidget *parent)
    : QAbstractButton(parent)
{
    m_infos.append(QXBannerInfo::vantor());
    m_infos.append(QXBannerInfo::miravel());
    setSelectIndex(0);
    setCursor(Qt::PointingHandCursor);
    // Pointer only, like the window's other image buttons: it must not take
    // the focus when the window opens.
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::clicked, this, &QXBannerButton::bannerButtonClickAction);
    addTimer();
}

QXBannerButton::~QXBannerButton() = default;

QIcon QXBannerButton::imageNamed(const QString &name)
{
    return QXImages::named(name);
}

void QXBannerButton::setSelectIndex(qint64 index)
{
    // Compared unsigned, a negative index is out of range as well.
    m_selectIndex = static_cast<quint64>(index) < static_cast<quint64>(m_infos.size()) ? index : 0;
    showImage(currentInfo().imageName());
}

QXBannerInfo QXBannerButton::currentInfo() const
{
    if (m_selectIndex < 0 || m_selectIndex >= m_infos.size())
        return QXBannerInfo();
    return m_infos.at(m_selectIndex);
}

void QXBannerButton::showImage(const QString &name)
{
    m_imageName = name;
    m_image = name.isEmpty() ? QIcon() : imageNamed(name);
    update();
}

void QXBannerButton::addTimer()
{
    if (m_infos.size() < 2)
        return;
    removeTimer();
    QPointer<QXBannerButton> weakSelf(this);
    QTimer *replaced = m_timer;
    m_timer = scheduled(
        m_interval,
        [weakSelf](QTimer *) {
            if (weakSelf)
                weakSelf->startTimerAction();
        },
        true, this);
    if (replaced)
        replaced->deleteLater();
}

void QXBannerButton::removeTimer()
{
    cancelTimer(m_timer);
}

void QXBannerButton::startTimerAction()
{
    setSelectIndex(m_selectIndex + 1);
}

void QXBannerButton::bannerButtonClickAction()
{
    const QXBannerInfo info = currentInfo();
    const QUrl url(info.url());
    if (url.isValid() && !url.isEmpty())
        QDesktopServices::openUrl(url);
}

QSize QXBannerButton::sizeHint() const
{
    return BannerSize;
}

void QXBannerButton::paintEvent(QPaintEvent *)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSize shown = m_image.actualSize(size());
    const QRect target = QStyle::alignedRect(layoutDirection(), Qt::AlignCenter, shown, rect());
    m_image.paint(&painter, target, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
    painter.translate(target.topLeft());
    painter.scale(qreal(target.width()) / BannerSize.width(), qreal(target.height()) / BannerSize.height());
    paintTexts(painter);
}

QString QXBannerButton::tagline()
{
    //% "From the Quillbox team"
    return localizedString("banner_tagline");
}

QString QXBannerButton::buttonTitle()
{
    //% "Get it"
    return localizedString("banner_get");
}

// The words of the banner are the user's language, so they are drawn here
// rather than into the images.
void QXBannerButton::paintTexts(QPainter &painter) const
{
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(sizedFont(font(), 12, false));
    painter.setPen(TaglineColour);
    drawFitted(painter, TaglineArea, Qt::AlignLeft, tagline());
    const bool highlighted = m_imageName == currentInfo().highlightedImageName();
    painter.setFont(sizedFont(font(), 13, true));
    painter.setPen(ButtonColour);
    drawFitted(painter, highlighted ? HighlightedButtonArea : ButtonArea, Qt::AlignHCenter, buttonTitle());
}

void QXBannerButton::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    if (!isEnabled())
        return;
    showImage(currentInfo().highlightedImageName());
    removeTimer();
}

void QXBannerButton::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    if (!isEnabled())
        return;
    showImage(currentInfo().imageName());
    addTimer();
}
