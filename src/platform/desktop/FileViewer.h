#pragma once

#include <QString>

// Shows results to the user in the desktop's file manager. The shared
// instance can be replaced, so tests observe what would be shown.
class FileViewer {
public:
    virtual ~FileViewer() = default;

    // Opens a folder (or file) with its default application.
    virtual void openFile(const QString &path) = 0;
    // Shows the file manager with the item selected.
    virtual void selectFile(const QString &path) = 0;

    static FileViewer &shared();
    // Takes over the given viewer (not owned); null restores the desktop one.
    static void setShared(FileViewer *viewer);

    // A directory with a bundle extension (app, bundle, framework, ...).
    static bool isFilePackageAtPath(const QString &path);
};
