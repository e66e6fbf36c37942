#include "platform/engine/formats/RarVolumeCheck.h"

#include "platform/engine/formats/ViewPartDevice.h"
#include "platform/errors/XADException.h"

#include <QFileInfo>
#include <algorithm>

RarVolumeReport RarVolumeCheck::check(const VolumeSet &volumes)
{
    RarVolumeCheck checker(volumes, [&volumes](qsizetype index) {
        return RarHeaderScan::scan(volumes.paths().value(index));
    });
    checker.walk();
    return checker.m_report;
}

RarVolumeReport RarVolumeCheck::check(const VolumeSet &volumes, const DecryptedView &view)
{
    RarVolumeCheck checker(volumes, [&view](qsizetype index) {
        ViewPartDevice part(view.copy(), index);
        return RarHeaderScan::scan(part);
    });
    checker.walk();
    return checker.m_report;
}

void RarVolumeCheck::fail(int error, const QString &subject)
{
    m_report.error = error;
    m_report.subject = subject;
}

void RarVolumeCheck::walk()
{
    RarVolumeHeaders current = m_scan(0);
    m_report.isRar = current.status != RarVolumeHeaders::Status::NotRar;
    m_report.volumes = m_volumes.count();
    if (current.status != RarVolumeHeaders::Status::Readable)
        return;
    m_report.headersRead = true;
    if (current.volumeNumber > 0
        || (!current.files.isEmpty() && current.files.constFirst().continuesFromPrevious)) {
        // Opened from a later volume: the set is read from its first.
        const QString first = VolumeSet::firstVolumePath(m_volumes.paths().constFirst());
        fail(QFileInfo(first).isFile() && first != m_volumes.paths().constFirst() ? XADNotFirstVolumeError
                                                                                  : XADMissingVolumeError,
             first);
        return;
    }
    for (qsizetype index = 0;; ++index) {
        collect(current);
        if (!current.isVolume || !current.continues()) {
            m_report.volumes = index + 1;
            break;
        }
        if (index + 1 >= m_volumes.count()) {
            const QString missing = m_volumes.expectedPath(index + 1);
            fail(XADMissingVolumeError, missing.isNull() ? m_volumes.paths().constLast() : missing);
            return;
        }
        RarVolumeHeaders next = m_scan(index + 1);
        if (!follows(current, next, index + 1)) {
            fail(XADWrongVolumeError, m_volumes.paths().at(index + 1));
            return;
        }
        current = std::move(next);
    }
    m_report.unpackedTotal = m_sizesKnown ? m_total : -1;
}

// The next volume must be a readable volume of the same kind, numbered as
// its place says where it carries a number, and must carry on the file the
// previous one left split.
bool RarVolumeCheck::follows(const RarVolumeHeaders &previous, const RarVolumeHeaders &next,
                             qsizetype index) const
{
    if (next.status != RarVolumeHeaders::Status::Readable || next.version != previous.version
        || !next.isVolume)
        return false;
    if (next.volumeNumber >= 0 && next.volumeNumber != index)
        return false;
    const bool leftSplit = !previous.files.isEmpty() && previous.files.constLast().continuesInNext;
    const bool takesOver = !next.files.isEmpty() && next.files.constFirst().continuesFromPrevious;
    if (leftSplit != takesOver)
        return false;
    if (!leftSplit)
        return true;
    const RarFilePart &before = previous.files.constLast();
    const RarFilePart &after = next.files.constFirst();
    return before.name == after.name && before.unpackedSize == after.unpackedSize;
}

void RarVolumeCheck::collect(const RarVolumeHeaders &volume)
{
    m_report.isSolid = m_report.isSolid || volume.isSolid;
    for (const RarFilePart &part : volume.files)
        collectPart(part, volume.version);
}

// libarchive gives one entry per file, at the header of its first part.
void RarVolumeCheck::collectPart(const RarFilePart &part, int version)
{
    if (!part.continuesFromPrevious) {
        ++m_entries;
        if (std::any_of(part.name.begin(), part.name.end(), [](char c) { return quint8(c) >= 0x80; }))
            (part.fromUnix ? m_unixNames : m_otherNames) += 1;
        m_report.legacyNamesFromUnix = m_unixNames > m_otherNames;
        if (version == 5 && part.encrypted)
            m_report.encryptedNames.insert(part.name);
        if (!part.isDirectory) {
            m_sizesKnown = m_sizesKnown && part.sizeKnown;
            m_total += qint64(part.unpackedSize);
        }
    }
    if (!part.continuesFromPrevious || part.continuesInNext)
        return;
    // The last part of a split file: its CRC is the whole file's.
    const int entry = m_entries - 1;
    if (!part.hasCrc) {
        m_report.hasUncheckedFiles = true;
        return;
    }
    m_report.joinedCrcs.insert(entry, part.crc);
    m_report.joinedSizes.insert(entry, part.unpackedSize);
}
