#pragma once

#include "app/QXBannerInfo.h"

#include <QAbstractButton>
#include <QList>
#include <QIcon>
#include <QPointer>

#include <QTimer>

class QPainter;

// The promotion banner: shows one companion product at a time, moves on to
// the next every few seconds, holds still with a highlighted image while the
// pointer rests on it, and opens the shown product's page when clicked.
class QXBannerButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit QXBannerButton(QWidget *parent = nullptr);
    ~QXBannerButton() override;

    QList<QXBannerInfo> &infos() { return m_infos; }
    QTimer *timer() const { return m_timer; }
    qint64 selectIndex() const { return m_selectIndex; }
    // Out-of-range and negative indexes give the first entry.
    void setSelectIndex(qint64 index);

    // Starts (or restarts) the rotation; a single entry never rotates.
    void addTimer();
    void removeTimer();
    void startTimerAction();
    void bannerButtonClickAction();

    // Seconds between two entries; 3 unless a test wants it quicker.
    double rotationInterval() const { return m_interval; }
    void setRotationInterval(double seconds) { m_interval = seconds; }

    // The name of the image on show ("miravel", "miravel_h", ...).
    QString currentImageName() const { return m_imageName; }
    QIcon currentImage() const { return m_image; }
    // A null icon when the resources hold no image of that name.
    static QIcon imageNamed(const QString &name);

    QSize sizeHint() const override;

    // The words drawn over every entry's image.
    static QString tagline();
    static QString buttonTitle();

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void showImage(const QString &name);
    void paintTexts(QPainter &painter) const;
    QXBannerInfo currentInfo() const;

    QList<QXBannerInfo> m_infos;
    QPointer<QTimer> m_timer;
    qint64 m_selectIndex = 0;
    double m_interval = 3.0;
    QString m_imageName;
    QIcon m_image;
};
