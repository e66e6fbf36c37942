#include "platform/encoding/EncodingRegistry.h"

#include "platform/encoding/CodePageNames.h"
#include "platform/encoding/IcuTextCodec.h"

#include <QHash>
#include <QSet>
#include <unicode/ucnv.h>

#include <algorithm>
#include <array>

namespace {

// Numbers of the encodings people meet in archives. They are the numbers the
// desktop platform this program first ran on uses for the same encodings, so
// that settings and logs read alike everywhere; everything else is hashed.
struct KnownEncoding {
    const char *alias;
    quint64 number;
    const char *displayName;
};

constexpr quint64 ext(quint64 code) { return 0x80000000ULL | code; }

constexpr std::array knownEncodings{
    KnownEncoding{"US-ASCII", 1, "Western (ASCII)"},
    KnownEncoding{"EUC-JP", 3, "Japanese (EUC)"},
    KnownEncoding{"UTF-8", EncodingRegistry::UTF8, "Unicode (UTF-8)"},
    KnownEncoding{"ISO-8859-1", 5, "Western (ISO Latin 1)"},
    KnownEncoding{"Shift_JIS", 8, "Japanese (Shift JIS)"},
    KnownEncoding{"ISO-8859-2", 9, "Central European (ISO Latin 2)"},
    KnownEncoding{"UTF-16", EncodingRegistry::UTF16, "Unicode (UTF-16)"},
    KnownEncoding{"windows-1251", 11, "Cyrillic (Windows 1251)"},
    KnownEncoding{"windows-1252", 12, "Western (Windows 1252)"},
    KnownEncoding{"windows-1253", 13, "Greek (Windows 1253)"},
    KnownEncoding{"windows-1254", 14, "Turkish (Windows 1254)"},
    KnownEncoding{"windows-1250", 15, "Central European (Windows 1250)"},
    KnownEncoding{"ISO-2022-JP", 21, "Japanese (ISO 2022-JP)"},
    KnownEncoding{"macintosh", 30, "Western (Mac OS Roman)"},
    KnownEncoding{"x-mac-greek", ext(0x06), "Greek (Mac OS)"},
    KnownEncoding{"x-mac-cyrillic", ext(0x07), "Cyrillic (Mac OS)"},
    KnownEncoding{"x-mac-centraleurroman", ext(0x1D), "Central European (Mac OS)"},
    KnownEncoding{"x-mac-turkish", ext(0x23), "Turkish (Mac OS)"},
    KnownEncoding{"ISO-8859-3", ext(0x203), "Western (ISO Latin 3)"},
    KnownEncoding{"ISO-8859-4", ext(0x204), "Central European (ISO Latin 4)"},
    KnownEncoding{"ISO-8859-5", ext(0x205), "Cyrillic (ISO 8859-5)"},
    KnownEncoding{"ISO-8859-6", ext(0x206), "Arabic (ISO 8859-6)"},
    KnownEncoding{"ISO-8859-7", ext(0x207), "Greek (ISO 8859-7)"},
    KnownEncoding{"ISO-8859-8", ext(0x208), "Hebrew (ISO 8859-8)"},
    KnownEncoding{"ISO-8859-9", ext(0x209), "Turkish (ISO Latin 5)"},
    KnownEncoding{"ISO-8859-10", ext(0x20A), "Nordic (ISO Latin 6)"},
    KnownEncoding{"TIS-620", ext(0x20B), "Thai (TIS 620)"},
    KnownEncoding{"ISO-8859-13", ext(0x20D), "Baltic (ISO Latin 7)"},
    KnownEncoding{"ISO-8859-14", ext(0x20E), "Celtic (ISO Latin 8)"},
    KnownEncoding{"ISO-8859-15", ext(0x20F), "Western (ISO Latin 9)"},
    KnownEncoding{"IBM437", ext(0x400), "Latin-US (DOS 437)"},
    KnownEncoding{"ibm-737", ext(0x405), "Greek (DOS 737)"},
    KnownEncoding{"IBM775", ext(0x406), "Baltic (DOS 775)"},
    KnownEncoding{"IBM850", ext(0x410), "Western (DOS 850)"},
    KnownEncoding{"IBM851", ext(0x411), "Greek (DOS 851)"},
    KnownEncoding{"IBM852", ext(0x412), "Central European (DOS 852)"},
    KnownEncoding{"IBM855", ext(0x413), "Cyrillic (DOS 855)"},
    KnownEncoding{"IBM857", ext(0x414), "Turkish (DOS 857)"},
    KnownEncoding{"IBM860", ext(0x415), "Portuguese (DOS 860)"},
    KnownEncoding{"IBM861", ext(0x416), "Icelandic (DOS 861)"},
    KnownEncoding{"IBM862", ext(0x417), "Hebrew (DOS 862)"},
    KnownEncoding{"IBM863", ext(0x418), "Canadian French (DOS 863)"},
    KnownEncoding{"IBM864", ext(0x419), "Arabic (DOS 864)"},
    KnownEncoding{"IBM865", ext(0x41A), "Nordic (DOS 865)"},
    KnownEncoding{"IBM866", ext(0x41B), "Cyrillic (DOS 866)"},
    KnownEncoding{"IBM869", ext(0x41C), "Greek (DOS 869)"},
    KnownEncoding{"windows-874", ext(0x41D), "Thai (Windows 874)"},
    KnownEncoding{"GBK", ext(0x421), "Chinese Simplified (GBK)"},
    KnownEncoding{"windows-949", ext(0x422), "Korean (Windows 949)"},
    KnownEncoding{"windows-1255", ext(0x505), "Hebrew (Windows 1255)"},
    KnownEncoding{"windows-1256", ext(0x506), "Arabic (Windows 1256)"},
    KnownEncoding{"windows-1257", ext(0x507), "Baltic (Windows 1257)"},
    KnownEncoding{"windows-1258", ext(0x508), "Vietnamese (Windows 1258)"},
    KnownEncoding{"gb18030", ext(0x632), "Chinese Simplified (GB 18030)"},
    KnownEncoding{"ISO-2022-CN", ext(0x830), "Chinese (ISO 2022-CN)"},
    KnownEncoding{"ISO-2022-KR", ext(0x840), "Korean (ISO 2022-KR)"},
    KnownEncoding{"GB2312", ext(0x930), "Chinese Simplified (GB 2312)"},
    KnownEncoding{"EUC-KR", ext(0x940), "Korean (EUC)"},
    KnownEncoding{"KOI8-R", ext(0xA02), "Cyrillic (KOI8-R)"},
    KnownEncoding{"Big5", ext(0xA03), "Chinese Traditional (Big 5)"},
    KnownEncoding{"HZ-GB-2312", ext(0xA05), "Chinese Simplified (HZ GB 2312)"},
    KnownEncoding{"Big5-HKSCS", ext(0xA06), "Chinese Traditional (Big 5 HKSCS)"},
    KnownEncoding{"KOI8-U", ext(0xA08), "Ukrainian (KOI8-U)"},
    KnownEncoding{"IBM037", ext(0xC02), "Western (EBCDIC US, 037)"},
    KnownEncoding{"UTF-7", 0x84000100ULL, "Unicode (UTF-7)"},
    KnownEncoding{"UTF-32", 0x8C000100ULL, "Unicode (UTF-32)"},
    KnownEncoding{"UTF-16BE", 0x90000100ULL, "Unicode (UTF-16BE)"},
    KnownEncoding{"UTF-16LE", 0x94000100ULL, "Unicode (UTF-16LE)"},
    KnownEncoding{"UTF-32BE", 0x98000100ULL, "Unicode (UTF-32BE)"},
    KnownEncoding{"UTF-32LE", 0x9C000100ULL, "Unicode (UTF-32LE)"},
};

// Hashed numbers live in [2^62, 2^63): far above every number in the table,
// and still positive where they travel as signed 64-bit values.
constexpr quint64 hashedBit = 1ULL << 62;

quint64 hashedNumber(const QByteArray &name)
{
    quint64 hash = 14695981039346656037ULL; // FNV-1a
    for (char c : name) {
        hash ^= quint8(c);
        hash *= 1099511628211ULL;
    }
    return (hash & (hashedBit - 1)) | hashedBit;
}

// Converters that only repeat another one with a byte-order or line-end
// twist; listing them would show the same text twice.
bool isRedundantVariant(const QByteArray &name)
{
    return name.contains("PlatformEndian") || name.contains("OppositeEndian")
        || name.contains(",swaplfnl")
        || (name.startsWith("UTF-") && name.contains(",version="));
}

QByteArray standardName(const char *converter, const char *standard)
{
    UErrorCode error = U_ZERO_ERROR;
    const char *name = ucnv_getStandardName(converter, standard, &error);
    return U_SUCCESS(error) && name ? QByteArray(name) : QByteArray();
}

// The name handed to the engine and shown when there is no display name:
// the one a person is likeliest to recognise.
QByteArray preferredName(const char *converter)
{
    for (const char *standard : {"MIME", "IANA", "WINDOWS"}) {
        QByteArray name = standardName(converter, standard);
        if (!name.isEmpty() && IcuTextCodec::converterNameFor(name.constData()) == converter)
            return name;
    }
    return QByteArray(converter);
}

} // namespace

