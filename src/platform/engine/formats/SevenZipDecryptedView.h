#pragma once

#include "platform/engine/formats/DecryptedView.h"
#include "platform/engine/formats/SevenZipAesCoder.h"
#include "platform/engine/formats/SevenZipHeader.h"
#include "platform/engine/formats/VolumeSpan.h"

#include <QHash>
#include <QList>
#include <archive.h>
#include <memory>

// An encrypted 7z as the plain archive it hides: every AES coder taken out
// of its folder, each packed stream it read decrypted as it is read, and a
// plain header after them. libarchive reads the view as any 7z, with every
// checksum checked on the decrypted data; nothing decrypted goes to disk.
class SevenZipDecryptedView : public DecryptedView {
public:
    using Status = SevenZipHeader::Status;

    // Read, or why the view cannot be made; a null view for an archive with
    // nothing encrypted.
    static Status open(const VolumeSet &volumes, const QString &password, std::unique_ptr<SevenZipDecryptedView> *view);

    // The same view with a file position of its own, for another reader;
    // the keys are not derived again.
    std::unique_ptr<SevenZipDecryptedView> clone() const;
    int formatCode() const override { return ARCHIVE_FORMAT_7ZIP; }
    std::unique_ptr<DecryptedView> copy() const override { return clone(); }
    qint64 partSize(qsizetype) const override { return m_size; }
    qint64 read(qsizetype, qint64 offset, char *data, qint64 size) override { return read(offset, data, size); }

    qint64 size() const { return m_size; }
    // The archive's own header, as decrypted.
    const SevenZipHeader &header() const { return m_source; }
    // Whether this folder's data was encrypted, in the header's order.
    bool folderEncrypted(qsizetype folder) const { return m_encryptedFolders.value(folder); }
    // Up to size bytes from offset on; 0 at the end, -1 when the archive
    // cannot be read there.
    qint64 read(qint64 offset, char *data, qint64 size);

private:
    struct Segment {
        qint64 viewStart = 0;
        qint64 size = 0;        // as the view shows it
        qint64 sourceStart = 0; // in the archive
        qint64 sourceSize = 0;
        std::optional<SevenZipAesCoder> aes;
        QByteArray key;
    };

    bool plan(const SevenZipHeader &header, const QString &password);
    bool takeOutAes(SevenZipHeader::Folder *folder, qsizetype firstPacked, const QString &password);
    qint64 readSegment(const Segment &segment, qint64 at, char *data, qint64 size);

    std::unique_ptr<VolumeSpan> m_file;
    SevenZipHeader m_source;
    QList<bool> m_encryptedFolders;
    QList<Segment> m_segments;
    SevenZipHeader::Streams m_streams; // as the view shows them
    QByteArray m_start;
    QByteArray m_header;
    qint64 m_packedEnd = 0;
    qint64 m_size = 0;
    QHash<QByteArray, QByteArray> m_keys; // by the coders' key identity
};
