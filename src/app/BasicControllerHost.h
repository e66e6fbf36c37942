#pragma once

#include "extraction/ControllerHost.h"

#include <QObject>
#include <QPointer>
#include <memory>

class QMainWindow;
class RARViewController;

// A plain main window for the extraction controller: the window, its title,
// the open dialog, and the review and promotion pages. Enough to run the
// program before the full application shell takes over.
class BasicControllerHost : public QObject, public ControllerHost {
    Q_OBJECT
public:
    static constexpr int InitialWidth = 460;
    static constexpr int InitialContentHeight = 300;

    BasicControllerHost();
    ~BasicControllerHost() override;

    // Puts the controller's view into the window.
    void setController(RARViewController *controller);
    // Hands one file to the controller and shows the window.
    void openFile(const QString &path);
    bool isCompleted() const { return m_isCompleted; }

    QWidget *window() const override;
    void setWindowTitle() override;
    void setIsCompleted(bool completed) override { m_isCompleted = completed; }
    void menu_openAction() override;
    void menu_preferenceAction() override {}
    void goCommentAction() override;
    void openPhoneAppAction() override;

    static QUrl reviewPageUrl();

private:
    std::unique_ptr<QMainWindow> m_window;
    QPointer<RARViewController> m_controller;
    bool m_isCompleted = false;
};
