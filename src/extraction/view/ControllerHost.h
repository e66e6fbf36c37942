#pragma once

class QWidget;

// What the extraction controller needs from the application shell: the main
// window its sheets hang on and whose size follows the item list, the title,
// the completion flag, and the shell's side of the window's buttons.
class ControllerHost {
public:
    virtual ~ControllerHost() = default;

    // The main window; every sheet is attached to it.
    virtual QWidget *window() const = 0;
    virtual void setWindowTitle() = 0;
    // True while the item list is empty (set at every layout).
    virtual void setIsCompleted(bool completed) = 0;

    // The open button: the open panel for archives.
    virtual void menu_openAction() = 0;
    // The settings button: the preferences window.
    virtual void menu_preferenceAction() = 0;
    // The review button: never ask for a review again, then open the review page.
    virtual void goCommentAction() = 0;
    // The promotion button: the promotional page named by "ad.url".
    virtual void openPhoneAppAction() = 0;
    // The promotion banner for the drop area, owned by the caller from then
    // on; none by default. The shell makes it, since the banner is its part.
    virtual QWidget *makeBannerButton() const { return nullptr; }

    // Puts the main window on screen and in front; sheets call it first, so
    // a prompt never waits on a window the user has closed.
    virtual void showWindow();
    // Ends the program ("exit app" at the end of the work); the shell first
    // stops whatever still runs. The plain quit is for hosts without work.
    virtual void terminate();
    // An archive was extracted: the moment the review schedule counts.
    virtual void readyComment() {}
};
