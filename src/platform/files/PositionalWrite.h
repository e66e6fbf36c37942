#pragma once

#include <cstddef>
#include <sys/types.h>

// Writes at an offset of its own, so holes between writes stay holes.
class PositionalWrite {
public:
    // All of size bytes at offset, through short writes and interruptions.
    static bool all(int fd, const char *data, size_t size, off_t offset);
};
