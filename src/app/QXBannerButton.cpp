#include "QXBannerButton.h"

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
