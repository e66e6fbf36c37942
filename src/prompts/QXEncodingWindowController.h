#pragma once

#include "QXPromptWindowController.h"

class QXEncodingPopUp;

// Asks in which text encoding an archive's entry names read correctly.
class QXEncodingWindowController : public QXPromptWindowController {
    Q_OBJECT
public:
    explicit QXEncodingWindowController(QWidget *parent);

    QXEncodingPopUp *encodingPopUp();
    QPushButton *cancelButton();

    void setItem(std::shared_ptr<RARItem> item) override;

    // Choosing an entry only changes the selection.
    void selectEncoding() {}
    // Stores the selected encoding; with nothing to select it counts as
    // Cancel, so no encoding number that means nothing reaches the engine.
    void sureAction();
    // Keeps whatever encoding the item had chosen before.
    void cancelAction();

protected:
    void windowDidLoad(QVBoxLayout *content) override;
    void dismissAction() override { cancelAction(); }
    QString iconName() const override { return u"prompt_encoding"_qs; }

private:
    void updateSureButton();

    QXEncodingPopUp *m_encodingPopUp = nullptr;
    QPushButton *m_cancelButton = nullptr;
};
