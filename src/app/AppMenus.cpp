#include "AppMenus.h"

#include "app/AppDelegate.h"
#include "support/Localized.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>

AppMenus::AppMenus(AppDelegate &app, QMainWindow &window) : m_app(app)
{
    buildAppMenu(window);
    buildFileMenu(window);
    buildHelpMenu(window);
}

AppMenus::~AppMenus() = default;

void AppMenus::buildAppMenu(QMainWindow &window)
{
    QMenu *menu = window.menuBar()->addMenu(AppDelegate::applicationName());
    m_about = menu->addAction(QString(), &m_app, &AppDelegate::menu_aboutAction);
    m_pref = menu->addAction(QString(), &m_app, &AppDelegate::menu_preferenceAction);
    m_pref->setShortcut(QKeySequence(u"Ctrl+,"_qs));
    menu->addSeparator();
    m_hide = menu->addAction(QString(), &m_app, &AppDelegate::menu_hideAction);
    m_hide->setShortcut(QKeySequence(u"Ctrl+H"_qs));
    menu->addSeparator();
    m_quit = menu->addAction(QString(), &m_app, &AppDelegate::menu_quitAction);
    m_quit->setShortcut(QKeySequence::Quit);
}

void AppMenus::buildFileMenu(QMainWindow &window)
{
    m_fileMenu = window.menuBar()->addMenu(QString());
    m_open = m_fileMenu->addAction(QString(), &m_app, &AppDelegate::menu_openAction);
    m_open->setShortcut(QKeySequence::Open);
}

void AppMenus::buildHelpMenu(QMainWindow &window)
{
    m_helpMenu = window.menuBar()->addMenu(QString());
    m_howto = m_helpMenu->addAction(QString(), &m_app, &AppDelegate::menu_howtoUseAction);
    m_howto->setShortcut(QKeySequence::HelpContents);
    m_comment = m_helpMenu->addAction(QString(), &m_app, &AppDelegate::menu_commentAction);
    m_support = m_helpMenu->addAction(QString(), &m_app, &AppDelegate::menu_supportAction);
    m_helpMenu->addSeparator();
    m_vantor = m_helpMenu->addAction(QString(), &m_app, &AppDelegate::downloadVantorAction);
    m_miravel = m_helpMenu->addAction(QString(), &m_app, &AppDelegate::downloadMiravelAction);
}

void AppMenus::setMenuTitles()
{
    const QString name = AppDelegate::applicationName();
    //% "About %1"
    m_about->setText(localizedString("menu_about").arg(name));
    //% "Hide %1"
    m_hide->setText(localizedString("menu_hide").arg(name));
    //% "Quit %1"
    m_quit->setText(localizedString("menu_quit").arg(name));
    //% "Preferences…"
    m_pref->setText(localizedString("menu_pref"));
    //% "Open…"
    m_open->setText(localizedString("menu_open"));
    //% "File"
    m_fileMenu->setTitle(localizedString("menu_file"));
    //% "Help"
    m_helpMenu->setTitle(localizedString("menu_help"));
    //% "How to Use Quillbox"
    m_howto->setText(localizedString("menu_howto"));
    //% "Write a Review"
    m_comment->setText(localizedString("menu_comment"));
    //% "Quillbox Support"
    m_support->setText(localizedString("menu_support"));
    //% "Get Vantor"
    m_vantor->setText(localizedString("menu_vantor"));
    //% "Get Miravel"
    m_miravel->setText(localizedString("menu_miravel"));
}

void AppMenus::buildTrayIcon()
{
    if (m_trayIcon || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_trayIcon = new QSystemTrayIcon(QApplication::windowIcon(), this);
    m_trayIcon->setToolTip(AppDelegate::applicationName());
    buildTrayMenu();
    // Clicking the icon is how a desktop with a tray brings a closed window back.
    connect(m_trayIcon, &QSystemTrayIcon::activated, &m_app,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    m_app.applicationShouldHandleReopen();
            });
    m_trayIcon->show();
}

void AppMenus::buildTrayMenu()
{
    const QString name = AppDelegate::applicationName();
    m_trayMenu = std::make_unique<QMenu>();
    QMenu *menu = m_trayMenu.get();
    //% "Show %1"
    menu->addAction(localizedString("tray_show").arg(name), &m_app,
                    &AppDelegate::applicationShouldHandleReopen);
    // The open dialog is a sheet on the window, so the window comes back first.
    //% "Open…"
    menu->addAction(localizedString("menu_open"), &m_app, [this] {
        m_app.applicationShouldHandleReopen();
        m_app.menu_openAction();
    });
    menu->addSeparator();
    //% "Quit %1"
    menu->addAction(localizedString("menu_quit").arg(name), &m_app, &AppDelegate::menu_quitAction);
    m_trayIcon->setContextMenu(menu);
}
