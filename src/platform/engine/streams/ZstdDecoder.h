#pragma once

#include "platform/engine/streams/StreamDecoder.h"

#include <zstd.h>

// zstd frames, one after another with skippable frames among them, each
// checked against its content checksum when it carries one.
class ZstdDecoder final : public StreamDecoder {
public:
    ZstdDecoder();
    static bool matches(QByteArrayView head);

protected:
    Step decode(Buffers &buffers, bool inputEnded) override;
    bool restart() override { return true; }
    bool startsMember(QByteArrayView head) const override { return matches(head); }
    bool ignoresTrailingData() const override { return false; }
    bool hasSkippableFrames() const override { return true; }

private:
    struct FreeContext {
        void operator()(ZSTD_DCtx *context) const { ZSTD_freeDCtx(context); }
    };
    std::unique_ptr<ZSTD_DCtx, FreeContext> m_context;
};
