#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Writes real archives with libarchive's writer, for tests and benchmarks.
struct ArchiveEntrySpec {
    enum Type { File, Directory, Symlink, Hardlink };
    QByteArray path;      // raw bytes, stored as they are
    QByteArray data;
    Type type = File;
    QByteArray linkTarget;
    int mode = 0644;

    static ArchiveEntrySpec file(const QByteArray &path, const QByteArray &data, int mode = 0644)
    {
        return {path, data, File, {}, mode};
    }
    static ArchiveEntrySpec directory(const QByteArray &path) { return {path, {}, Directory, {}, 0755}; }
    static ArchiveEntrySpec symlink(const QByteArray &path, const QByteArray &target)
    {
        return {path, {}, Symlink, target, 0777};
    }
    static ArchiveEntrySpec hardlink(const QByteArray &path, const QByteArray &target)
    {
        return {path, {}, Hardlink, target, 0644};
    }
};

class ArchiveMaker {
public:
    // format: a libarchive writer format name ("zip", "7zip", "pax", "gnutar",
    // "cpio", "iso9660", "xar", "ar_svr4"...); filter: "" or a filter name
    // ("gzip", "bzip2", "xz", "lzma", "zstd", "lz4", "lzip", "compress").
    // options: libarchive writer options ("zip:encryption=aes256").
    static bool write(const QString &archivePath, const QString &format, const QString &filter,
                      const QList<ArchiveEntrySpec> &entries, const QString &options = QString(),
                      const QByteArray &passphrase = QByteArray());
    // A zip at path; the path, or a null string when it could not be written.
    static QString zip(const QString &path, const QList<ArchiveEntrySpec> &entries, const QString &options = QString(),
                       const QByteArray &passphrase = QByteArray())
    {
        return write(path, QStringLiteral("zip"), QString(), entries, options, passphrase) ? path : QString();
    }
    // A bare compressed file ("raw" format), e.g. notes.txt.gz.
    static bool writeRawCompressed(const QString &path, const QString &filter, const QByteArray &data);
};
