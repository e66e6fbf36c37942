#include "QXPasswordWindowController.h"

#include "extraction/RARItem.h"
#include "support/Localized.h"
#include "support/StringExpand.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

QXPasswordWindowController::QXPasswordWindowController(QWidget *parent)
    : QXPromptWindowController(parent)
{
}

QLineEdit *QXPasswordWindowController::passwordTextField()
{
    window();
    return m_passwordTextField;
}

QPushButton *QXPasswordWindowController::cancelButton()
{
    window();
    return m_cancelButton;
}

void QXPasswordWindowController::windowDidLoad(QVBoxLayout *content)
{
    //% "Password Required"
    window()->setWindowTitle(localizedString("psd_title"));
    m_passwordTextField = new QLineEdit(window());
    m_passwordTextField->setEchoMode(QLineEdit::Password);
    m_passwordTextField->setClearButtonEnabled(false);
    m_passwordTextField->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData
                                             | Qt::ImhNoAutoUppercase | Qt::ImhNoPredictiveText);
    content->addWidget(m_passwordTextField);
    m_passwordTextField->setFocus();

    m_cancelButton = addCancelButton();
    connect(m_cancelButton, &QPushButton::clicked, this, &QXPasswordWindowController::cancelAction);
    connect(sureButton(), &QPushButton::clicked, this, &QXPasswordWindowController::sureAction);
    connect(m_passwordTextField, &QLineEdit::textChanged, this, &QXPasswordWindowController::updateSureButton);
    //% "This archive is protected by a password. Enter the password to extract it."
    infoLabel()->setText(localizedString("psd_info"));
    updateSureButton();
}

void QXPasswordWindowController::setItem(std::shared_ptr<RARItem> item)
{
    QXPromptWindowController::setItem(std::move(item));
    infoLabel()->setText(localizedString("psd_info"));
    fitHeight();
    // Every request starts with the typing in the field, even when a button
    // had the focus when the last one was answered.
    m_passwordTextField->setFocus();
}

void QXPasswordWindowController::updateSureButton()
{
    sureButton()->setEnabled(isValid(m_passwordTextField->text()));
}

void QXPasswordWindowController::sureAction()
{
    if (!isValid(passwordTextField()->text()))
        return;
    answer([this](RARItem &item) { item.setPassword(m_passwordTextField->text()); });
}

void QXPasswordWindowController::cancelAction()
{
    answer([](RARItem &) {});
}
