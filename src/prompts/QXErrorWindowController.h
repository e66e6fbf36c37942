#pragma once

#include "QXPromptWindowController.h"

// Tells the user that an archive, or one entry of it, could not be
// extracted. Confirming only lets the waiting worker go on.
class QXErrorWindowController : public QXPromptWindowController {
    Q_OBJECT
public:
    explicit QXErrorWindowController(QWidget *parent);

    QLabel *errorLabel() { return infoLabel(); }

    // Shows a valid text unchanged; anything else leaves the label as it was.
    void setErrorInfo(const QString &text);
    void sureAction();

protected:
    void windowDidLoad(QVBoxLayout *content) override;
    // Escape and the close button acknowledge the error like OK.
    void dismissAction() override { sureAction(); }
    QString iconName() const override { return u"prompt_error"_qs; }
};
