#pragma once

#include "platform/engine/formats/VolumeSet.h"

#include <QByteArray>
#include <QString>
#include <archive.h>
#include <functional>
#include <memory>
#include <vector>

class DecodeAhead;
class DecryptedView;
class StreamDecoder;
class VolumeStream;

// Owns one libarchive read handle over the files of a VolumeSet, fed by our
// own callbacks so that a stop request ends a run that keeps reading input,
// and so that the bytes consumed are known across all volumes. An outer
// gzip, bzip2, xz, zstd or lz4 layer is decoded here, so that it can be read
// to its end and every check in it verified.
class ArchiveReader {
public:
    using StopCheck = std::function<bool()>;
    // Answers libarchive's request for a passphrase; null for none.
    using PassphraseSource = std::function<const char *()>;

    ArchiveReader(VolumeSet volumes, StopCheck stop, PassphraseSource passphrase);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader &) = delete;
    ArchiveReader &operator=(const ArchiveReader &) = delete;

    // Before open(): reads this view of the archive instead of its volumes
    // (an encrypted archive as the plain one it hides).
    void readThrough(std::unique_ptr<DecryptedView> view);

    // A reader for another pass over the archive's headers, reading through
    // a copy of the view when there is one; null when the archive does not
    // open.
    static std::unique_ptr<ArchiveReader> opened(const VolumeSet &volumes, const DecryptedView *view, StopCheck stop);

    // libarchive status codes (ARCHIVE_OK...).
    int open();
    int nextHeader(archive_entry **entry);

    archive *handle() const { return m_archive.get(); }
    const VolumeSet &volumes() const { return m_volumes; }
    // True once a stop request ended a read.
    bool wasStopped() const { return m_stopped; }
    // Input consumed so far, over all volumes.
    qint64 consumedBytes() const;

    int formatCode() const;
    // True when the data passes through a decompressing (or decoding) filter.
    bool hasFilter() const;
    QString errorString() const;

    // Once the format has reported its end: decodes (and drops) the rest of
    // our outer compression layer, verifying every check on the way.
    // 0 or an XADError.
    int drainInput();
    // True when no compression layer was there, or ours was decoded to its
    // end with every check passing; false when libarchive decoded one, whose
    // trailer it may never have checked.
    bool checksVerified() const;
    // What the decoder of the outer layer found wrong; 0 for nothing.
    int streamError() const;

private:
    struct Volume;
    struct ViewPart;
    struct ArchiveFree {
        void operator()(archive *a) const;
    };

    bool stopRequested();
    void startDecoder();
    void configure();
    void attachVolumes();
    void attachDecoder();
    void attachView();
    bool libarchiveFilters() const;

    static int openVolume(archive *a, void *data);
    static int closeVolume(archive *a, void *data);
    static int switchVolume(archive *a, void *from, void *to);
    static la_ssize_t readVolume(archive *a, void *data, const void **buffer);
    static la_int64_t skipVolume(archive *a, void *data, la_int64_t request);
    static la_int64_t seekVolume(archive *a, void *data, la_int64_t offset, int whence);
    static la_ssize_t readDecoded(archive *a, void *data, const void **buffer);
    static int switchViewPart(archive *a, void *from, void *to);
    static la_ssize_t readView(archive *a, void *data, const void **buffer);
    static la_int64_t skipView(archive *a, void *data, la_int64_t request);
    static la_int64_t seekView(archive *a, void *data, la_int64_t offset, int whence);
    static const char *passphrase(archive *a, void *data);

    VolumeSet m_volumes;
    StopCheck m_stop;
    PassphraseSource m_passphrase;
    std::vector<std::unique_ptr<Volume>> m_clients;
    // What libarchive reads from: a volume's bytes, or our decoded stream.
    QByteArray m_buffer;
    qsizetype m_current = 0;
    bool m_stopped = false;
    // Only for a stream we decode: the input read through, and its decoder.
    std::unique_ptr<VolumeStream> m_input;
    std::unique_ptr<StreamDecoder> m_decoder;
    // Runs the decoder once libarchive starts reading; it owns m_input and
    // m_decoder from then on.
    std::unique_ptr<DecodeAhead> m_ahead;
    std::unique_ptr<DecryptedView> m_view;
    std::vector<std::unique_ptr<ViewPart>> m_viewParts;
    // Last, so it is freed first and its close callbacks find the volumes.
    std::unique_ptr<archive, ArchiveFree> m_archive;
};
