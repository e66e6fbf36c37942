#include "QXDescWindowController.h"

#include "support/Localized.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

constexpr int BadgeSize = 24;

QString boldLead(const QString &title, const QString &text)
{
    const QString body = u"<div style=\"line-height: 125%;\">%1</div>"_qs.arg(text.toHtmlEscaped());
    if (title.isEmpty())
        return body;
    return u"<div style=\"margin-bottom: 2px;\"><b>%1</b></div>%2"_qs.arg(title.toHtmlEscaped(), body);
}

QFont scaledFont(const QFont &base, qreal factor, bool bold)
{
    QFont font(base);
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setBold(bold);
    return font;
}

} // namespace

QXDescWindowController::QXDescWindowController(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    //% "How to Use Quillbox"
    setWindowTitle(localizedString("desc_window_title"));
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(28, 24, 28, 20);
    page->setSpacing(10);
    buildHeader(page);

    //% "Three ways to open an archive"
    addSection(page, localizedString("desc_ways_title"));
    addStep(u"1"_qs,
            //% "Drop it on the window"
            localizedString("desc_way_drop_title"),
            //% "Drag one or more archives from your file manager onto the Quillbox window."
            localizedString("desc_way_drop"));
    addStep(u"2"_qs,
            //% "Pick it in the Open dialog"
            localizedString("desc_way_open_title"),
            //% "Click Open Archive in the window, or choose Open from the menu, and select as many archives as you like."
            localizedString("desc_way_open"));
    addStep(u"3"_qs,
            //% "Open it with Quillbox"
            localizedString("desc_way_openwith_title"),
            //% "In your file manager, right-click an archive and choose Open With, then Quillbox."
            localizedString("desc_way_openwith"));

    //% "Where the files go"
    addSection(page, localizedString("desc_dest_title"));
    //% "Each archive is extracted next to itself unless you pick the desktop or a folder of your own in Preferences. Nothing already there is overwritten. Preferences also decide whether the files are shown when an archive is done and whether Quillbox quits after the last one."
    addStep(QString(), QString(), localizedString("desc_dest_text"));

    //% "When Quillbox asks"
    addSection(page, localizedString("desc_prompts_title"));
    addStep(u"?"_qs,
            //% "Password"
            localizedString("desc_prompt_password_title"),
            //% "A protected archive asks for its password before anything is extracted."
            localizedString("desc_prompt_password"));
    addStep(u"A"_qs,
            //% "File-name encoding"
            localizedString("desc_prompt_encoding_title"),
            //% "When the names inside an archive could be read more than one way, choose the encoding whose preview looks right."
            localizedString("desc_prompt_encoding"));
    addStep(u"!"_qs,
            //% "Errors"
            localizedString("desc_prompt_error_title"),
            //% "If an archive cannot be extracted, Quillbox says why and removes what was half done."
            localizedString("desc_prompt_error"));

    page->addSpacing(8);
    auto *buttons = new QDialogButtonBox(this);
    //% "Got It"
    QPushButton *close = buttons->addButton(localizedString("desc_close"),
                                            QDialogButtonBox::AcceptRole);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    page->addWidget(buttons);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    setFixedWidth(WindowWidth);
    setFixedHeight(page->totalHeightForWidth(WindowWidth));
}

void QXDescWindowController::orderFront()
{
    show();
    raise();
}

void QXDescWindowController::buildHeader(QVBoxLayout *page)
{
    auto *header = new QHBoxLayout;
    header->setSpacing(16);
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull()) {
        auto *image = new QLabel(this);
        image->setPixmap(icon.pixmap(64, 64));
        image->setFixedSize(64, 64);
        header->addWidget(image, 0, Qt::AlignTop);
    }
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    //% "Welcome to Quillbox"
    auto *headline = new QLabel(localizedString("desc_headline"), this);
    headline->setFont(scaledFont(font(), 1.6, true));
    //% "Archives in, files out: one drop is all it takes."
    auto *subtitle = new QLabel(localizedString("desc_subtitle"), this);
    subtitle->setWordWrap(true);
    subtitle->setForegroundRole(QPalette::PlaceholderText);
    titles->addStretch();
    titles->addWidget(headline);
    titles->addWidget(subtitle);
    titles->addStretch();
    header->addLayout(titles, 1);
    page->addLayout(header);
    page->addSpacing(6);
}

void QXDescWindowController::addSection(QVBoxLayout *page, const QString &title)
{
    page->addSpacing(8);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    page->addWidget(line);
    auto *label = new QLabel(title, this);
    label->setFont(scaledFont(font(), 1.15, true));
    page->addWidget(label);
    m_section = new QGridLayout;
    m_section->setHorizontalSpacing(12);
    m_section->setVerticalSpacing(10);
    m_section->setColumnMinimumWidth(0, BadgeSize);
    m_section->setColumnStretch(1, 1);
    page->addLayout(m_section);
}

void QXDescWindowController::addStep(const QString &badge, const QString &title,
                                     const QString &text)
{
    const int row = m_section->rowCount();
    if (badge.isEmpty()) {
        m_section->addWidget(makeText(title, text), row, 0, 1, 2);
        return;
    }
    m_section->addWidget(makeBadge(badge), row, 0, Qt::AlignTop);
    m_section->addWidget(makeText(title, text), row, 1);
}

QLabel *QXDescWindowController::makeBadge(const QString &text)
{
    auto *badge = new QLabel(text, this);
    badge->setFixedSize(BadgeSize, BadgeSize);
    badge->setAlignment(Qt::AlignCenter);
    badge->setFont(scaledFont(font(), 0.95, true));
    const QPalette colours = palette();
    badge->setStyleSheet(u"QLabel { background: %1; color: %2; border-radius: %3px; }"_qs.arg(
        colours.color(QPalette::Highlight).name(), colours.color(QPalette::HighlightedText).name(),
        QString::number(BadgeSize / 2)));
    return badge;
}

QLabel *QXDescWindowController::makeText(const QString &title, const QString &text)
{
    auto *label = new QLabel(boldLead(title, text), this);
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}
