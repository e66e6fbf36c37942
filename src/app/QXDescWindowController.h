#pragma once

#include <QWidget>

class QGridLayout;
class QLabel;
class QVBoxLayout;

// The how-to-use window: the ways to open an archive, where the files go, and
// the questions Quillbox may ask on the way. A fixed-width, ordinary window.
class QXDescWindowController : public QWidget {
    Q_OBJECT
public:
    explicit QXDescWindowController(QWidget *parent = nullptr);

    // Shows the window and brings it to the front.
    void orderFront();

    static constexpr int WindowWidth = 560;

private:
    void buildHeader(QVBoxLayout *page);
    void addSection(QVBoxLayout *page, const QString &title);
    void addStep(const QString &badge, const QString &title, const QString &text);
    QLabel *makeBadge(const QString &text);
    QLabel *makeText(const QString &title, const QString &text);

    QGridLayout *m_section = nullptr;
};
