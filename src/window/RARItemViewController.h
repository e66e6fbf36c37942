#pragma once

#include "extraction/ItemRow.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QWidget;
class QXCancelButton;
class RARItem;

// The row of one archive in the main window: icon, "Unarchiving name" line,
// progress bar and cancel button. The item owns its row; the row refers
// back to the item and to the controller without owning either.
class RARItemViewController : public QObject, public ItemRow {
    Q_OBJECT
public:
    using CancelHandler = std::function<void(std::shared_ptr<RARItem>)>;

    static constexpr int rowHeight = 66;

    explicit RARItemViewController(QObject *parent = nullptr);
    ~RARItemViewController() override;

    // Built from the item on first read, so controller, item and
    // cancelHandler are set before it.
    QWidget *view();
    bool isViewLoaded() const { return !m_view.isNull(); }

    QLabel *iconImageView() const { return m_iconImageView; }
    QLabel *filenameTextField() const { return m_filenameTextField; }
    QProgressBar *progressIndicator() const { return m_progressIndicator; }
    QXCancelButton *cancelButton() const { return m_cancelButton; }

    ItemController *controller() const override { return m_controller; }
    void setController(ItemController *controller) { m_controller = controller; }
    std::shared_ptr<RARItem> item() const { return m_item.lock(); }
    void setItem(std::weak_ptr<RARItem> item) { m_item = std::move(item); }
    CancelHandler cancelHandler() const { return m_cancelHandler; }
    void setCancelHandler(CancelHandler handler) { m_cancelHandler = std::move(handler); }

    // A fraction from 0 to 1; main thread only. Values outside are clamped,
    // a value that is not a number leaves the bar where it is.
    void setProgress(double fraction) override;
    // The line names the result and the folder it is copied to.
    void showCopy(const QString &finalPath) override;
    // The fraction the bar shows now.
    double progress() const;

    // Cancels the row's item once; later presses do nothing.
    void cancelAction();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void awakeFromNib();
    QIcon archiveIcon() const;
    void setFullText(const QString &text);
    void elideFilename();

    QPointer<QWidget> m_view;
    QLabel *m_iconImageView = nullptr;
    QLabel *m_filenameTextField = nullptr;
    QProgressBar *m_progressIndicator = nullptr;
    QXCancelButton *m_cancelButton = nullptr;
    QString m_fullText;

    ItemController *m_controller = nullptr;
    std::weak_ptr<RARItem> m_item;
    CancelHandler m_cancelHandler;
    bool m_cancelled = false;
};
