#pragma once

#include "FileViewer.h"

// Opens through the desktop's URL handlers and reveals through the
// freedesktop FileManager1 D-Bus interface, falling back to opening the
// parent folder when no file manager answers.
class DesktopFileViewer : public FileViewer {
public:
    void openFile(const QString &path) override;
    void selectFile(const QString &path) override;
};
