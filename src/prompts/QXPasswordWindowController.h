#pragma once

#include "QXPromptWindowController.h"

class QLineEdit;

// Asks for the password of an encrypted archive. The typed text is stored
// in the item exactly as typed, blanks included.
class QXPasswordWindowController : public QXPromptWindowController {
    Q_OBJECT
public:
    explicit QXPasswordWindowController(QWidget *parent);

    QLineEdit *passwordTextField();
    QPushButton *cancelButton();

    void setItem(std::shared_ptr<RARItem> item) override;

    // Does nothing while the field holds no valid text.
    void sureAction();
    // Keeps whatever password the item had.
    void cancelAction();

protected:
    void windowDidLoad(QVBoxLayout *content) override;
    void dismissAction() override { cancelAction(); }
    QString iconName() const override { return u"prompt_password"_qs; }

private:
    void updateSureButton();

    QLineEdit *m_passwordTextField = nullptr;
    QPushButton *m_cancelButton = nullptr;
};
