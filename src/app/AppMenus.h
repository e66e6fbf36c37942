#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

class AppDelegate;
class QAction;
class QMainWindow;
class QMenu;
class QSystemTrayIcon;

// The main window's menu bar and the tray icon, both wired to the delegate's
// actions. The titles come later than the actions: they are set when the
// string table is in place, at the delegate's awakeFromNib.
class AppMenus : public QObject {
    Q_OBJECT
public:
    AppMenus(AppDelegate &app, QMainWindow &window);
    ~AppMenus() override;

    void setMenuTitles();
    // Does nothing where the desktop shows no tray, or when the icon exists.
    void buildTrayIcon();

    QAction *about() const { return m_about; }
    QAction *hide() const { return m_hide; }
    QAction *quit() const { return m_quit; }
    QAction *pref() const { return m_pref; }
    QAction *open() const { return m_open; }
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }

private:
    void buildAppMenu(QMainWindow &window);
    void buildFileMenu(QMainWindow &window);
    void buildHelpMenu(QMainWindow &window);
    void buildTrayMenu();

    AppDelegate &m_app;
    QPointer<QSystemTrayIcon> m_trayIcon;
    // A tray menu has no parent widget to die with.
    std::unique_ptr<QMenu> m_trayMenu;

    QAction *m_about = nullptr;
    QAction *m_hide = nullptr;
    QAction *m_quit = nullptr;
    QAction *m_pref = nullptr;
    QAction *m_open = nullptr;
    QAction *m_howto = nullptr;
    QAction *m_comment = nullptr;
    QAction *m_support = nullptr;
    QAction *m_vantor = nullptr;
    QAction *m_miravel = nullptr;
    QMenu *m_fileMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
};
