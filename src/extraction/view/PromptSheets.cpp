#include "PromptSheets.h"

#include "extraction/RARItem.h"
#include "extraction/view/ControllerHost.h"
#include "extraction/view/QXFolderPanel.h"
#include "platform/encoding/XADString.h"
#include "prompts/QXEncodingPopUp.h"
#include "prompts/QXEncodingWindowController.h"
#include "prompts/QXErrorWindowController.h"
#include "prompts/QXPasswordWindowController.h"

#include <QDialog>
#include <QLineEdit>
#include <QWidget>

PromptSheets::PromptSheets(ControllerHost *host, QObject *parent)
    : QObject(parent), m_host(host)
{
}

QWidget *PromptSheets::mainWindow() const
{
    return m_host ? m_host->window() : nullptr;
}

QXPasswordWindowController *PromptSheets::passwordWindowCtl()
{
    if (!m_passwordWindowCtl)
        m_passwordWindowCtl = new QXPasswordWindowController(mainWindow());
    return m_passwordWindowCtl;
}

QXEncodingWindowController *PromptSheets::encodingWindowCtl()
{
    if (!m_encodingWindowCtl)
        m_encodingWindowCtl = new QXEncodingWindowController(mainWindow());
    return m_encodingWindowCtl;
}

QXErrorWindowController *PromptSheets::errorWindowCtl()
{
    if (!m_errorWindowCtl)
        m_errorWindowCtl = new QXErrorWindowController(mainWindow());
    return m_errorWindowCtl;
}

template <typename Prepare>
void PromptSheets::beginSheet(QXPromptWindowController *prompt, const std::shared_ptr<RARItem> &item,
                              Delivery delivery, const Prepare &prepare)
{
    QDialog *window = prompt->window();
    prompt->endSheet();
    prompt->setItem(item);
    if (delivery == Delivery::AnswerAsCancelled) {
        window->reject();
        return;
    }
    prepare();
    bringWindowBack();
    window->open();
}

// A window already on screen is left where it is, so a prompt never steals
// the focus.
void PromptSheets::bringWindowBack()
{
    QWidget *window = mainWindow();
    if (m_host && window && (!window->isVisible() || window->isMinimized()))
        m_host->showWindow();
}

void PromptSheets::presentPassword(const std::shared_ptr<RARItem> &item, Delivery delivery)
{
    QXPasswordWindowController *prompt = passwordWindowCtl();
    beginSheet(prompt, item, delivery, [prompt] { prompt->passwordTextField()->setText(QString()); });
}

void PromptSheets::presentEncoding(const std::shared_ptr<RARItem> &item, const XADString &name,
                                   Delivery delivery)
{
    QXEncodingWindowController *prompt = encodingWindowCtl();
    beginSheet(prompt, item, delivery, [prompt, &name] { prompt->encodingPopUp()->configEncodingWithString(name); });
}

void PromptSheets::presentError(const std::shared_ptr<RARItem> &item, Delivery delivery)
{
    QXErrorWindowController *prompt = errorWindowCtl();
    beginSheet(prompt, item, delivery, [prompt, &item] { prompt->setErrorInfo(item->errorTip()); });
}

void PromptSheets::chooseFolder(const QString &folder, FolderAnswer answered)
{
    bringWindowBack();
    auto *panel = new QXFolderPanel(mainWindow(), folder, std::move(answered));
    m_folderPanel = panel;
    panel->begin();
}

// Rejecting a prompt answers it as its Cancel button would and releases the
// worker.
void PromptSheets::cancelOpenPrompts()
{
    const QList<QXPromptWindowController *> prompts{m_passwordWindowCtl.data(), m_encodingWindowCtl.data(),
                                                    m_errorWindowCtl.data()};
    for (QXPromptWindowController *prompt : prompts) {
        if (prompt && prompt->isAwaitingAnswer())
            prompt->window()->reject();
    }
}

QXFolderPanel *PromptSheets::folderPanel() const
{
    return m_folderPanel;
}
