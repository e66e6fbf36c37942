#include "platform/encoding/EncodingDetector.h"

#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/IcuTextCodec.h"
#include "platform/encoding/LanguageEvidence.h"
#include "platform/encoding/NamePlausibility.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>

namespace {

// The code pages archives are written in, with how likely each is before
// the names are looked at, for each kind of writer: MS-DOS and Windows zip
// tools use the machine's OEM code page (the most widespread first), some
// its ANSI one; other Windows writers the ANSI one; tar and cpio the Unix
// locale of the day; a writer nobody knows any of them. The weights only
// break near ties: where two readings are both plausible, the one from more
// machines wins. Below zero: a code page such a writer does not use.
struct CodePage {
    const char *name;
    double oem, ansi, unixLocale, unknown;
};

const QList<CodePage> codePages = {
    // name            OEM    ANSI   Unix   unknown
    {"IBM437",         0.15,  -0.1,  0.0,   0.0},
    {"IBM850",         0.15,  -0.1,  0.0,   0.0},
    {"IBM866",         0.15,  -0.1,  0.05,  0.0},
    {"Shift_JIS",      0.15,  0.15,  0.05,  0.08},
    {"GBK",            0.15,  0.15,  0.08,  0.08},
    {"windows-949",    0.15,  0.15,  0.15,  0.08},
    {"Big5",           0.15,  0.15,  0.1,   0.08},
    {"IBM852",         0.1,   -0.1,  0.0,   0.0},
    {"IBM857",         0.1,   -0.1,  0.0,   0.0},
    {"ibm-737",        0.08,  -0.1,  0.0,   0.0},
    {"windows-874",    0.08,  0.1,   0.03,  0.0},
    {"IBM862",         0.06,  -0.1,  0.0,   0.0},
    {"ibm-720",        0.06,  -0.1,  0.0,   0.0},
    {"windows-1258",   0.04,  0.05,  0.0,   0.0},
    {"IBM855",         0.03,  -0.1,  0.0,   0.0},
    {"IBM775",         0.03,  -0.1,  0.0,   0.0},
    {"windows-1252",   0.0,   0.15,  0.05,  0.08},
    {"windows-1251",   0.0,   0.15,  0.08,  0.08},
    {"KOI8-R",         -0.15, -0.1,  0.15,  0.08},
    {"windows-1250",   0.0,   0.15,  0.05,  0.08},
    {"ISO-8859-1",     -0.15, -0.05, 0.08,  0.08},
    {"ISO-8859-15",    -0.15, -0.05, 0.08,  0.08},
    {"ISO-8859-2",     -0.15, -0.05, 0.08,  0.08},
    {"EUC-JP",         -0.15, -0.1,  0.15,  0.08},
    {"gb18030",        -0.15, 0.0,   0.15,  0.08},
    {"Big5-HKSCS",     -0.15, 0.0,   0.05,  0.05},
    {"KOI8-U",         -0.15, -0.1,  0.08,  0.05},
    {"windows-1253",   0.0,   0.1,   0.03,  0.05},
    {"windows-1254",   0.0,   0.1,   0.03,  0.05},
    {"windows-1255",   0.0,   0.1,   0.03,  0.05},
    {"windows-1256",   0.0,   0.1,   0.03,  0.05},
    {"windows-1257",   0.0,   0.1,   0.03,  0.05},
    {"ISO-8859-5",     -0.15, -0.1,  0.05,  0.05},
    {"ISO-8859-7",     -0.15, -0.05, 0.08,  0.05},
    {"ISO-8859-8",     -0.15, -0.05, 0.05,  0.05},
    {"ISO-8859-9",     -0.15, -0.05, 0.08,  0.05},
    {"ISO-8859-13",    -0.15, -0.05, 0.05,  0.05},
    {"TIS-620",        -0.15, -0.05, 0.05,  0.05},
    {"macintosh",      -0.15, -0.1,  0.0,   0.05}};

// ICU's trigram statistics are thin on a few Latin names, where accented
// letters are rare among ASCII ones; in other scripts they tell a language
// from letter soup well.
double languageWeight(NamePlausibility::Script script)
{
    return script == NamePlausibility::Script::Latin ? 0.4 : 0.5;
}

struct Candidate {
    quint64 number = 0;
    QByteArray converter;
    const CodePage *page = nullptr;
};

const QList<Candidate> &candidates()
{
    static const QList<Candidate> list = [] {
        QList<Candidate> all;
        for (const CodePage &page : codePages) {
            const quint64 number =
                EncodingRegistry::instance().numberForName(QString::fromLatin1(page.name));
            if (number != 0)
                all.append({number, IcuTextCodec::converterNameFor(page.name), &page});
        }
        return all;
    }();
    return list;
}

bool hasControlCharacters(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
    });
}

std::optional<QList<NamePlausibility::DecodedName>> decodeAll(const QList<QByteArray> &names,
                                                             const QByteArray &converter)
{
    QList<NamePlausibility::DecodedName> decoded;
    IcuTextCodec decoder(converter.constData());
    for (const QByteArray &name : names) {
        NamePlausibility::DecodedName d;
        d.raw = name;
        std::optional<QString> text = decoder.decode(name, &d.offsets);
        if (!text || hasControlCharacters(*text))
            return std::nullopt;
        d.text = *text;
        decoded.append(d);
    }
    return decoded;
}

