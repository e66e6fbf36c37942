#pragma once

#include "platform/engine/streams/StreamDecoder.h"

#include <lzma.h>

// xz streams with their padding, concatenated as liblzma reads them, each
// block verified against its integrity check and each index against the
// blocks it lists.
class XzDecoder final : public StreamDecoder {
public:
    XzDecoder();
    static bool matches(QByteArrayView head);

protected:
    Step decode(Buffers &buffers, bool inputEnded) override;
    // liblzma itself goes on from one stream to the next.
    bool restart() override { return true; }
    bool startsMember(QByteArrayView head) const override { return matches(head); }

private:
    struct End {
        void operator()(lzma_stream *stream) const;
    };
    std::unique_ptr<lzma_stream, End> m_stream;
};
