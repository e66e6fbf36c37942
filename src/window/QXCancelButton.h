#pragma once

#include <QAbstractButton>
#include <QIcon>

// The image button that cancels one row: its images follow the mouse
// (normal, hover while an enabled button is under it, press while held) and
// it shows a border only while the mouse is inside.
class QXCancelButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Image { Normal, Hover, Press };

    explicit QXCancelButton(QWidget *parent = nullptr);

    Image currentImage() const { return m_current; }
    // The resource name of the image shown now ("cancel_normal", ...).
    QString currentImageName() const;
    bool showsBorder() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void setImage(Image image);
    void restAfterPress();
    const QIcon &icon(Image image) const;

    QIcon m_normal;
    QIcon m_hover;
    QIcon m_press;
    Image m_current = Image::Normal;
    bool m_mouseInside = false;
    bool m_keyboardFocus = false;
};