EncodingRegistry::EncodingRegistry()
{
    QHash<QByteArray, const KnownEncoding *> known;
    for (const KnownEncoding &encoding : knownEncodings) {
        QByteArray converter = IcuTextCodec::converterNameFor(encoding.alias);
        if (!converter.isEmpty())
            known.insert(converter, &encoding);
    }

    QList<QByteArray> converters;
    const int32_t count = ucnv_countAvailable();
    for (int32_t i = 0; i < count; ++i) {
        QByteArray name(ucnv_getAvailableName(i));
        if (!isRedundantVariant(name))
            converters.append(name);
    }
    // Collisions between hashes are settled in name order, so the outcome
    // does not depend on the order ICU lists its converters in.
    std::sort(converters.begin(), converters.end());

    QSet<quint64> taken;
    // A name shown once: the entries of the table above come first, then the
    // first converter of a name in name order.
    QSet<QString> shownNames;
    for (const KnownEncoding &encoding : knownEncodings) {
        taken.insert(encoding.number);
        shownNames.insert(QString::fromUtf8(encoding.displayName));
    }
    for (const QByteArray &converter : std::as_const(converters)) {
        Encoding entry;
        if (const KnownEncoding *k = known.value(converter)) {
            entry.number = k->number;
            entry.name = QString::fromLatin1(k->alias);
            entry.displayName = QString::fromUtf8(k->displayName);
        } else {
            QByteArray salted = converter;
            entry.number = hashedNumber(salted);
            while (taken.contains(entry.number)) {
                salted += '#';
                entry.number = hashedNumber(salted);
            }
            taken.insert(entry.number);
            entry.name = QString::fromLatin1(preferredName(converter.constData()));
            const QString displayName = CodePageNames::displayName(converter.constData());
            if (!shownNames.contains(displayName)) {
                entry.displayName = displayName;
                shownNames.insert(displayName);
            }
        }
        m_byConverter.insert(converter, m_encodings.size());
        m_byNumber.insert(entry.number, m_encodings.size());
        m_encodings.append(entry);
    }
}

const EncodingRegistry &EncodingRegistry::instance()
{
    static const EncodingRegistry registry;
    return registry;
}

quint64 EncodingRegistry::numberForName(const QString &name) const
{
    if (name.trimmed().isEmpty())
        return 0;
    const QByteArray converter = IcuTextCodec::converterNameFor(name.trimmed().toLatin1().constData());
    const auto it = m_byConverter.constFind(converter);
    return it == m_byConverter.constEnd() ? 0 : m_encodings.at(*it).number;
}

QString EncodingRegistry::nameForNumber(quint64 number) const
{
    const auto it = m_byNumber.constFind(number);
    return it == m_byNumber.constEnd() ? QString() : m_encodings.at(*it).name;
}

QString EncodingRegistry::displayNameForNumber(quint64 number) const
{
    const auto it = m_byNumber.constFind(number);
    return it == m_byNumber.constEnd() ? QString() : m_encodings.at(*it).displayName;
}
