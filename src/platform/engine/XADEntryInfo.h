#pragma once

#include <QString>
#include <QtGlobal>

// What the engine tells its delegate about one entry.
struct XADEntryInfo {
    QString path;         // decoded path inside the archive, '/'-separated
    qint64 size = -1;     // uncompressed size, -1 when the archive does not say
    bool isDirectory = false;
    bool isEncrypted = false;
};
