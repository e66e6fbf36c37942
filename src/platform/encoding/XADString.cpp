#include "platform/encoding/XADString.h"

#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/IcuTextCodec.h"

#include <utility>

namespace {

// A name that decodes to control characters was not written in that
// encoding: no file system lets people type them into a name.
bool hasControlCharacters(const QString &text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            return true;
    }
    return false;
}

std::optional<QString> decodeCleanly(const QByteArray &bytes, quint64 encoding)
{
    const QString name = EncodingRegistry::instance().nameForNumber(encoding);
    if (name.isEmpty())
        return std::nullopt;
    std::optional<QString> text = IcuTextCodec::decodeStrict(bytes, name.toLatin1().constData());
    if (!text || hasControlCharacters(*text))
        return std::nullopt;
    return text;
}

} // namespace

XADString::XADString(QByteArray bytes, quint64 detectedEncoding, float confidence)
    : m_bytes(std::move(bytes)), m_encoding(detectedEncoding), m_confidence(confidence)
{
}

bool XADString::canDecodeWithEncoding(quint64 encoding) const
{
    return decodeCleanly(m_bytes, encoding).has_value();
}

QString XADString::stringWithEncoding(quint64 encoding) const
{
    return decodeCleanly(m_bytes, encoding).value_or(QString());
}

QString XADString::encodingNameForEncoding(quint64 encoding)
{
    return EncodingRegistry::instance().nameForNumber(encoding);
}

QString XADString::encodingNameWithoutAsking() const
{
    if (m_encoding != 0 && canDecodeWithEncoding(m_encoding))
        return encodingNameForEncoding(m_encoding);
    return u"ISO-8859-1"_qs;
}
