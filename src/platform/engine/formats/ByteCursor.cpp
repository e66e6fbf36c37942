#include "platform/engine/formats/ByteCursor.h"

bool ByteCursor::has(quint64 count)
{
    if (!m_failed && count <= quint64(remaining()))
        return true;
    m_failed = true;
    return false;
}

quint8 ByteCursor::u8()
{
    return has(1) ? quint8(m_data.at(m_at++)) : 0;
}

quint16 ByteCursor::u16()
{
    const quint16 low = u8();
    return quint16(low | (quint16(u8()) << 8));
}

quint32 ByteCursor::u32()
{
    const quint32 low = u16();
    return low | (quint32(u16()) << 16);
}

// Seven bits a byte, low first; the high bit says another byte follows.
quint64 ByteCursor::vint()
{
    quint64 value = 0;
    for (int shift = 0; shift < 64 && has(1); shift += 7) {
        const quint8 byte = quint8(m_data.at(m_at++));
        value |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return value;
    }
    m_failed = true;
    return 0;
}

QByteArray ByteCursor::bytes(quint64 count)
{
    if (!has(count))
        return {};
    const QByteArray part = m_data.mid(m_at, qsizetype(count));
    m_at += qsizetype(count);
    return part;
}

void ByteCursor::skip(quint64 count)
{
    if (has(count))
        m_at += qsizetype(count);
}

void ByteCursor::seek(qsizetype offset)
{
    if (offset < 0 || offset > m_data.size())
        m_failed = true;
    else
        m_at = offset;
}
