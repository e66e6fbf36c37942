#include "platform/files/PositionalWrite.h"

#include <cerrno>
#include <unistd.h>

bool PositionalWrite::all(int fd, const char *data, size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t put = ::pwrite(fd, data, size, offset);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= size_t(put);
        offset += put;
    }
    return true;
}
