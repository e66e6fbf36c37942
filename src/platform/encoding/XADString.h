#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The raw bytes of one entry name whose encoding is not settled, with the
// encoding the engine detected for the archive's names and its confidence.
class XADString {
public:
    XADString() = default;
    XADString(QByteArray bytes, quint64 detectedEncoding, float confidence);

    QByteArray data() const { return m_bytes; }
    // Encoding number from the registry, 0 for none.
    quint64 encoding() const { return m_encoding; }
    // Trust in encoding(), 0 to 1.
    float confidence() const { return m_confidence; }

    // True when every byte sequence decodes without substitution.
    bool canDecodeWithEncoding(quint64 encoding) const;
    // The decoded text; null when the encoding is unknown or cannot decode it.
    QString stringWithEncoding(quint64 encoding) const;

    // The name the engine accepts back for an encoding number; null for 0 or
    // an unknown number.
    static QString encodingNameForEncoding(quint64 encoding);
    // The choice when nobody can be asked: the detected encoding when it
    // decodes the name, else Latin-1, which decodes any bytes.
    QString encodingNameWithoutAsking() const;

private:
    QByteArray m_bytes;
    quint64 m_encoding = 0;
    float m_confidence = 0.0f;
};
