#include "platform/engine/streams/XzDecoder.h"

#include "platform/errors/XADException.h"

void XzDecoder::End::operator()(lzma_stream *stream) const
{
    lzma_end(stream);
    delete stream;
}

XzDecoder::XzDecoder() : m_stream(new lzma_stream{})
{
    if (lzma_stream_decoder(m_stream.get(), UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK)
        m_stream.reset();
}

bool XzDecoder::matches(QByteArrayView head)
{
    return head.startsWith(QByteArrayView("\xFD" "7zXZ\0", 6));
}

StreamDecoder::Step XzDecoder::decode(Buffers &buffers, bool inputEnded)
{
    lzma_stream *stream = m_stream.get();
    if (!stream)
        return fail(XADUnknownError);
    stream->next_in = buffers.in;
    stream->avail_in = buffers.inSize;
    stream->next_out = buffers.out;
    stream->avail_out = buffers.outSize;
    // Only told that the input is over does liblzma check that the last
    // stream is whole.
    const lzma_ret status = lzma_code(stream, inputEnded ? LZMA_FINISH : LZMA_RUN);
    buffers.in = stream->next_in;
    buffers.inSize = stream->avail_in;
    buffers.out = stream->next_out;
    buffers.outSize = stream->avail_out;
    switch (status) {
    case LZMA_OK:
        return Step::Going;
    case LZMA_STREAM_END:
        return Step::MemberEnded;
    case LZMA_BUF_ERROR:
        return fail(XADTruncatedError);
    // Failed checks are what liblzma reports this for above all.
    case LZMA_DATA_ERROR:
        return fail(XADChecksumError);
    case LZMA_OPTIONS_ERROR:
        return fail(XADUnsupportedMethodError);
    case LZMA_MEM_ERROR:
    case LZMA_MEMLIMIT_ERROR:
        return fail(XADUnknownError);
    default:
        return fail(XADCorruptError);
    }
}
