#pragma once

#include <sys/types.h>

// The process's file-creation mask, read without changing it: umask() can
// only be read by setting it, which would race with other threads.
class ProcessUmask {
public:
    static mode_t value();
};
