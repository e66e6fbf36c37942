#pragma once

#include "platform/engine/formats/VolumeSet.h"

#include <QByteArray>
#include <QList>
#include <functional>

class DecryptedView;

// The legacy names of an archive whose format keeps no directory of them
// (tar, cpio, cab, LHA, ISO images, RAR 4), read ahead from its headers, so
// that their encoding is detected over many names at once rather than on
// the first one alone as the run meets it. The second pass over the headers
// costs little where libarchive skips data by seeking; where it must
// decompress its way through (tar.gz), it stops after a bounded stretch.
class NameSurvey {
public:
    static bool formatNeedsSurvey(int formatCode);
    // Every name with a byte beyond ASCII, as stored, up to 8 KiB of them.
    static QList<QByteArray> legacyNames(const VolumeSet &volumes, const DecryptedView *view, int formatCode,
                                         const std::function<bool()> &shouldStop);
};
