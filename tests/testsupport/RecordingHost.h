#pragma once

#include "app/QXBannerButton.h"
#include "extraction/view/ControllerHost.h"

#include <QMainWindow>
#include <memory>

// Plays the application shell for controller tests: a real main window, and
// a record of what the controller asked of the shell. Header only, so the
// core-only test library needs no widgets.
class RecordingHost : public ControllerHost {
public:
    RecordingHost() : m_window(std::make_unique<QMainWindow>())
    {
        m_window->resize(460, 300);
    }

    QMainWindow *mainWindow() const { return m_window.get(); }
    QWidget *window() const override { return m_window.get(); }
    void setWindowTitle() override { m_window->setWindowTitle(QStringLiteral("Quillbox")); }
    void setIsCompleted(bool completed) override { isCompleted = completed; }
    void menu_openAction() override {}
    void menu_preferenceAction() override {}
    void goCommentAction() override {}
    void openPhoneAppAction() override {}
    QWidget *makeBannerButton() const override { return new QXBannerButton; }
    void showWindow() override
    {
        ++showCalls;
        ControllerHost::showWindow();
    }

    bool isCompleted = false;
    int showCalls = 0;

private:
    std::unique_ptr<QMainWindow> m_window;
};
