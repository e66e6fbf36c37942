#include "QXEncodingWindowController.h"

#include "QXEncodingPopUp.h"
#include "extraction/RARItem.h"
#include "support/Localized.h"

#include <QAbstractItemModel>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

QXEncodingWindowController::QXEncodingWindowController(QWidget *parent)
    : QXPromptWindowController(parent)
{
}

QXEncodingPopUp *QXEncodingWindowController::encodingPopUp()
{
    window();
    return m_encodingPopUp;
}

QPushButton *QXEncodingWindowController::cancelButton()
{
    window();
    return m_cancelButton;
}

void QXEncodingWindowController::windowDidLoad(QVBoxLayout *content)
{
    //% "Choose Encoding"
    window()->setWindowTitle(localizedString("encoding_title"));
    m_encodingPopUp = new QXEncodingPopUp(window());
    content->addWidget(m_encodingPopUp);
    m_encodingPopUp->setFocus();
    connect(m_encodingPopUp, &QXEncodingPopUp::activated, this, &QXEncodingWindowController::selectEncoding);
    // The pop-up is refilled for every request; Confirm is there only while
    // it has something to confirm.
    QAbstractItemModel *entries = m_encodingPopUp->model();
    connect(entries, &QAbstractItemModel::rowsInserted, this, &QXEncodingWindowController::updateSureButton);
    connect(entries, &QAbstractItemModel::rowsRemoved, this, &QXEncodingWindowController::updateSureButton);
    connect(entries, &QAbstractItemModel::modelReset, this, &QXEncodingWindowController::updateSureButton);

    m_cancelButton = addCancelButton();
    connect(m_cancelButton, &QPushButton::clicked, this, &QXEncodingWindowController::cancelAction);
    connect(sureButton(), &QPushButton::clicked, this, &QXEncodingWindowController::sureAction);
    updateSureButton();
}

void QXEncodingWindowController::setItem(std::shared_ptr<RARItem> item)
{
    const QString filename = item ? item->filename() : QString();
    QXPromptWindowController::setItem(std::move(item));
    //% "The file names in “%1” use a text encoding that could not be recognized. Choose the encoding in which they read correctly."
    infoLabel()->setText(localizedString("encoding_info").arg(filename));
    fitHeight();
    m_encodingPopUp->setFocus();
}

void QXEncodingWindowController::updateSureButton()
{
    sureButton()->setEnabled(m_encodingPopUp->count() > 0);
}

void QXEncodingWindowController::sureAction()
{
    const quint64 chosen = encodingPopUp()->selectedEncoding();
    if (chosen == 0) {
        cancelAction();
        return;
    }
    answer([chosen](RARItem &item) { item.setEncoding(chosen); });
}

void QXEncodingWindowController::cancelAction()
{
    answer([](RARItem &) {});
}
