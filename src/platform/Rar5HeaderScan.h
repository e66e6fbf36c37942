#pragma once

#include "VolumeSet.h"

#include <QByteArray>
#include <QSet>

// Reads the block headers of a RAR5 archive, skipping all data, to find the
// files whose data is encrypted. libarchive 3.6 does not mark them and would
// feed their encrypted bytes to the decompressor; knowing them lets the run
// refuse them plainly instead.
class Rar5HeaderScan {
public:
    // The stored names (UTF-8) of encrypted files over all volumes; empty
    // when there are none or the headers cannot be read.
    static QSet<QByteArray> encryptedNames(const VolumeSet &volumes);

private:
    class Cursor;
    static void scanVolume(const QString &path, QSet<QByteArray> *names);
    static bool fileHeaderIsEncrypted(Cursor header, quint64 extraSize, QByteArray *name);
};
