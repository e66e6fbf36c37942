#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <functional>

// Decides when to ask the user for a review and records the answer. Kept free
// of widgets: the question itself, the clock, the random draw and the browser
// are handed in, so every path can be driven from a test.
class ReviewScheduler {
public:
    enum class Answer { Postpone, Review };

    using AskFunction = std::function<Answer()>;
    using ClockFunction = std::function<QDateTime()>;
    using RandomFunction = std::function<quint32()>;
    using OpenUrlFunction = std::function<bool(const QUrl &)>;

    // Values of the "comment" setting.
    static constexpr qint64 CommentPostponed = 1;
    static constexpr qint64 CommentReviewed = 2;

    ReviewScheduler();

    // Called after every successful extraction, on the main thread. Asks at
    // most once a calendar day, and never again once the user went to review.
    void readyComment();
    // True when "day" already names today; otherwise stores today and answers false.
    bool isToday();
    // Takes the user to the review page. Leaves "comment" alone.
    void goComment();
    // The main window's review button: never ask again, then open the page.
    void goCommentAction();

    static QUrl reviewPageUrl();
    static QString dayPattern();

    void setAsk(AskFunction ask) { m_ask = std::move(ask); }
    void setClock(ClockFunction clock) { m_clock = std::move(clock); }
    void setRandom(RandomFunction random) { m_random = std::move(random); }
    void setOpenUrl(OpenUrlFunction openUrl) { m_openUrl = std::move(openUrl); }

private:
    bool drawSucceeds() const;
    void ask();

    AskFunction m_ask;
    ClockFunction m_clock;
    RandomFunction m_random;
    OpenUrlFunction m_openUrl;
    bool m_asking = false;
};
