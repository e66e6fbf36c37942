#include "platform/engine/SizeSurvey.h"

#include "platform/engine/ArchiveReader.h"

#include <archive_entry.h>

bool SizeSurvey::formatListsSizes(int formatCode)
{
    const int base = formatCode & ARCHIVE_FORMAT_BASE_MASK;
    return base == ARCHIVE_FORMAT_ZIP || base == ARCHIVE_FORMAT_7ZIP;
}

qint64 SizeSurvey::totalSize(const VolumeSet &volumes, int formatCode,
                             const std::function<bool()> &shouldStop)
{
    if (!formatListsSizes(formatCode))
        return -1;
    ArchiveReader reader(volumes, shouldStop, {});
    if (reader.open() != ARCHIVE_OK)
        return -1;
    qint64 total = 0;
    archive_entry *entry = nullptr;
    for (;;) {
        const int status = reader.nextHeader(&entry);
        if (status == ARCHIVE_EOF)
            return total;
        if (status < ARCHIVE_WARN)
            return -1;
        if (archive_entry_filetype(entry) != AE_IFREG)
            continue;
        if (!archive_entry_size_is_set(entry))
            return -1;
        total += archive_entry_size(entry);
    }
}
