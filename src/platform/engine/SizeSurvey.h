#pragma once

#include "platform/engine/formats/VolumeSet.h"

#include <functional>

class DecryptedView;

// The total uncompressed size of an archive whose directory lists every
// entry with its size (zip's central directory, 7z's header, an ISO 9660
// image's directory records), read from the headers alone: no entry data is
// decompressed.
class SizeSurvey {
public:
    struct Result {
        qint64 total = -1; // -1 when the format keeps no such directory or any size is missing
        qint64 entries = -1;
    };

    // view: what the archive's reader reads instead of the volumes, if anything.
    static Result survey(const VolumeSet &volumes, const DecryptedView *view, int formatCode,
                         const std::function<bool()> &shouldStop);
    static bool formatListsSizes(int formatCode);
};
