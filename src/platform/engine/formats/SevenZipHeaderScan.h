#pragma once

#include <QList>
#include <QString>
#include <optional>

// How a 7z archive packs its entries, read from its header alone: which
// entries share a compressed stream (a "folder") and so can only be decoded
// one after the other, and which stand alone. A compressed header is
// decoded (LZMA), an encrypted one too when the password is given; a split
// archive is not read.
class SevenZipHeaderScan {
public:
    enum class Status {
        Read,
        Unreadable, // no 7z, damaged, or packed in a way this does not decode
        PasswordNeeded,
        PasswordWrong,
    };

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

    static Status read(const QString &archivePath, const QString &password, Layout *layout);
    // Nothing when the file is no 7z archive whose header this can read
    // without a password.
    static std::optional<Layout> read(const QString &archivePath);
};
