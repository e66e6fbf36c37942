#pragma once

#include "platform/desktop/FileViewer.h"

class QUrl;

// Opens through the desktop's URL handlers and reveals through the
// freedesktop FileManager1 D-Bus interface, falling back to opening the
// parent folder when no file manager answers.
class DesktopFileViewer : public FileViewer {
public:
    void openFile(const QString &path) override;
    // Returns at once; the fallback, if needed, follows once the bus has
    // answered (or given up after a few seconds).
    void selectFile(const QString &path) override;

    // The form the FileManager1 interface expects: a fully encoded file URI.
    static QString fileUri(const QString &path);

private:
    static void openParentFolder(const QString &path);
};
