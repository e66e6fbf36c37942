#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

class QBoxLayout;
class QLabel;
class QMimeData;
class QPushButton;
class QToolButton;

// The drop area shown while no archive is listed: takes files dragged from a
// file manager and hands their paths on, in the drag's order. It also carries
// the hint, the open button and the small buttons along its lower edge; what
// they do is decided by the view controller.
class RARChooseView : public QWidget {
    Q_OBJECT
public:
    using ChooseFilesHandler = std::function<void(const QStringList &paths)>;

    explicit RARChooseView(QWidget *parent = nullptr);

    void setChooseFilesHandler(ChooseFilesHandler handler) { m_handler = std::move(handler); }
    const ChooseFilesHandler &chooseFilesHandler() const { return m_handler; }

    // The local file paths a drag carries, in its order; other URLs are left out.
    static QStringList localPaths(const QMimeData *data);

    QLabel *tipLabel() const { return m_tipLabel; }
    QLabel *commentLabel() const { return m_commentLabel; }
    QPushButton *openButton() const { return m_openButton; }
    QToolButton *settingsButton() const { return m_settingsButton; }
    QToolButton *reviewButton() const { return m_reviewButton; }
    QToolButton *promotionButton() const { return m_promotionButton; }
    // Places the promotion banner in the lower edge; the view takes it over.
    void setBannerButton(QWidget *banner);
    QWidget *bannerButton() const { return m_banner; }

    bool isDragHovered() const { return m_dragHovered; }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void buildFace();
    QWidget *buildBottomBar();
    QRectF dropZone() const;
    void setDragHovered(bool hovered);
    bool isOwnDrag(const QDropEvent *event) const;

    ChooseFilesHandler m_handler;
    QLabel *m_tipLabel = nullptr;
    QLabel *m_commentLabel = nullptr;
    QPushButton *m_openButton = nullptr;
    QToolButton *m_settingsButton = nullptr;
    QToolButton *m_reviewButton = nullptr;
    QToolButton *m_promotionButton = nullptr;
    QBoxLayout *m_bannerSlot = nullptr;
    QPointer<QWidget> m_banner;
    bool m_dragHovered = false;
};
