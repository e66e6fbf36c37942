#pragma once

#include "platform/engine/formats/VolumeSet.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// A 7z archive's header, read from the file's end: how its data is packed
// in streams and folders (each folder a chain of coders), and its files'
// records, kept as stored. A compressed header is decoded (LZMA), an
// encrypted one too when the password is given.
class SevenZipHeader {
public:
    enum class Status {
        Read,
        Unreadable, // no 7z, damaged, or packed in a way this does not decode
        PasswordNeeded,
        PasswordWrong,
    };

    struct Coder {
        QByteArray method;
        QByteArray properties;
        quint64 inStreams = 1;
        quint64 outStreams = 1;
    };
    struct BindPair {
        quint64 in = 0;  // a coder's input...
        quint64 out = 0; // ...fed by this coder's output
    };
    struct Folder {
        QList<Coder> coders;
        QList<BindPair> bindPairs;
        QList<quint64> packedStreams; // the inputs fed from the archive's packed streams, in order
        QList<quint64> unpackSizes;   // one for each output
        bool crcDefined = false;
        quint32 crc = 0;
        quint64 unpackStreams = 1; // how many files' data it holds

        quint64 inStreams() const;
        quint64 outStreams() const;
        // The output no other coder takes in: the folder's result.
        quint64 decodedSize() const;
    };
    struct Streams {
        quint64 packPosition = 0; // after the 32-byte start
        QList<quint64> packSizes;
        QList<Folder> folders;
        QByteArray subStreams; // the sizes and checksums of the files in each folder, as stored
    };

    // The files' records, as stored, and what they say about data.
    struct Files {
        QByteArray stored;
        quint64 count = 0;
        QList<bool> emptyStream;
        QList<quint32> attributes; // 0 where none is stored
    };

    // Which entries share a folder and so can only be decoded one after the
    // other.
    struct Layout {
        int entryCount = 0;
        // For each folder that holds data, in archive order: the number (from
        // 0) of its last entry. The entries of one folder follow each other.
        QList<int> folderEnds;
        // Each of those folders' size once decoded.
        QList<quint64> folderSizes;
        // A symbolic link's target is kept as data: reading its header
        // decodes its folder.
        bool storesLinks = false;
    };

    static Status read(const VolumeSet &volumes, const QString &password, SevenZipHeader *header);
    // Nothing when the volumes are no 7z archive whose header this can read
    // without a password.
    static std::optional<SevenZipHeader> read(const VolumeSet &volumes);

    const Streams &streams() const { return m_streams; }
    bool headerWasEncrypted() const { return m_headerEncrypted; }
    std::optional<Layout> layout() const;
    // A plain header (neither compressed nor encrypted) with these streams
    // and this archive's files.
    QByteArray encode(const Streams &streams) const;
    // The 32 bytes that start a 7z whose header of this size and checksum
    // follows packed data of this size.
    static QByteArray startHeader(quint64 packedSize, const QByteArray &header);

private:
    Streams m_streams;
    Files m_files;
    bool m_headerEncrypted = false;
};
