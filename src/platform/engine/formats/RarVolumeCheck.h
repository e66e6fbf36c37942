#pragma once

#include "platform/engine/formats/DecryptedView.h"
#include "platform/engine/formats/RarHeaderScan.h"
#include "platform/engine/formats/VolumeSet.h"

#include <QHash>
#include <QSet>

// What the headers of a RAR archive's volumes promise, checked before
// anything is extracted: every volume the set needs is there, in order and
// of the same set. libarchive reads on through a missing or foreign volume
// and does not check files joined across volumes, so the promises it
// cannot keep are handed on to the run.
struct RarVolumeReport {
    bool isRar = false;
    // False when the headers could not be read (encrypted headers): the set
    // is then taken as found and nothing is promised.
    bool headersRead = false;
    int error = 0;       // an XADError; 0 when the set is whole
    QString subject;     // the missing or foreign volume
    qsizetype volumes = 0; // how many of the found volumes belong to the set
    // Entry number (from 0, in archive order) -> the CRC-32 of the whole
    // file, for files split across volumes.
    QHash<int, quint32> joinedCrcs;
    QHash<int, quint64> joinedSizes;
    // Split files whose checksum we cannot compute (BLAKE2 only).
    bool hasUncheckedFiles = false;
    // RAR 5 names of files with encrypted data, which libarchive 3.6 does not
    // mark.
    QSet<QByteArray> encryptedNames;
    qint64 unpackedTotal = -1;
    // Most names beyond ASCII come from Unix hosts (RAR 4 keeps them in the
    // host's encoding: a Unix locale's rather than an OEM code page).
    bool legacyNamesFromUnix = false;
    bool isSolid = false;
};

class RarVolumeCheck {
public:
    static RarVolumeReport check(const VolumeSet &volumes);
    // The same over the headers a view decrypted (encrypted headers).
    static RarVolumeReport check(const VolumeSet &volumes, const DecryptedView &view);

private:
    using Scan = std::function<RarVolumeHeaders(qsizetype index)>;

    RarVolumeCheck(const VolumeSet &volumes, Scan scan) : m_volumes(volumes), m_scan(std::move(scan)) {}
    void walk();
    bool follows(const RarVolumeHeaders &previous, const RarVolumeHeaders &next, qsizetype index) const;
    void fail(int error, const QString &subject);
    void collect(const RarVolumeHeaders &volume);
    void collectPart(const RarFilePart &part, int version);

    const VolumeSet &m_volumes;
    Scan m_scan;
    RarVolumeReport m_report;
    int m_entries = 0;
    bool m_sizesKnown = true;
    qsizetype m_unixNames = 0;
    qsizetype m_otherNames = 0;
    qint64 m_total = 0;
};
