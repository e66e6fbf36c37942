#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QDialog;
class QDialogButtonBox;
class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;
class RARItem;

// What the password, encoding and error prompts share: a window-modal dialog
// on the main window, shown with open() while an archive's worker waits, and
// the answer's way back: store it in the item, end the sheet, then release
// the worker through item -> row -> controller.
//
// setItem() begins a request, and each request releases the worker exactly
// once, whichever way the dialog is left (button, Return, Escape, or the
// window's close button). A second answer to the same request only closes
// the window: a stray release would let the next request pass unanswered.
class QXPromptWindowController : public QObject {
    Q_OBJECT
public:
    static constexpr int windowWidth = 420;

    explicit QXPromptWindowController(QWidget *parent);
    ~QXPromptWindowController() override;

    // Built on first read.
    QDialog *window();
    bool isWindowLoaded() const { return !m_window.isNull(); }

    std::shared_ptr<RARItem> item() const { return m_item.lock(); }
    virtual void setItem(std::shared_ptr<RARItem> item);
    // True from setItem() until the request has been answered.
    bool isAwaitingAnswer() const { return m_awaitingAnswer; }

    QLabel *infoLabel();
    QPushButton *sureButton();

    // Hides the window without answering anything.
    void endSheet();

protected:
    // Adds the prompt's own controls below the info text and sets its texts.
    virtual void windowDidLoad(QVBoxLayout *content) = 0;
    // Escape or the window's close button.
    virtual void dismissAction() = 0;
    virtual QString iconName() const = 0;

    QPushButton *addCancelButton();
    // Ends the sheet and, if the request is still open, stores the answer
    // and releases the worker.
    void answer(const std::function<void(RARItem &)> &store);
    // Keeps the window's fixed width and fits its height to its texts.
    void fitHeight();

private:
    void loadWindow();

    QPointer<QWidget> m_parent;
    QPointer<QDialog> m_window;
    QLabel *m_infoLabel = nullptr;
    QPushButton *m_sureButton = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    std::weak_ptr<RARItem> m_item;
    bool m_awaitingAnswer = false;
};
