#include "platform/engine/streams/Lz4Decoder.h"

#include "platform/errors/XADException.h"

#include <cstring>

namespace {

const QByteArrayView frameMagic("\x04\x22\x4D\x18", 4);
const QByteArrayView legacyMagic("\x02\x21\x4C\x18", 4);

// liblz4 tells its errors apart by name only.
int codeForError(size_t result)
{
    const char *name = LZ4F_getErrorName(result);
    if (std::strstr(name, "Checksum_invalid") || std::strstr(name, "frameSize_wrong"))
        return XADChecksumError;
    if (std::strstr(name, "allocation_failed"))
        return XADUnknownError;
    return XADCorruptError;
}

} // namespace

Lz4Decoder::Lz4Decoder()
{
    LZ4F_dctx *context = nullptr;
    if (!LZ4F_isError(LZ4F_createDecompressionContext(&context, LZ4F_VERSION)))
        m_context.reset(context);
}

bool Lz4Decoder::matches(QByteArrayView head)
{
    return head.startsWith(frameMagic);
}

// A legacy frame after a modern one is not ours to decode, but it must not
// be dropped as trailing data either: liblz4 refuses it.
bool Lz4Decoder::startsMember(QByteArrayView head) const
{
    return head.startsWith(frameMagic) || head.startsWith(legacyMagic);
}

StreamDecoder::Step Lz4Decoder::decode(Buffers &buffers, bool)
{
    if (!m_context)
        return fail(XADUnknownError);
    size_t produced = buffers.outSize;
    size_t consumed = buffers.inSize;
    const size_t hint = LZ4F_decompress(m_context.get(), buffers.out, &produced, buffers.in, &consumed, nullptr);
    buffers.in += consumed;
    buffers.inSize -= consumed;
    buffers.out += produced;
    buffers.outSize -= produced;
    if (LZ4F_isError(hint))
        return fail(codeForError(hint));
    return hint == 0 ? Step::MemberEnded : Step::Going;
}
