#include "QXReviewPrompt.h"

#include "support/Localized.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr int MessageWidth = 330;

} // namespace

QXReviewPrompt::QXReviewPrompt(QWidget *parent)
    : QMessageBox(parent)
{
    //% "Enjoying Quillbox?"
    setWindowTitle(localizedString("tip"));
    setText(u"<b>%1</b>"_qs.arg(localizedString("tip").toHtmlEscaped()));
    //% "If Quillbox saves you time, a short review helps others find it. It only takes a minute."
    setInformativeText(localizedString("comment_info"));
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        setIconPixmap(icon.pixmap(64, 64));
    else
        setIcon(QMessageBox::Question);
    //% "Write a Review"
    m_go = addButton(localizedString("comment_go"), QMessageBox::AcceptRole);
    //% "Not Now"
    m_next = addButton(localizedString("comment_next"), QMessageBox::RejectRole);
    setDefaultButton(m_go);
    setEscapeButton(m_next);
    // Room for the question to read as two or three lines, not a narrow column.
    if (auto *info = findChild<QLabel *>(u"qt_msgbox_informativelabel"_qs))
        info->setMinimumWidth(MessageWidth);
}

ReviewScheduler::Answer QXReviewPrompt::answer() const
{
    return clickedButton() == m_go ? ReviewScheduler::Answer::Review
                                   : ReviewScheduler::Answer::Postpone;
}

ReviewScheduler::Answer QXReviewPrompt::ask(QWidget *parent)
{
    QXReviewPrompt prompt(parent);
    prompt.setWindowModality(Qt::ApplicationModal);
    prompt.exec();
    return prompt.answer();
}
