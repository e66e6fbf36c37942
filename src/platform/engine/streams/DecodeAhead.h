#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class StreamDecoder;
class VolumeStream;

// Decodes an archive's outer compression layer on a thread of its own, a
// few blocks ahead of the reader: a tar.gz is then unzipped on one core
// while its files are written on the other. Blocks come out in order; the
// one last handed out stays untouched until the next is asked for, as
// libarchive expects of its input.
class DecodeAhead {
public:
    DecodeAhead(StreamDecoder &decoder, VolumeStream &input, qsizetype blockSize);
    ~DecodeAhead();
    DecodeAhead(const DecodeAhead &) = delete;
    DecodeAhead &operator=(const DecodeAhead &) = delete;

    // The next block of output; 0 bytes once the stream ended or failed.
    qsizetype next(const char **data);
    // Input the decoder had consumed when it made the last block handed out.
    qint64 consumed() const { return m_consumed; }
    // How the decoder stood when it made that block: its error (0 for none),
    // and whether the stream had ended with every check passed.
    int error() const { return m_error; }
    bool finished() const { return m_finished; }

private:
    struct Block {
        int buffer = -1;
        qsizetype size = 0;
        qint64 consumed = 0;
        int error = 0;
        bool finished = false;
    };

    void produce();

    StreamDecoder &m_decoder;
    VolumeStream &m_input;
    std::vector<QByteArray> m_buffers;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<int> m_free;
    std::deque<Block> m_ready;
    bool m_stopping = false;
    bool m_ended = false; // the producer is done
    int m_handedOut = -1;
    qint64 m_consumed = 0;
    int m_error = 0;
    bool m_finished = false;
    std::thread m_thread;
};
