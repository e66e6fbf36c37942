#include "platform/engine/streams/GzipDecoder.h"

#include "platform/engine/formats/Crc32.h"
#include "platform/errors/XADException.h"

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
    // 16 + MAX_WBITS: gzip wrapping only.
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
    if (m_memberBegins)
        beginMember(buffers);
    const uchar *in = buffers.in;
    uchar *out = buffers.out;
    stream->next_in = const_cast<Bytef *>(buffers.in);
    stream->avail_in = uInt(buffers.inSize);
    stream->next_out = buffers.out;
    stream->avail_out = uInt(buffers.outSize);
    const int status = inflate(stream, Z_NO_FLUSH);
    buffers.in = stream->next_in;
    buffers.inSize = stream->avail_in;
    buffers.out = stream->next_out;
    buffers.outSize = stream->avail_out;
    if (m_checksHere) {
        m_crc = Crc32::of(out, size_t(buffers.out - out), m_crc);
        m_length += quint32(buffers.out - out);
        keepTail(in, size_t(buffers.in - in));
    }
    switch (status) {
    case Z_OK:
    case Z_BUF_ERROR: // no progress possible: the caller tells why
        return Step::Going;
    case Z_STREAM_END:
        return m_checksHere && !trailerMatches() ? fail(XADChecksumError) : Step::MemberEnded;
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
    m_memberBegins = true;
    return m_stream && inflateReset(m_stream.get()) == Z_OK;
}

// zlib checks a header's own CRC only along with the data's: the rare
// member that has one is left to zlib whole.
void GzipDecoder::beginMember(const Buffers &buffers)
{
    m_memberBegins = false;
    m_checksHere = buffers.inSize >= 4 && !(buffers.in[3] & 0x02);
    inflateValidate(m_stream.get(), m_checksHere ? 0 : 1);
    m_crc = 0;
    m_length = 0;
}

void GzipDecoder::keepTail(const uchar *consumed, size_t count)
{
    const size_t size = sizeof(m_tail);
    if (count >= size) {
        std::memcpy(m_tail, consumed + count - size, size);
    } else if (count > 0) {
        std::memmove(m_tail, m_tail + count, size - count);
        std::memcpy(m_tail + size - count, consumed, count);
    }
}

bool GzipDecoder::trailerMatches() const
{
    const auto *tail = reinterpret_cast<const char *>(m_tail);
    return littleEndian32(tail) == m_crc && littleEndian32(tail + 4) == m_length;
}
