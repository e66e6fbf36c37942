#include "QXErrorWindowController.h"

#include "support/Localized.h"
#include "support/StringExpand.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

QXErrorWindowController::QXErrorWindowController(QWidget *parent)
    : QXPromptWindowController(parent)
{
}

void QXErrorWindowController::windowDidLoad(QVBoxLayout *)
{
    //% "Extraction Failed"
    window()->setWindowTitle(localizedString("error_title"));
    //% "The archive could not be extracted."
    infoLabel()->setText(localizedString("error_info"));
    connect(sureButton(), &QPushButton::clicked, this, &QXErrorWindowController::sureAction);
}

void QXErrorWindowController::setErrorInfo(const QString &text)
{
    if (!isValid(text))
        return;
    errorLabel()->setText(text);
    fitHeight();
}

void QXErrorWindowController::sureAction()
{
    answer([](RARItem &) {});
}
