#pragma once

#include <QString>

// The confinement the archive-reading helper puts on itself before it reads a
// single byte of an archive, so that a parser bug exploited by a hostile
// archive can neither write outside its one folder, reach the network, start
// programs, look into other processes nor eat all memory. Every step is
// irreversible for the process, and Landlock and no_new_privs bind only the
// calling thread, so apply() must run while the process has a single thread.
class EngineSandbox {
public:
    // What could be applied; the address-space limit and no_new_privs always
    // are when apply() succeeds. The note is for the log, not for the user.
    struct Report {
        bool landlock = false;
        int landlockAbi = 0;
        bool seccomp = false;
        QString note;
    };

    // Limits the address space to addressSpaceLimit bytes (none when it is not
    // positive, as for sanitizer builds that reserve terabytes of shadow),
    // turns off core dumps, sets no_new_privs, allows writes only beneath
    // writableFolder (nowhere when it is empty) and filters system calls.
    // Returns false when a step that must work failed, including Landlock or
    // seccomp that the kernel has but refused; a kernel without them is only
    // reported. report may be null.
    static bool apply(const QString &writableFolder, qint64 addressSpaceLimit, Report *report);
};
