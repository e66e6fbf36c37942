#pragma once

#include "platform/engine/formats/VolumeSet.h"

// Whether the parts of a plainly split 7z or zip archive ("x.7z.001",
// "x.7z.002"...) reach as far as the archive says it goes. Both keep their
// directory at the very end, so a missing last part would otherwise only
// show as a confusing failure, and a missing middle part as a set that
// seems to end early.
class SplitArchiveCheck {
public:
    // 0, or XADMissingVolumeError with the part to ask for in *subject, or
    // XADTruncatedError for a single file cut short.
    static int check(const VolumeSet &volumes, QString *subject);

private:
    static qint64 sevenZipLength(const QString &firstPath);
    static bool zipEndIsThere(const VolumeSet &volumes);
};
