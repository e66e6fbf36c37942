#pragma once

#include "platform/engine/streams/StreamDecoder.h"

#include <lz4frame.h>

// lz4 frames, one after another with skippable frames among them, each
// checked against its block and content checksums when it carries them.
class Lz4Decoder final : public StreamDecoder {
public:
    Lz4Decoder();
    static bool matches(QByteArrayView head);
    // liblz4 decodes a block straight into the output only when the largest
    // block fits; else through a buffer of its own, one copy more.
    qsizetype outputBlockSize() const override { return 4 << 20; }

protected:
    Step decode(Buffers &buffers, bool inputEnded) override;
    // liblz4 is ready for a new frame once one has ended.
    bool restart() override { return true; }
    bool startsMember(QByteArrayView head) const override;
    bool hasSkippableFrames() const override { return true; }

private:
    struct FreeContext {
        void operator()(LZ4F_dctx *context) const { LZ4F_freeDecompressionContext(context); }
    };
    std::unique_ptr<LZ4F_dctx, FreeContext> m_context;
};
