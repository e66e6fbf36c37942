#include "platform/engine/streams/Bzip2Decoder.h"

#include "platform/errors/XADException.h"

void Bzip2Decoder::DecompressEnd::operator()(bz_stream *stream) const
{
    BZ2_bzDecompressEnd(stream);
    delete stream;
}

Bzip2Decoder::Bzip2Decoder()
{
    restart();
}

bool Bzip2Decoder::matches(QByteArrayView head)
{
    return head.size() >= 4 && head.first(3) == "BZh" && head[3] >= '1' && head[3] <= '9';
}

// libbz2 can only start a new stream on a fresh handle.
bool Bzip2Decoder::restart()
{
    m_stream.reset(new bz_stream{});
    if (BZ2_bzDecompressInit(m_stream.get(), 0, 0) == BZ_OK)
        return true;
    m_stream.reset();
    return false;
}

StreamDecoder::Step Bzip2Decoder::decode(Buffers &buffers, bool)
{
    bz_stream *stream = m_stream.get();
    if (!stream)
        return fail(XADUnknownError);
    stream->next_in = const_cast<char *>(reinterpret_cast<const char *>(buffers.in));
    stream->avail_in = unsigned(buffers.inSize);
    stream->next_out = reinterpret_cast<char *>(buffers.out);
    stream->avail_out = unsigned(buffers.outSize);
    const int status = BZ2_bzDecompress(stream);
    buffers.in = reinterpret_cast<const uchar *>(stream->next_in);
    buffers.inSize = stream->avail_in;
    buffers.out = reinterpret_cast<uchar *>(stream->next_out);
    buffers.outSize = stream->avail_out;
    switch (status) {
    case BZ_OK:
        return Step::Going;
    case BZ_STREAM_END:
        return Step::MemberEnded;
    // libbz2 says this chiefly of a CRC that does not match.
    case BZ_DATA_ERROR:
        return fail(XADChecksumError);
    case BZ_MEM_ERROR:
        return fail(XADUnknownError);
    default:
        return fail(XADCorruptError);
    }
}
