#pragma once

#include "app/schedule/ReviewScheduler.h"

#include <QMessageBox>

class QPushButton;
class QWidget;

// The question that invites the user to review Quillbox: a truly modal box
// with "review now" as the default and "later" on Escape or close.
class QXReviewPrompt : public QMessageBox {
    Q_OBJECT
public:
    explicit QXReviewPrompt(QWidget *parent = nullptr);

    // Shows the question and waits for the answer.
    static ReviewScheduler::Answer ask(QWidget *parent);
    ReviewScheduler::Answer answer() const;

    QPushButton *goButton() const { return m_go; }
    QPushButton *nextButton() const { return m_next; }

private:
    QPushButton *m_go = nullptr;
    QPushButton *m_next = nullptr;
};
