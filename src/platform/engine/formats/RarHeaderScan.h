#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

// One file header of a RAR volume. A file split across volumes has one
// header in each; its CRC is the packed data's in every part but the last,
// and the whole unpacked file's in the last.
struct RarFilePart {
    QByteArray name; // as stored
    quint64 unpackedSize = 0;
    bool sizeKnown = true;
    bool isDirectory = false;
    bool continuesFromPrevious = false;
    bool continuesInNext = false;
    bool hasCrc = false;
    quint32 crc = 0;
    bool encrypted = false;
    bool fromUnix = false; // RAR 4: made on a Unix host, whose locale its name is in
};

// What the block headers of one RAR volume say, read without its data.
struct RarVolumeHeaders {
    enum class Status {
        NotRar,
        Readable,
        // Headers that contradict themselves or the file's size.
        Damaged,
        // Encrypted headers can only be read with the password.
        HeadersEncrypted,
    };
    Status status = Status::NotRar;
    int version = 0; // 4 for RAR 1.5 to 4.x, 5 for RAR 5
    bool isVolume = false;
    // Each file's data carries on from the one before: none can be decoded alone.
    bool isSolid = false;
    int volumeNumber = -1; // from 0; -1 when the volume does not say
    bool hasEndBlock = false;
    bool endSaysMoreVolumes = false;
    QList<RarFilePart> files;

    // Whether the set goes on after this volume. Old volumes without an end
    // block say so only by a file split into the next one.
    bool continues() const;
};

class RarHeaderScan {
public:
    static RarVolumeHeaders scan(const QString &path);
    // A volume as a decrypting view shows it.
    static RarVolumeHeaders scan(QIODevice &volume);

private:
    class Reader;
};
