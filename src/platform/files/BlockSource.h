#pragma once

#include <QtGlobal>
#include <cstddef>

// The data of the entry being written, block by block.
class BlockSource {
public:
    virtual ~BlockSource() = default;
    // True with the next block; false at the end (*error 0) or on a
    // failure (*error an error code).
    virtual bool nextBlock(const void **data, size_t *size, qint64 *offset, int *error) = 0;
};
