#include "platform/engine/NameSurvey.h"

#include "platform/engine/ArchiveReader.h"
#include "platform/engine/formats/DecryptedView.h"

#include <archive_entry.h>
#include <algorithm>

namespace {

// As many names as the detection weighs.
constexpr qsizetype enoughNameBytes = 8 * 1024;
// Where the headers are only reached by decompressing the data between
// them, this much input is read ahead at most (a fraction of a second), and
// only this much while every name is plain ASCII, as most are.
constexpr qint64 compressedBudget = qint64(16) << 20;
constexpr qint64 asciiBudget = qint64(2) << 20;
// Skipping is cheap but not free (a seek and a header read per entry): an
// archive whose first this many names are ASCII is taken to be ASCII.
constexpr int asciiEntries = 10'000;

bool beyondAscii(const char *name)
{
    return name && std::any_of(name, name + qstrlen(name), [](char c) { return quint8(c) >= 0x80; });
}

} // namespace

bool NameSurvey::formatNeedsSurvey(int formatCode)
{
    switch (formatCode & ARCHIVE_FORMAT_BASE_MASK) {
    case ARCHIVE_FORMAT_TAR:
    case ARCHIVE_FORMAT_CPIO:
    case ARCHIVE_FORMAT_CAB:
    case ARCHIVE_FORMAT_LHA:
    case ARCHIVE_FORMAT_ISO9660:
    case ARCHIVE_FORMAT_AR:
    case ARCHIVE_FORMAT_RAR:
        return true;
    default:
        return false;
    }
}

QList<QByteArray> NameSurvey::legacyNames(const VolumeSet &volumes, const DecryptedView *view, int formatCode,
                                          const std::function<bool()> &shouldStop)
{
    if (!formatNeedsSurvey(formatCode))
        return {};
    const std::unique_ptr<ArchiveReader> reader = ArchiveReader::opened(volumes, view, shouldStop);
    if (!reader)
        return {};
    QList<QByteArray> names;
    qsizetype bytes = 0;
    archive_entry *entry = nullptr;
    for (int seen = 0; bytes < enoughNameBytes && reader->nextHeader(&entry) == ARCHIVE_OK; ++seen) {
        const char *name = archive_entry_pathname(entry);
        if (beyondAscii(name)) {
            names.append(QByteArray(name));
            bytes += names.constLast().size();
        }
        if (names.isEmpty() && seen >= asciiEntries)
            break;
        if (reader->hasFilter() && reader->consumedBytes() > (names.isEmpty() ? asciiBudget : compressedBudget))
            break;
    }
    return names;
}
