#pragma once

#include "app/schedule/ReviewScheduler.h"

class QUrl;
class QWidget;

// The web pages the menus and the window's buttons lead to (support, the
// companion products, the promotion page and the review page) and the review
// question, which the schedule asks on the main window.
class ReviewPages {
public:
    explicit ReviewPages(QWidget *window);

    void openSupportPage();
    void openVantorPage();
    void openMiravelPage();
    void openPhoneAppPage();

    void readyComment() { m_review.readyComment(); }
    void goComment() { m_review.goComment(); }
    void goCommentAction() { m_review.goCommentAction(); }

    ReviewScheduler &reviewScheduler() { return m_review; }

    static QUrl supportPageUrl();

private:
    static void openPage(const QUrl &url);

    ReviewScheduler m_review;
};
