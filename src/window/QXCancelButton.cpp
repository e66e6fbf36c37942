#include "QXCancelButton.h"

#include "QXImages.h"
#include "support/Localized.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QPainter>

namespace {
constexpr int imageSide = 22;
constexpr int padding = 4;
} // namespace

QXCancelButton::QXCancelButton(QWidget *parent)
    : QAbstractButton(parent),
      m_normal(QXImages::named(u"cancel_normal"_qs)),
      m_hover(QXImages::named(u"cancel_hover"_qs)),
      m_press(QXImages::named(u"cancel_press"_qs))
{
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    //% "Cancel"
    const QString title = localizedString("cancel");
    setToolTip(title);
    setAccessibleName(title);
    connect(this, &QAbstractButton::pressed, this, [this] { setImage(Image::Press); });
    connect(this, &QAbstractButton::released, this, &QXCancelButton::restAfterPress);
}

QString QXCancelButton::currentImageName() const
{
    switch (m_current) {
    case Image::Hover:
        return u"cancel_hover"_qs;
    case Image::Press:
        return u"cancel_press"_qs;
    case Image::Normal:
        break;
    }
    return u"cancel_normal"_qs;
}

bool QXCancelButton::showsBorder() const
{
    return m_mouseInside && isEnabled();
}

QSize QXCancelButton::sizeHint() const
{
    return QSize(imageSide + 2 * padding, imageSide + 2 * padding);
}

void QXCancelButton::enterEvent(QEnterEvent *event)
{
    m_mouseInside = true;
    if (isEnabled())
        setImage(Image::Hover);
    QAbstractButton::enterEvent(event);
    update();
}

void QXCancelButton::leaveEvent(QEvent *event)
{
    m_mouseInside = false;
    setImage(Image::Normal);
    QAbstractButton::leaveEvent(event);
    update();
}

void QXCancelButton::changeEvent(QEvent *event)
{
    // A button disabled under the mouse stops looking hot at once.
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        setImage(Image::Normal);
    QAbstractButton::changeEvent(event);
}

// A ring only for focus that came from the keyboard: a window that merely
// opened with the button first in line should not look as if it were chosen.
void QXCancelButton::focusInEvent(QFocusEvent *event)
{
    const Qt::FocusReason reason = event->reason();
    m_keyboardFocus = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason
        || reason == Qt::ShortcutFocusReason;
    QAbstractButton::focusInEvent(event);
}

void QXCancelButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

void QXCancelButton::restAfterPress()
{
    setImage(m_mouseInside && isEnabled() ? Image::Hover : Image::Normal);
}

void QXCancelButton::setImage(Image image)
{
    if (m_current == image)
        return;
    m_current = image;
    update();
}

const QIcon &QXCancelButton::icon(Image image) const
{
    switch (image) {
    case Image::Hover:
        return m_hover;
    case Image::Press:
        return m_press;
    case Image::Normal:
        break;
    }
    return m_normal;
}

void QXCancelButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (showsBorder()) {
        p.setPen(QPen(QColor(255, 255, 255, 150), 1.0));
        p.setBrush(QColor(255, 255, 255, 28));
        p.drawRoundedRect(frame, 6, 6);
    } else if (hasFocus() && m_keyboardFocus && isEnabled()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(frame, 6, 6);
    }
    const QRect target((width() - imageSide) / 2, (height() - imageSide) / 2, imageSide, imageSide);
    if (!isEnabled())
        p.setOpacity(0.55);
    icon(m_current).paint(&p, target);
}
