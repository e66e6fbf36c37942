#pragma once

#include "platform/engine/streams/StreamDecoder.h"

#include <bzlib.h>

// bzip2 streams, one after another, each checked by libbz2 against its
// block CRCs and its combined stream CRC.
class Bzip2Decoder final : public StreamDecoder {
public:
    Bzip2Decoder();
    static bool matches(QByteArrayView head);

protected:
    Step decode(Buffers &buffers, bool inputEnded) override;
    bool restart() override;
    bool startsMember(QByteArrayView head) const override { return matches(head); }

private:
    struct DecompressEnd {
        void operator()(bz_stream *stream) const;
    };
    std::unique_ptr<bz_stream, DecompressEnd> m_stream;
};
