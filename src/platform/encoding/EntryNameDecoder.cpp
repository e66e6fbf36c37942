#include "platform/encoding/EntryNameDecoder.h"

#include "platform/encoding/EncodingDetector.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/IcuTextCodec.h"
#include "platform/encoding/NamePlausibility.h"

#include <algorithm>

namespace {

bool isAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return quint8(c) < 0x80; });
}

} // namespace

void EntryNameDecoder::setOrigin(EncodingDetector::Origin origin)
{
    if (m_origin != origin) {
        m_origin = origin;
        m_guessIsCurrent = false;
    }
}

void EntryNameDecoder::addSampleNames(const QList<QByteArray> &names)
{
    for (const QByteArray &name : names) {
        if (isAscii(name))
            continue;
        m_declaredLegacy.insert(name);
        m_declaredLegacyAllUtf8 = m_declaredLegacyAllUtf8 && isValidUtf8(name);
    }
    // Samples in UTF-8 throughout are a UTF-8 archive without the flag; they
    // would only blur the picture of the ones that are not.
    for (const QByteArray &name : names) {
        if (!isValidUtf8(name) || !m_declaredLegacyAllUtf8)
            addLegacyName(name);
    }
}

void EntryNameDecoder::addUndeclaredSamples(const QList<QByteArray> &names)
{
    m_namesUndeclared = true;
    for (const QByteArray &name : names) {
        if (!isValidUtf8(name))
            addLegacyName(name);
    }
}

void EntryNameDecoder::addLegacyName(const QByteArray &name)
{
    // ASCII decodes alike in every candidate and says nothing.
    if (isAscii(name) || m_sampleSet.contains(name))
        return;
    if (m_sampleBytes >= maximumSampleBytes)
        return;
    m_sampleSet.insert(name);
    m_samples.append(name);
    m_sampleBytes += name.size();
}

// A name is legacy when it is not UTF-8, or when the archive's own list says
// its names are in a code page and this one only looks like UTF-8 by chance
// (short GBK or Big5 names often do), or when, in a format that declares
// nothing about its names, among legacy names, it reads as UTF-8 into
// letters nobody writes (EUC-JP's 表 is UTF-8's ɽ).
bool EntryNameDecoder::isLegacyName(const QByteArray &raw) const
{
    if (!isValidUtf8(raw))
        return true;
    if (!m_declaredLegacyAllUtf8 && m_declaredLegacy.contains(raw))
        return true;
    return m_namesUndeclared && !m_samples.isEmpty() && !readsAsUtf8Text(raw);
}

bool EntryNameDecoder::readsAsUtf8Text(const QByteArray &raw)
{
    if (isAscii(raw))
        return true;
    NamePlausibility::DecodedName name;
    name.raw = raw;
    const std::optional<QString> text = IcuTextCodec("UTF-8").decode(raw, &name.offsets);
    if (!text)
        return false;
    name.text = *text;
    // Below zero: more of it is what wrong tables make than text (IPA
    // letters, symbols), whatever the script.
    return NamePlausibility::assess({name}, NamePlausibility::Family::SingleByte).score >= 0;
}

QString EntryNameDecoder::decode(const QByteArray &raw, const EncodingChooser &choose)
{
    if (!isLegacyName(raw))
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
    // rather than refuse the entry, but keep control characters out of it.
    QString forced = IcuTextCodec::decodeReplacing(
        raw, EncodingRegistry::instance().nameForNumber(number).toLatin1().constData());
    for (QChar &c : forced) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
            c = QChar::ReplacementCharacter;
    }
    return forced;
}

bool EntryNameDecoder::guessNeedsRenewal(const QByteArray &raw) const
{
    if (!m_guessIsCurrent)
        return true;
    if (m_sampleBytes == m_guessSampleBytes)
        return false;
    if (m_samples.size() <= eagerSampleCount || m_sampleBytes * 2 >= m_guessSampleBytes * 3)
        return true;
    return !XADString(raw, 0, 0).canDecodeWithEncoding(m_guessEncoding);
}

XADString EntryNameDecoder::stringForLegacyName(const QByteArray &raw)
{
    addLegacyName(raw);
    if (guessNeedsRenewal(raw)) {
        const EncodingDetector::Guess guess = EncodingDetector::detect(m_samples, m_origin);
        m_guessEncoding = guess.encoding;
        m_guessConfidence = guess.confidence;
        m_guessSampleBytes = m_sampleBytes;
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
