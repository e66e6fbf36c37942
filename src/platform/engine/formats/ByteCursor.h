#pragma once

#include <QByteArray>
#include <QtGlobal>

// Reads little-endian fields and RAR5's variable-length integers from a
// header held in memory. A read past the end sets failed() and yields 0, so
// a damaged header is noticed once, after parsing, instead of at each field.
class ByteCursor {
public:
    explicit ByteCursor(QByteArray data) : m_data(std::move(data)) {}

    quint8 u8();
    quint16 u16();
    quint32 u32();
    quint64 vint();
    QByteArray bytes(quint64 count);
    void skip(quint64 count);
    void seek(qsizetype offset);

    qsizetype position() const { return m_at; }
    qsizetype remaining() const { return m_data.size() - m_at; }
    bool failed() const { return m_failed; }
    const QByteArray &data() const { return m_data; }

private:
    bool has(quint64 count);

    QByteArray m_data;
    qsizetype m_at = 0;
    bool m_failed = false;
};
