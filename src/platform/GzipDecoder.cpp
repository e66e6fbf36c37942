#include "GzipDecoder.h"

#include "XADException.h"

#include <cstring>

namespace {

// zlib names its failed checks only in its message.
bool isCheckFailure(const char *message)
{
    if (!message)
        return false;
    return std::strcmp(message, "incorrect data check") == 0 || std::strcmp(message, "incorrect length check") == 0
           || std::strcmp(message, "header crc mismatch") == 0;
}

} // namespace

void GzipDecoder::InflateEnd::operator()(z_stream *stream) const
{
    inflateEnd(stream);
    delete stream;
}

GzipDecoder::GzipDecoder() : m_stream(new z_stream{})
{
    // 16 + MAX_WBITS: gzip wrapping only, so zlib checks every trailer.
    if (inflateInit2(m_stream.get(), 16 + MAX_WBITS) != Z_OK)
        m_stream.reset();
}

bool GzipDecoder::matches(QByteArrayView head)
{
    return head.size() >= 2 && uchar(head[0]) == 0x1f && uchar(head[1]) == 0x8b;
}

StreamDecoder::Step GzipDecoder::decode(Buffers &buffers, bool)
{
    z_stream *stream = m_stream.get();
    if (!stream)
        return fail(XADUnknownError);
    stream->next_in = const_cast<Bytef *>(buffers.in);
    stream->avail_in = uInt(buffers.inSize);
    stream->next_out = buffers.out;
    stream->avail_out = uInt(buffers.outSize);
    const int status = inflate(stream, Z_NO_FLUSH);
    buffers.in = stream->next_in;
    buffers.inSize = stream->avail_in;
    buffers.out = stream->next_out;
    buffers.outSize = stream->avail_out;
    switch (status) {
    case Z_OK:
    case Z_BUF_ERROR: // no progress possible: the caller tells why
        return Step::Going;
    case Z_STREAM_END:
        return Step::MemberEnded;
    case Z_DATA_ERROR:
        return fail(isCheckFailure(stream->msg) ? XADChecksumError : XADCorruptError);
    case Z_MEM_ERROR:
        return fail(XADUnknownError);
    default:
        return fail(XADCorruptError);
    }
}

bool GzipDecoder::restart()
{
    return m_stream && inflateReset(m_stream.get()) == Z_OK;
}
