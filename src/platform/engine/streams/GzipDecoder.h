#pragma once

#include "platform/engine/streams/StreamDecoder.h"

#include <zlib.h>

// gzip members, one after another, each checked against its CRC-32 and
// length trailer.
class GzipDecoder final : public StreamDecoder {
public:
    GzipDecoder();
    static bool matches(QByteArrayView head);

protected:
    Step decode(Buffers &buffers, bool inputEnded) override;
    bool restart() override;
    bool startsMember(QByteArrayView head) const override { return matches(head); }

private:
    struct InflateEnd {
        void operator()(z_stream *stream) const;
    };
    void beginMember(const Buffers &buffers);
    void keepTail(const uchar *consumed, size_t count);
    bool trailerMatches() const;

    std::unique_ptr<z_stream, InflateEnd> m_stream;
    bool m_memberBegins = true;
    // zlib's own CRC-32 is the slowest part of inflating; a faster one runs
    // here instead, over the output as it comes.
    bool m_checksHere = false;
    quint32 m_crc = 0;
    quint32 m_length = 0;
    // The last input consumed: at the end of a member, its trailer.
    uchar m_tail[8] = {};
};
