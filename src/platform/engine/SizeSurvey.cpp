#include "platform/engine/SizeSurvey.h"

#include "platform/engine/ArchiveReader.h"
#include "platform/engine/formats/DecryptedView.h"

#include <archive_entry.h>

bool SizeSurvey::formatListsSizes(int formatCode)
{
    const int base = formatCode & ARCHIVE_FORMAT_BASE_MASK;
    return base == ARCHIVE_FORMAT_ZIP || base == ARCHIVE_FORMAT_7ZIP || base == ARCHIVE_FORMAT_ISO9660;
}

SizeSurvey::Result SizeSurvey::survey(const VolumeSet &volumes, const DecryptedView *view, int formatCode,
                                      const std::function<bool()> &shouldStop)
{
    if (!formatListsSizes(formatCode))
        return {};
    const std::unique_ptr<ArchiveReader> reader = ArchiveReader::opened(volumes, view, shouldStop);
    if (!reader)
        return {};
    Result counted{0, 0};
    archive_entry *entry = nullptr;
    for (;; ++counted.entries) {
        const int status = reader->nextHeader(&entry);
        if (status == ARCHIVE_EOF)
            return counted;
        if (status < ARCHIVE_WARN)
            return {};
        if (archive_entry_filetype(entry) != AE_IFREG)
            continue;
        if (!archive_entry_size_is_set(entry))
            return {};
        counted.total += archive_entry_size(entry);
    }
}
