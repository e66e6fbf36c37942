#include "BasicControllerHost.h"

#include "extraction/RARViewController.h"
#include "platform/UserDefaults.h"
#include "prompts/SettingsKeys.h"
#include "support/Localized.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMainWindow>
#include <QUrl>

BasicControllerHost::BasicControllerHost() : m_window(std::make_unique<QMainWindow>())
{
    m_window->setObjectName(u"mainWindow"_qs);
    m_window->resize(InitialWidth, InitialContentHeight);
    setWindowTitle();
}

BasicControllerHost::~BasicControllerHost() = default;

void BasicControllerHost::setController(RARViewController *controller)
{
    m_controller = controller;
    if (controller)
        m_window->setCentralWidget(controller->view());
}

QWidget *BasicControllerHost::window() const
{
    return m_window.get();
}

void BasicControllerHost::setWindowTitle()
{
    m_window->setWindowTitle(u"Quillbox"_qs);
}

void BasicControllerHost::openFile(const QString &path)
{
    if (m_controller)
        m_controller->chooseFile(path);
    showWindow();
}

void BasicControllerHost::menu_openAction()
{
    auto *panel = new QFileDialog(m_window.get());
    panel->setFileMode(QFileDialog::ExistingFiles);
    panel->setWindowModality(Qt::WindowModal);
    //% "Unarchive"
    panel->setLabelText(QFileDialog::Accept, localizedString("unarchive"));
    connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        panel->hide();
        panel->deleteLater();
        if (result != QDialog::Accepted)
            return;
        const QStringList files = panel->selectedFiles();
        for (const QString &file : files)
            openFile(file);
    });
    panel->open();
}

QUrl BasicControllerHost::reviewPageUrl()
{
    return QUrl(u"https://quillbox.app/review"_qs);
}

void BasicControllerHost::goCommentAction()
{
    UserDefaults::standardUserDefaults().setInteger(2, SettingsKeys::Comment);
    QDesktopServices::openUrl(reviewPageUrl());
}

void BasicControllerHost::openPhoneAppAction()
{
    //% "https://quillbox.app/apps"
    const QUrl address(localizedString("ad.url"), QUrl::StrictMode);
    if (address.isValid() && (address.scheme() == u"https"_qs || address.scheme() == u"http"_qs))
        QDesktopServices::openUrl(address);
}
