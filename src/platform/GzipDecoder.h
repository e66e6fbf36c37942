#pragma once

#include "StreamDecoder.h"

#include <zlib.h>

// gzip members, one after another, each checked against its CRC-32 and
// length trailer by zlib.
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
    std::unique_ptr<z_stream, InflateEnd> m_stream;
};
