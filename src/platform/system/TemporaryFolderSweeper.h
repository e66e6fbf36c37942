#pragma once

#include <QStringList>
#include <chrono>

// Removes the temporary folders a Quillbox left behind when it was killed or
// crashed. A folder is left over once its lock file can be locked, that is,
// once the process that held it is gone; a folder another running Quillbox
// holds is never touched. A folder without a lock file (an older Quillbox's,
// or one being made this instant) goes only once it has not changed for a
// while. Nothing is ever followed through a symlink.
class TemporaryFolderSweeper {
public:
    static constexpr std::chrono::seconds lockLessGrace{60};

    // Sweeps the ".Temp_*" entries of the application-data folder; returns
    // the names removed.
    static QStringList sweep(const QString &appDataFolder);

private:
    enum class Outcome { Kept, Removed, Failed };
    static Outcome sweepEntry(int parentFd, const char *name);
    static bool isUntouchedForGrace(int folderFd);
};
