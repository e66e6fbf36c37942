#include "platform/engine/streams/StreamDecoder.h"

#include "platform/engine/streams/Bzip2Decoder.h"
#include "platform/engine/streams/GzipDecoder.h"
#include "platform/engine/streams/Lz4Decoder.h"
#include "platform/engine/streams/VolumeStream.h"
#include "platform/errors/XADException.h"
#include "platform/engine/streams/XzDecoder.h"
#include "platform/engine/streams/ZstdDecoder.h"

std::unique_ptr<StreamDecoder> StreamDecoder::forHead(QByteArrayView head)
{
    if (GzipDecoder::matches(head))
        return std::make_unique<GzipDecoder>();
    if (Bzip2Decoder::matches(head))
        return std::make_unique<Bzip2Decoder>();
    if (XzDecoder::matches(head))
        return std::make_unique<XzDecoder>();
    // zstd and lz4 share skippable frames; the first real frame tells them apart.
    const qint64 skipped = skippableFramesLength(head);
    if (skipped < head.size() && Lz4Decoder::matches(head.sliced(skipped)))
        return std::make_unique<Lz4Decoder>();
    if (ZstdDecoder::matches(head) || skipped > 0)
        return std::make_unique<ZstdDecoder>();
    return nullptr;
}

StreamDecoder::~StreamDecoder() = default;

qsizetype StreamDecoder::read(VolumeStream &input, char *out, qsizetype capacity)
{
    Buffers buffers;
    buffers.out = reinterpret_cast<uchar *>(out);
    buffers.outSize = size_t(capacity);
    while (buffers.outSize > 0 && !m_finished && !m_error) {
        if (!input.fill(m_atBoundary ? headLength : 1))
            fail(XADOpenFileError);
        else if (m_skipping > 0)
            skip(input);
        else if (m_atBoundary)
            startMember(input.unread());
        else
            decodeSome(input, buffers);
    }
    return capacity - qsizetype(buffers.outSize);
}

StreamDecoder::Step StreamDecoder::fail(int error)
{
    if (!m_error)
        m_error = error;
    return Step::Failed;
}

bool StreamDecoder::startsSkippableFrame(QByteArrayView head)
{
    return head.size() >= 4 && (littleEndian32(head.data()) & 0xFFFFFFF0u) == 0x184D2A50u;
}

quint32 StreamDecoder::littleEndian32(const char *bytes)
{
    const auto *b = reinterpret_cast<const uchar *>(bytes);
    return quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
}

qint64 StreamDecoder::skippableFramesLength(QByteArrayView head)
{
    qint64 at = 0;
    while (head.size() - at >= headLength && startsSkippableFrame(head.sliced(at)))
        at += headLength + littleEndian32(head.data() + at + 4);
    return at;
}

void StreamDecoder::startMember(QByteArrayView head)
{
    if (head.isEmpty()) {
        m_finished = true;
    } else if (hasSkippableFrames() && startsSkippableFrame(head)) {
        // A skippable frame cut short loses nothing that would be decoded.
        if (head.size() < headLength)
            m_finished = true;
        else
            m_skipping = headLength + littleEndian32(head.data() + 4);
    } else if (startsMember(head)) {
        m_atBoundary = false;
    } else if (ignoresTrailingData()) {
        m_finished = true;
    } else {
        fail(XADCorruptError);
    }
}

void StreamDecoder::skip(VolumeStream &input)
{
    const qsizetype count = qsizetype(qMin<qint64>(m_skipping, input.unread().size()));
    if (count == 0) {
        m_finished = true;
        return;
    }
    input.consume(count);
    m_skipping -= count;
}

void StreamDecoder::decodeSome(VolumeStream &input, Buffers &buffers)
{
    const QByteArrayView unread = input.unread();
    buffers.in = reinterpret_cast<const uchar *>(unread.data());
    buffers.inSize = size_t(unread.size());
    const size_t room = buffers.outSize;
    const Step step = decode(buffers, unread.isEmpty());
    const qsizetype used = unread.size() - qsizetype(buffers.inSize);
    input.consume(used);
    if (step == Step::MemberEnded) {
        m_atBoundary = true;
        if (!restart())
            fail(XADUnknownError);
    } else if (step == Step::Going && used == 0 && buffers.outSize == room) {
        // Nothing moved: at the end of the input the member is cut short;
        // anywhere else the library is stuck on data it cannot take.
        fail(unread.isEmpty() ? XADTruncatedError : XADCorruptError);
    }
}
