#pragma once

#include <QList>
#include <QPointer>
#include <QScrollArea>

// The stack of item rows: each row keeps its distance to the lower edge while
// the window changes size, and the stack scrolls when it is taller than the
// room the screen leaves for it. Transparent, over the window's background.
class RARListView : public QScrollArea {
    Q_OBJECT
public:
    explicit RARListView(QWidget *parent = nullptr);

    // Takes the row into the list; it is laid out by the next setRows().
    void addRow(QWidget *row);
    // Hands the row back, hidden and without a parent (its owner deletes it).
    void takeRow(QWidget *row);
    // Lays the rows out, newest first from the bottom, one rowHeight apart.
    void setRows(const QList<QWidget *> &newestFirst, int rowHeight);
    // A scroll bar only while the rows do not all fit.
    void setScrollable(bool scrollable);

    QWidget *content() const { return m_content; }
    int contentHeight() const { return m_contentHeight; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void placeRows();

    QWidget *m_content;
    QList<QPointer<QWidget>> m_newestFirst;
    int m_rowHeight = 0;
    int m_contentHeight = 0;
};
