#include "ReviewScheduler.h"

#include "platform/settings/UserDefaults.h"
#include "platform/settings/SettingsKeys.h"
#include "support/DateExpand.h"
#include "support/StringExpand.h"

#include <QDesktopServices>
#include <QRandomGenerator>

namespace {

UserDefaults &store()
{
    return UserDefaults::standardUserDefaults();
}

} // namespace

ReviewScheduler::ReviewScheduler()
    : m_clock([] { return now(); })
    , m_random([] { return QRandomGenerator::system()->generate(); })
    , m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
}

QUrl ReviewScheduler::reviewPageUrl()
{
    return QUrl(u"https://quillbox.app/review"_qs);
}

QString ReviewScheduler::dayPattern()
{
    return u"yyyy-MM-dd"_qs;
}

void ReviewScheduler::readyComment()
{
    // The question is modal and runs a nested event loop; an extraction that
    // ends meanwhile must not stack a second question on top of it.
    if (m_asking)
        return;
    if (store().integerForKey(SettingsKeys::Comment) == CommentReviewed)
        return;
    if (store().boolForKey(SettingsKeys::First)) {
        if (!drawSucceeds())
            return;
        if (isToday())
            return;
    } else {
        // The very first success asks at once; the day is recorded so the
        // rest of today stays quiet.
        isToday();
        store().setBool(true, SettingsKeys::First);
    }
    ask();
}

bool ReviewScheduler::drawSucceeds() const
{
    return m_random && m_random() % 3 == 1;
}

bool ReviewScheduler::isToday()
{
    const QDateTime today = m_clock ? m_clock() : now();
    const QString stored = store().stringForKey(SettingsKeys::Day);
    if (!stored.isNull()) {
        const QDateTime day = convertToDateWithFormat(stored, dayPattern());
        if (day.isValid() && day.toLocalTime().date() == today.toLocalTime().date())
            return true;
    }
    store().setString(stringWithDateFormat(today, dayPattern()), SettingsKeys::Day);
    return false;
}

void ReviewScheduler::ask()
{
    if (!m_ask)
        return;
    m_asking = true;
    const Answer answer = m_ask();
    m_asking = false;
    if (answer == Answer::Review) {
        store().setInteger(CommentReviewed, SettingsKeys::Comment);
        goComment();
    } else {
        store().setInteger(CommentPostponed, SettingsKeys::Comment);
    }
}

void ReviewScheduler::goComment()
{
    // No in-app review service exists on this desktop: the page is the review.
    if (m_openUrl)
        m_openUrl(reviewPageUrl());
}

void ReviewScheduler::goCommentAction()
{
    store().setInteger(CommentReviewed, SettingsKeys::Comment);
    if (m_openUrl)
        m_openUrl(reviewPageUrl());
}
