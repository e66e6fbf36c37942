#pragma once

#include <QByteArrayView>
#include <memory>

class VolumeStream;

// The outer compression layer of an archive (gzip, bzip2, xz, zstd, lz4
// frames), decoded here rather than by libarchive so that it is read to its
// very end: libarchive stops where the archive format ends, before the
// trailers that carry the last checks.
class StreamDecoder {
public:
    // The most a member check looks at: a skippable frame's header.
    static constexpr qsizetype headLength = 8;

    // The decoder for a stream that starts with head, or null when the
    // stream is not one of ours.
    static std::unique_ptr<StreamDecoder> forHead(QByteArrayView head);

    virtual ~StreamDecoder();
    StreamDecoder(const StreamDecoder &) = delete;
    StreamDecoder &operator=(const StreamDecoder &) = delete;

    // Decodes up to capacity bytes into out and returns how many. 0 once the
    // stream has ended with every check passed, or once it failed.
    qsizetype read(VolumeStream &input, char *out, qsizetype capacity);
    // The least output a read should have room for to go at full speed.
    virtual qsizetype outputBlockSize() const { return 0; }
    bool finished() const { return m_finished; }
    // An XADError; 0 while nothing went wrong.
    int error() const { return m_error; }

protected:
    StreamDecoder() = default;

    // Advanced past what a decode step consumed and produced.
    struct Buffers {
        const uchar *in = nullptr;
        size_t inSize = 0;
        uchar *out = nullptr;
        size_t outSize = 0;
    };
    enum class Step { Going, MemberEnded, Failed };

    // inputEnded: no byte follows the given input.
    virtual Step decode(Buffers &buffers, bool inputEnded) = 0;
    // Ready for the next member; false when that fails.
    virtual bool restart() = 0;
    virtual bool startsMember(QByteArrayView head) const = 0;
    // After the last member, whatever does not start another one is
    // ignored, as gzip, bzip2 and lz4 do; zstd calls it damage.
    virtual bool ignoresTrailingData() const { return true; }
    virtual bool hasSkippableFrames() const { return false; }
    Step fail(int error);

    static bool startsSkippableFrame(QByteArrayView head);
    static quint32 littleEndian32(const char *bytes);

private:
    static qint64 skippableFramesLength(QByteArrayView head);
    void startMember(QByteArrayView head);
    void skip(VolumeStream &input);
    void decodeSome(VolumeStream &input, Buffers &buffers);

    qint64 m_skipping = 0;
    bool m_atBoundary = true;
    bool m_finished = false;
    int m_error = 0;
};
