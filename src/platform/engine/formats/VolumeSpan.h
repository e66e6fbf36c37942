#pragma once

#include "platform/engine/formats/VolumeSet.h"
#include "platform/files/UniqueFd.h"

#include <QByteArray>
#include <vector>

// The volumes of a set read as one file, at any offset: a split archive's
// header at the end of its last part, its data across the parts' borders.
class VolumeSpan {
public:
    explicit VolumeSpan(VolumeSet volumes);

    qint64 size() const { return m_volumes.totalSize(); }
    // Exactly size bytes from offset, or false.
    bool read(qint64 offset, char *data, qint64 size);
    // Exactly size bytes from offset, or nothing.
    QByteArray read(qint64 offset, qint64 size);
    const VolumeSet &volumes() const { return m_volumes; }

private:
    VolumeSet m_volumes;
    std::vector<UniqueFd> m_fds; // opened as they are first read
};
