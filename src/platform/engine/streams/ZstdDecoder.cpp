#include "platform/engine/streams/ZstdDecoder.h"

#include "platform/errors/XADException.h"

#include <zstd_errors.h>

ZstdDecoder::ZstdDecoder() : m_context(ZSTD_createDCtx())
{
    // Frames made for long-distance matching declare windows beyond the
    // library's default limit; the format allows them, so do we.
    if (m_context)
        ZSTD_DCtx_setParameter(m_context.get(), ZSTD_d_windowLogMax,
                               ZSTD_dParam_getBounds(ZSTD_d_windowLogMax).upperBound);
}

bool ZstdDecoder::matches(QByteArrayView head)
{
    return head.startsWith(QByteArrayView("\x28\xB5\x2F\xFD", 4));
}

StreamDecoder::Step ZstdDecoder::decode(Buffers &buffers, bool)
{
    if (!m_context)
        return fail(XADUnknownError);
    ZSTD_inBuffer in = {buffers.in, buffers.inSize, 0};
    ZSTD_outBuffer out = {buffers.out, buffers.outSize, 0};
    const size_t hint = ZSTD_decompressStream(m_context.get(), &out, &in);
    buffers.in += in.pos;
    buffers.inSize -= in.pos;
    buffers.out += out.pos;
    buffers.outSize -= out.pos;
    if (!ZSTD_isError(hint))
        return hint == 0 ? Step::MemberEnded : Step::Going;
    switch (ZSTD_getErrorCode(hint)) {
    case ZSTD_error_checksum_wrong:
        return fail(XADChecksumError);
    case ZSTD_error_memory_allocation:
        return fail(XADUnknownError);
    case ZSTD_error_frameParameter_unsupported:
    case ZSTD_error_frameParameter_windowTooLarge:
        return fail(XADUnsupportedMethodError);
    default:
        return fail(XADCorruptError);
    }
}
