#pragma once

#include "extraction/PromptPresenter.h"

#include <QObject>
#include <QPointer>

class ControllerHost;
class QWidget;
class QXEncodingWindowController;
class QXErrorWindowController;
class QXFolderPanel;
class QXPasswordWindowController;
class QXPromptWindowController;

// The extraction controller's questions as sheets on the main window: the
// password, encoding and error prompts and the folder panel. The window comes
// back first when the user has closed it, so no worker waits on a sheet
// nobody can see.
class PromptSheets : public QObject, public PromptPresenter {
    Q_OBJECT
public:
    explicit PromptSheets(ControllerHost *host, QObject *parent = nullptr);

    void presentPassword(const std::shared_ptr<RARItem> &item, Delivery delivery) override;
    void presentEncoding(const std::shared_ptr<RARItem> &item, const XADString &name,
                         Delivery delivery) override;
    void presentError(const std::shared_ptr<RARItem> &item, Delivery delivery) override;
    void chooseFolder(const QString &folder, FolderAnswer answered) override;
    void cancelOpenPrompts() override;

    // Each built on first read, on the main window.
    QXPasswordWindowController *passwordWindowCtl();
    QXEncodingWindowController *encodingWindowCtl();
    QXErrorWindowController *errorWindowCtl();
    // The folder sheet while it is up, else null.
    QXFolderPanel *folderPanel() const;

private:
    template <typename Prepare>
    void beginSheet(QXPromptWindowController *prompt, const std::shared_ptr<RARItem> &item,
                    Delivery delivery, const Prepare &prepare);
    QWidget *mainWindow() const;
    void bringWindowBack();

    ControllerHost *m_host;
    QPointer<QXPasswordWindowController> m_passwordWindowCtl;
    QPointer<QXEncodingWindowController> m_encodingWindowCtl;
    QPointer<QXErrorWindowController> m_errorWindowCtl;
    QPointer<QXFolderPanel> m_folderPanel;
};
