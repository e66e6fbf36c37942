#include "ControllerHost.h"

#include <QCoreApplication>
#include <QWidget>

void ControllerHost::showWindow()
{
    QWidget *main = window();
    if (!main)
        return;
    if (main->isMinimized())
        main->showNormal();
    else
        main->show();
    main->raise();
    main->activateWindow();
}

void ControllerHost::terminate()
{
    QCoreApplication::quit();
}
