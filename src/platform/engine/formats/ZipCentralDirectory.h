#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

// The names a zip stores, read from its central directory alone: the end
// record is found, the directory is read in one piece, nothing is
// decompressed. Zip64 archives and archives with a stub in front (self-
// extracting ones) are read too; split archives are not.
class ZipCentralDirectory {
public:
    struct Entry {
        QByteArray rawName;          // as stored, no conversion
        bool utf8Flag = false;       // general-purpose bit 11
        bool hasUnicodePathField = false; // Info-ZIP Unicode Path extra field (0x7075)
        quint8 hostSystem = 0;       // upper byte of "version made by"
        // The record's fields as stored (32-bit sizes and offset: 0xFFFFFFFF
        // where a zip64 field holds the value), and where the record is.
        quint16 flags = 0;
        quint16 method = 0;
        quint32 crc = 0;
        quint32 compressedSize = 0;
        quint32 uncompressedSize = 0;
        quint32 localHeaderOffset = 0;
        QByteArray extra;
        qint64 recordOffset = 0; // in the file

        // Names the writer declared Unicode.
        bool isUnicode() const { return utf8Flag || hasUnicodePathField; }
        // MS-DOS, NTFS or VFAT: the name is in the writer's OEM code page.
        bool isFromWindowsHost() const { return isWindowsHost(hostSystem); }
    };

    // Nothing when the file is no readable single-volume zip.
    static std::optional<QList<Entry>> read(const QString &archivePath);

    // The names that carry no Unicode declaration, the ones whose encoding
    // must be detected.
    static QList<QByteArray> legacyNames(const QList<Entry> &entries);
    enum class Host { Windows, Unix, Other };
    // Where most legacy names come from: an MS-DOS or Windows host (its OEM
    // code page), a Unix one (its locale), or no telling.
    static Host legacyNamesFrom(const QList<Entry> &entries);

    static bool isWindowsHost(quint8 hostSystem)
    {
        return hostSystem == 0 || hostSystem == 11 || hostSystem == 14;
    }
};
