#include "RARItemViewController.h"

#include "QXCancelButton.h"
#include "QXImages.h"
#include "extraction/RARItem.h"
#include "platform/files/PathComponents.h"
#include "support/Localized.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeDatabase>
#include <QProgressBar>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {

constexpr int progressSteps = 1000;
constexpr int iconSide = 48;

// White on the window's gradient is hard to read where it turns pale, so the
// text carries a soft dark shadow.
void addTextShadow(QWidget *widget)
{
    auto *shadow = new QGraphicsDropShadowEffect(widget);
    shadow->setBlurRadius(6);
    shadow->setOffset(0, 1);
    shadow->setColor(QColor(0, 0, 0, 140));
    widget->setGraphicsEffect(shadow);
}

QProgressBar *makeProgressBar(QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setRange(0, progressSteps);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFixedHeight(6);
    bar->setStyleSheet(u"QProgressBar { border: none; border-radius: 3px;"
                       "  background: rgba(255, 255, 255, 70); }"
                       "QProgressBar::chunk { border-radius: 3px; background: white; }"_qs);
    return bar;
}

} // namespace

RARItemViewController::RARItemViewController(QObject *parent) : QObject(parent) {}

RARItemViewController::~RARItemViewController()
{
    if (!m_view)
        return;
    if (m_view->thread() == QThread::currentThread())
        delete m_view.data();
    else
        m_view->deleteLater();
}

QWidget *RARItemViewController::view()
{
    if (!m_view)
        awakeFromNib();
    return m_view;
}

void RARItemViewController::awakeFromNib()
{
    auto *row = new QWidget;
    row->setObjectName(u"RARItemViewController"_qs);
    row->setFixedHeight(rowHeight);
    row->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_view = row;

    m_iconImageView = new QLabel(row);
    m_iconImageView->setFixedSize(iconSide, iconSide);
    m_iconImageView->setPixmap(archiveIcon().pixmap(QSize(iconSide, iconSide), row->devicePixelRatioF()));

    m_filenameTextField = new QLabel(row);
    m_filenameTextField->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QPalette palette = m_filenameTextField->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    m_filenameTextField->setPalette(palette);
    addTextShadow(m_filenameTextField);
    m_filenameTextField->installEventFilter(this);

    m_progressIndicator = makeProgressBar(row);
    const std::shared_ptr<RARItem> shown = item();
    //% "Unarchiving %1"
    setFullText(localizedString("unarchiving").arg(shown ? shown->filename() : QString()));
    m_cancelButton = new QXCancelButton(row);
    connect(m_cancelButton, &QAbstractButton::clicked, this, &RARItemViewController::cancelAction);

    auto *column = new QVBoxLayout;
    column->setSpacing(7);
    column->addStretch();
    column->addWidget(m_filenameTextField);
    column->addWidget(m_progressIndicator);
    column->addStretch();

    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 0, 12, 0);
    layout->setSpacing(12);
    layout->addWidget(m_iconImageView, 0, Qt::AlignVCenter);
    layout->addLayout(column, 1);
    layout->addWidget(m_cancelButton, 0, Qt::AlignVCenter);
}

QIcon RARItemViewController::archiveIcon() const
{
    QIcon fallback = QXImages::named(u"archive"_qs);
    fallback = QIcon::fromTheme(u"package-x-generic"_qs, fallback);
    const std::shared_ptr<RARItem> shown = item();
    if (!shown)
        return fallback;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(shown->path(), QMimeDatabase::MatchExtension);
    return QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fallback));
}

void RARItemViewController::setProgress(double fraction)
{
    if (!m_progressIndicator)
        view();
    if (std::isnan(fraction))
        return;
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    m_progressIndicator->setValue(int(std::lround(clamped * progressSteps)));
}

// The name and the folder the user will find the result by.
void RARItemViewController::showCopy(const QString &finalPath)
{
    view();
    const QString folder = lastPathComponent(parentFolderOf(finalPath));
    //% "Copying “%1” to “%2”"
    setFullText(localizedString("copying").arg(lastPathComponent(finalPath),
                                                folder.isEmpty() ? parentFolderOf(finalPath) : folder));
    m_progressIndicator->setValue(m_progressIndicator->minimum());
}

void RARItemViewController::setFullText(const QString &text)
{
    m_fullText = text;
    m_filenameTextField->setToolTip(text);
    m_progressIndicator->setAccessibleName(text);
    m_view->setAccessibleName(text);
    // A label not shown yet has no width of its own; it is elided once laid out.
    if (m_filenameTextField->isVisible())
        elideFilename();
    else
        m_filenameTextField->setText(text);
}

double RARItemViewController::progress() const
{
    if (!m_progressIndicator)
        return 0.0;
    return double(m_progressIndicator->value() - m_progressIndicator->minimum())
        / double(m_progressIndicator->maximum() - m_progressIndicator->minimum());
}

void RARItemViewController::cancelAction()
{
    if (m_cancelButton)
        m_cancelButton->setEnabled(false);
    if (m_cancelled)
        return;
    m_cancelled = true;
    // The item owns its row, so it is there whenever the row is; a handler
    // is never handed an empty item.
    if (auto shown = item(); shown && m_cancelHandler)
        m_cancelHandler(std::move(shown));
}

bool RARItemViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_filenameTextField && event->type() == QEvent::Resize)
        elideFilename();
    return QObject::eventFilter(watched, event);
}

void RARItemViewController::elideFilename()
{
    const int width = m_filenameTextField->contentsRect().width();
    const QString shown = m_filenameTextField->fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, width);
    if (shown != m_filenameTextField->text())
        m_filenameTextField->setText(shown);
}
