#include "AboutBox.h"

#include "app/AppDelegate.h"
#include "support/Localized.h"

#include <QApplication>
#include <QMessageBox>

void AboutBox::show(QWidget *window)
{
    if (!m_box)
        m_box = make(window);
    m_box->show();
    m_box->raise();
    m_box->activateWindow();
}

QMessageBox *AboutBox::make(QWidget *window)
{
    const QString name = AppDelegate::applicationName();
    auto *box = new QMessageBox(window);
    box->setObjectName(u"aboutBox"_qs);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    //% "About %1"
    box->setWindowTitle(localizedString("menu_about").arg(name));
    box->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    //% "Version %1"
    const QString version = localizedString("about_version").arg(QApplication::applicationVersion());
    box->setText(u"<b>%1</b><br>%2"_qs.arg(name, version.toHtmlEscaped()));
    //% "Extracts archives: drop them on the window, pick them in the Open dialog, or open them with Quillbox from the file manager."
    box->setInformativeText(localizedString("about_text"));
    return box;
}
