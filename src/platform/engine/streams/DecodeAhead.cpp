#include "platform/engine/streams/DecodeAhead.h"

#include "platform/engine/streams/StreamDecoder.h"
#include "platform/engine/streams/VolumeStream.h"

namespace {

// Enough to ride out an uneven decoder; little enough to keep memory small.
constexpr int blocksAhead = 4;

} // namespace

DecodeAhead::DecodeAhead(StreamDecoder &decoder, VolumeStream &input, qsizetype blockSize)
    : m_decoder(decoder), m_input(input)
{
    for (int i = 0; i < blocksAhead; ++i) {
        m_buffers.emplace_back(blockSize, Qt::Uninitialized);
        m_free.push_back(i);
    }
    m_thread = std::thread([this] { produce(); });
}

DecodeAhead::~DecodeAhead()
{
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void DecodeAhead::produce()
{
    for (;;) {
        int buffer = -1;
        {
            std::unique_lock lock(m_lock);
            m_changed.wait(lock, [&] { return m_stopping || !m_free.empty(); });
            if (m_stopping)
                break;
            buffer = m_free.front();
            m_free.pop_front();
        }
        QByteArray &out = m_buffers[size_t(buffer)];
        const qsizetype got = m_decoder.read(m_input, out.data(), out.size());
        {
            std::lock_guard lock(m_lock);
            m_ready.push_back({buffer, got, m_input.consumed(), m_decoder.error(), m_decoder.finished()});
        }
        m_changed.notify_all();
        if (got == 0)
            break;
    }
    std::lock_guard lock(m_lock);
    m_ended = true;
    m_changed.notify_all();
}

qsizetype DecodeAhead::next(const char **data)
{
    std::unique_lock lock(m_lock);
    if (m_handedOut >= 0) {
        m_free.push_back(m_handedOut);
        m_handedOut = -1;
        m_changed.notify_all();
    }
    m_changed.wait(lock, [&] { return !m_ready.empty() || m_ended; });
    if (m_ready.empty())
        return 0;
    const Block block = m_ready.front();
    m_ready.pop_front();
    m_consumed = block.consumed;
    m_error = block.error;
    m_finished = block.finished;
    if (block.size == 0) {
        m_free.push_back(block.buffer);
        m_changed.notify_all();
        return 0;
    }
    m_handedOut = block.buffer;
    *data = m_buffers[size_t(block.buffer)].constData();
    return block.size;
}
