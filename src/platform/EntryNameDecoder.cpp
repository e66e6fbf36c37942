#include "EntryNameDecoder.h"

#include "EncodingDetector.h"
#include "EncodingRegistry.h"
#include "IcuTextCodec.h"

void EntryNameDecoder::setPrefersOEMCodePages(bool on)
{
    if (m_prefersOEM != on) {
        m_prefersOEM = on;
        m_guessIsCurrent = false;
    }
}

void EntryNameDecoder::addSampleNames(const QList<QByteArray> &names)
{
    for (const QByteArray &name : names)
        addLegacyName(name);
}

void EntryNameDecoder::addLegacyName(const QByteArray &name)
{
    // Plain UTF-8 (and so plain ASCII) names say nothing about the legacy
    // encoding; only the others are weighed.
    if (isValidUtf8(name) || m_sampleSet.contains(name))
        return;
    // Past this much text the guess is settled; more would only cost time
    // on archives with very many entries.
    if (m_sampleBytes >= maximumSampleBytes)
        return;
    m_sampleSet.insert(name);
    m_samples.append(name);
    m_sampleBytes += name.size();
    m_guessIsCurrent = false;
}

QString EntryNameDecoder::decode(const QByteArray &raw, const EncodingChooser &choose)
{
    if (isValidUtf8(raw))
        return QString::fromUtf8(raw);
    const XADString string = stringForLegacyName(raw);
    const QString chosen = choose ? choose(string) : QString();
    if (chosen.isNull())
        return {};
    const quint64 number = EncodingRegistry::instance().numberForName(chosen);
    if (number == 0)
        return {};
    const QString clean = string.stringWithEncoding(number);
    if (!clean.isNull())
        return clean;
    // The user insisted on this encoding: show what it makes of the name
    // rather than refuse the entry.
    return IcuTextCodec::decodeReplacing(raw, chosen.toLatin1().constData());
}

XADString EntryNameDecoder::stringForLegacyName(const QByteArray &raw)
{
    addLegacyName(raw);
    if (!m_guessIsCurrent) {
        const EncodingDetector::Guess guess = EncodingDetector::detect(m_samples, m_prefersOEM);
        m_guessEncoding = guess.encoding;
        m_guessConfidence = guess.confidence;
        m_guessIsCurrent = true;
    }
    return XADString(raw, m_guessEncoding, m_guessConfidence);
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
// Legacy double-byte names often pass a lenient check by accident.
bool EntryNameDecoder::isValidUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto *end = p + bytes.size();
    while (p < end) {
        const unsigned char lead = *p++;
        if (lead < 0x80)
            continue;
        int trail = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            trail = 1, code = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trail = 2, code = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trail = 3, code = lead & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (end - p < trail)
            return false;
        for (int i = 0; i < trail; ++i, ++p) {
            if ((*p & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (*p & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
    }
    return true;
}