double writerPrior(const Candidate &candidate, EncodingDetector::Origin origin)
{
    using Origin = EncodingDetector::Origin;
    switch (origin) {
    case Origin::WindowsOem:
        return candidate.page->oem;
    case Origin::WindowsAnsi:
        return candidate.page->ansi;
    case Origin::Unix:
        return candidate.page->unixLocale;
    case Origin::Unknown:
        break;
    }
    return candidate.page->unknown;
}

qsizetype highBytes(const QByteArray &name)
{
    return std::count_if(name.begin(), name.end(), [](char b) { return quint8(b) >= 0x80; });
}

// How far the best reading leads another, per non-ASCII byte of the names
// the two read differently: a difference in one name out of fifty counts
// fully there, not one fiftieth.
struct Lead {
    double margin = 0;
    qsizetype differingBytes = 0;
    qsizetype allBytes = 0;
};

Lead leadOver(const EncodingDetector::Reading &best, const EncodingDetector::Reading &other,
              const QList<QByteArray> &names)
{
    qsizetype all = 0;
    Lead lead;
    for (qsizetype i = 0; i < names.size(); ++i) {
        all += highBytes(names.at(i));
        if (best.names.value(i) != other.names.value(i))
            lead.differingBytes += highBytes(names.at(i));
    }
    lead.allBytes = all;
    const double spread = lead.differingBytes > 0 ? double(all) / lead.differingBytes : 1.0;
    lead.margin = (best.plausibility - other.plausibility) * spread + best.support - other.support;
    return lead;
}

// A lead counts for more the more bytes it rests on: four bytes are two
// ideographs, which any double-byte code page turns into something. The
// names both readings share count a little too, as the context that told
// the language.
double requiredLead(const Lead &lead)
{
    const double bytes = lead.differingBytes + (lead.allBytes - lead.differingBytes) / 4.0;
    return bytes >= 16 ? 0.2 : bytes >= 8 ? 0.3 : bytes >= 4 ? 0.45 : 0.8;
}

constexpr double requiredPlausibility = 0.6;

float confidenceAgainst(const EncodingDetector::Reading &best, const EncodingDetector::Reading &other,
                        const QList<QByteArray> &names)
{
    const Lead lead = leadOver(best, other, names);
    const double required = requiredLead(lead);
    if (lead.margin >= required)
        return float(std::min(0.99, 0.8 + 0.2 * (lead.margin - required)));
    // Below the line, still ordered, so a near miss can be told from a tie.
    return float(0.75 * std::clamp(lead.margin / required, 0.0, 1.0));
}

} // namespace

QList<EncodingDetector::Reading> EncodingDetector::rank(const QList<QByteArray> &names, Origin origin)
{
    struct Pending {
        Reading reading;
        NamePlausibility::Script script;
        NamePlausibility::Family family;
    };
    QList<Pending> pending;
    for (const Candidate &candidate : candidates()) {
        const auto decoded = decodeAll(names, candidate.converter);
        if (names.isEmpty() || !decoded)
            continue;
        Pending p;
        p.reading.encoding = candidate.number;
        for (const auto &name : *decoded)
            p.reading.names.append(name.text);
        p.family = NamePlausibility::familyOfConverter(candidate.converter);
        const auto assessment = NamePlausibility::assess(*decoded, p.family);
        p.script = assessment.script;
        p.reading.plausibility = assessment.score;
        p.reading.support = writerPrior(candidate, origin);
        pending.append(p);
    }
    // Code pages that read the names alike are asked about once.
    QHash<QStringList, double> evidence;
    QList<Reading> readings;
    for (Pending &p : pending) {
        auto it = evidence.constFind(p.reading.names);
        if (it == evidence.constEnd())
            it = evidence.insert(p.reading.names,
                                 LanguageEvidence::of(p.reading.names, p.script, p.family));
        p.reading.support += languageWeight(p.script) * *it;
        readings.append(p.reading);
    }
    // Stable: among equals the order of the candidate lists decides.
    std::stable_sort(readings.begin(), readings.end(),
                     [](const Reading &a, const Reading &b) { return a.score() > b.score(); });
    QList<Reading> distinct;
    QSet<QStringList> seen;
    for (const Reading &reading : std::as_const(readings)) {
        if (!seen.contains(reading.names)) {
            seen.insert(reading.names);
            distinct.append(reading);
        }
    }
    return distinct;
}

float EncodingDetector::confidenceFor(const QList<Reading> &readings, const QList<QByteArray> &names)
{
    if (readings.isEmpty())
        return 0.0f;
    const Reading &best = readings.first();
    if (best.plausibility < requiredPlausibility)
        return float(0.75 * std::clamp(best.plausibility, 0.0, 1.0));
    float confidence = 0.99f;
    for (qsizetype i = 1; i < readings.size(); ++i)
        confidence = std::min(confidence, confidenceAgainst(best, readings.at(i), names));
    return confidence;
}

EncodingDetector::Guess EncodingDetector::detect(const QList<QByteArray> &names, Origin origin)
{
    const QList<Reading> readings = rank(names, origin);
    if (readings.isEmpty())
        return {};
    return {readings.first().encoding, confidenceFor(readings, names)};
}
