#include "platform/encoding/NamePlausibility.h"

#include "platform/encoding/LetterAlphabets.h"
#include "platform/encoding/SpellingRules.h"

#include <QHash>

#include <algorithm>
#include <array>

namespace {

enum class Kind {
    Ascii, Latin, Cyrillic, Greek, Hebrew, Arabic, Thai, Han, Kana, HalfwidthKana, Hangul,
    CjkPunctuation, NamePunctuation, Symbol, Graphic, OddLetter, Mark, Bad
};

bool isAlphabetic(Kind kind)
{
    return kind >= Kind::Latin && kind <= Kind::Thai;
}

bool isCjk(Kind kind)
{
    return kind >= Kind::Han && kind <= Kind::Hangul;
}

bool isNamePunctuation(char32_t c)
{
    // Quotes, dashes and signs that Windows users do type into names.
    static constexpr std::array<char32_t, 12> marks{0x00AB, 0x00BB, 0x2013, 0x2014, 0x2018, 0x2019,
                                                    0x201C, 0x201D, 0x2116, 0x2026, 0x00B0, 0x00B7};
    return std::find(marks.begin(), marks.end(), c) != marks.end();
}

bool isCjkPunctuation(char32_t c)
{
    return (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF60)
        || (c >= 0xFFE0 && c <= 0xFFE6) || c == 0x30FB;
}

bool isGraphic(char32_t c)
{
    return (c >= 0x2190 && c <= 0x23FF) || (c >= 0x2500 && c <= 0x27BF)
        || (c >= 0x2B00 && c <= 0x2BFF);
}

// Latin letters of living European and Vietnamese orthography; the rest of
// Latin Extended-B and IPA are what wrong code pages produce.
bool isEverydayLatin(char32_t c)
{
    return (c >= 0x00C0 && c <= 0x017F && c != 0x00D7 && c != 0x00F7)
        || (c >= 0x0218 && c <= 0x021B) || (c >= 0x01A0 && c <= 0x01B0)
        || (c >= 0x1E00 && c <= 0x1EFF);
}

Kind letterKind(char32_t c)
{
    switch (QChar::script(c)) {
    case QChar::Script_Latin:
        return isEverydayLatin(c) ? Kind::Latin : Kind::OddLetter;
    case QChar::Script_Cyrillic:
        return Kind::Cyrillic;
    case QChar::Script_Greek:
        return Kind::Greek;
    case QChar::Script_Hebrew:
        return Kind::Hebrew;
    case QChar::Script_Arabic:
        return Kind::Arabic;
    case QChar::Script_Thai:
        // Letters gone from modern spelling.
        return c == 0x0E03 || c == 0x0E05 || c == 0x0E26 ? Kind::OddLetter : Kind::Thai;
    case QChar::Script_Han:
        return Kind::Han;
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
        return (c >= 0xFF61 && c <= 0xFF9F) ? Kind::HalfwidthKana : Kind::Kana;
    case QChar::Script_Hangul:
        return Kind::Hangul;
    default:
        return Kind::OddLetter;
    }
}

Kind kindOf(char32_t c)
{
    if (c < 0x80)
        return Kind::Ascii;
    if (c == 0x30FC || (c >= 0xFF61 && c <= 0xFF65))
        return c == 0x30FC ? Kind::Kana : Kind::HalfwidthKana;
    if (isNamePunctuation(c))
        return Kind::NamePunctuation;
    if (isCjkPunctuation(c))
        return Kind::CjkPunctuation;
    if (isGraphic(c))
        return Kind::Graphic;
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Other:
        // Ordinal indicators and the micro sign are letters only by category.
        if (c == 0x00AA || c == 0x00BA || c == 0x00B5)
            return Kind::Symbol;
        return letterKind(c);
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
        return Kind::Mark;
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
        return Kind::Bad;
    default:
        return c == 0xFFFD ? Kind::Bad : Kind::Symbol;
    }
}

// Everyday characters of each double-byte family, by the rows the national
// standards give to them: GB 2312 level 1, Big5 frequent, JIS level 1 and
// kana, KS X 1001 Hangul.
bool isEverydayDoubleByte(NamePlausibility::Family family, int byteCount, int lead, int trail)
{
    if (byteCount != 2)
        return false;
    const int code = (lead << 8) | trail;
    using F = NamePlausibility::Family;
    switch (family) {
    case F::GB:
        return lead >= 0xB0 && lead <= 0xD7 && trail >= 0xA1;
    case F::Big5:
        return code >= 0xA440 && code <= 0xC67E;
    case F::ShiftJIS:
        return (code >= 0x829F && code <= 0x82F1) || (code >= 0x8340 && code <= 0x8396)
            || (code >= 0x889F && code <= 0x9872) || code == 0x815B;
    case F::EucJP:
        return lead == 0xA4 || lead == 0xA5 || (code >= 0xB0A1 && code <= 0xCFD3)
            || code == 0xA1BC;
    case F::Korean:
        return lead >= 0xB0 && lead <= 0xC8 && trail >= 0xA1;
    case F::SingleByte:
        return false;
    }
    return false;
}

bool isJapanese(NamePlausibility::Family family)
{
    return family == NamePlausibility::Family::ShiftJIS || family == NamePlausibility::Family::EucJP;
}

double cjkWeight(Kind kind, NamePlausibility::Family family, bool everyday)
{
    switch (kind) {
    case Kind::Han:
        return everyday ? 1.0 : 0.35;
    case Kind::Kana:
        return isJapanese(family) ? 1.0 : 0.3;
    case Kind::HalfwidthKana:
        return isJapanese(family) ? 0.5 : -1.0;
    case Kind::Hangul:
        if (family != NamePlausibility::Family::Korean)
            return 0.35;
        return everyday ? 1.0 : 0.6;
    default:
        return 0.0;
    }
}

struct Character {
    char32_t code = 0;
    Kind kind = Kind::Ascii;
    int byteCount = 0;
    quint8 lead = 0;  // first and second byte, for double-byte characters
    quint8 trail = 0;
    int highBytes = 0;
};

QList<Character> charactersOf(const NamePlausibility::DecodedName &name)
{
    QList<Character> characters;
    const QString &text = name.text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        Character c;
        c.code = text.at(i).unicode();
        qsizetype next = i + 1;
        if (QChar::isHighSurrogate(c.code) && next < text.size()
            && text.at(next).isLowSurrogate()) {
            c.code = QChar::surrogateToUcs4(text.at(i), text.at(next));
            ++next;
        }
        const qint32 start = name.offsets.value(i, 0);
        const qint32 end = next < text.size() ? name.offsets.value(next, qint32(name.raw.size()))
                                              : qint32(name.raw.size());
        c.byteCount = std::max(0, end - start);
        if (c.byteCount > 0)
            c.lead = quint8(name.raw.at(start));
        if (c.byteCount > 1)
            c.trail = quint8(name.raw.at(start + 1));
        for (qint32 b = start; b < start + c.byteCount; ++b)
            c.highBytes += quint8(name.raw.at(b)) >= 0x80 ? 1 : 0;
        c.kind = kindOf(c.code);
        characters.append(c);
        i = next - 1;
    }
    return characters;
}

struct Analysis {
    QList<QList<Character>> names;
    Kind dominant = Kind::Ascii;
    LetterAlphabets::Choice choice;
    bool alphabetApplies = false;
};

Kind dominantScript(const QList<QList<Character>> &names)
{
    QHash<int, int> bytesPerKind;
    for (const auto &name : names) {
        for (const Character &c : name) {
            if (isAlphabetic(c.kind))
                bytesPerKind[int(c.kind)] += c.highBytes;
            else if (isCjk(c.kind))
                bytesPerKind[int(Kind::Han)] += c.highBytes;
        }
    }
    Kind best = Kind::Ascii;
    int most = 0;
    for (auto it = bytesPerKind.cbegin(); it != bytesPerKind.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            best = Kind(it.key());
        }
    }
    return best;
}

// The language that fits the letters of the names best.
void chooseAlphabet(Analysis &analysis)
{
    const bool latin = analysis.dominant == Kind::Latin;
    analysis.alphabetApplies = latin || analysis.dominant == Kind::Cyrillic;
    if (!analysis.alphabetApplies)
        return;
    QHash<char16_t, int> letterCounts;
    for (const auto &name : std::as_const(analysis.names)) {
        for (const Character &c : name) {
            const char32_t lower = QChar::toLower(c.code);
            if (c.kind == analysis.dominant && lower <= 0xFFFF)
                ++letterCounts[char16_t(lower)];
        }
    }
    analysis.choice = LetterAlphabets::bestFit(
        latin ? LetterAlphabets::Script::Latin : LetterAlphabets::Script::Cyrillic, letterCounts);
}

// Letters of the chosen language count fully, those of its neighbours a
// little (a wrong Latin table mostly trades a letter for a neighbour's: ı
// for ì, ñ for ż); letters from languages never written beside it count
// against.
double letterWeight(const Character &c, const Analysis &analysis)
{
    if (!analysis.alphabetApplies || QChar::toLower(c.code) < 0x80
        || LetterAlphabets::contains(analysis.choice.alphabet, c.code))
        return 1.0;
    return LetterAlphabets::contains(analysis.choice.group, c.code) ? 0.2 : -0.6;
}

bool markFits(const Character &previous, const Character &mark)
{
    return SpellingRules::markFits(previous.code, previous.kind == Kind::Mark, mark.code);
}

double weightOf(const Character &c, const Character *previous, const Analysis &analysis,
                NamePlausibility::Family family)
{
    if (isAlphabetic(c.kind)) {
        if (analysis.dominant != c.kind)
            return -1.0;
        return letterWeight(c, analysis);
    }
    if (isCjk(c.kind))
        return cjkWeight(c.kind, family, isEverydayDoubleByte(family, c.byteCount, c.lead, c.trail));
    switch (c.kind) {
    case Kind::Ascii:
        return c.highBytes > 0 ? -1.0 : 0.0;
    case Kind::CjkPunctuation:
        return family == NamePlausibility::Family::SingleByte ? -1.0 : 0.6;
    case Kind::NamePunctuation:
        return 0.3;
    case Kind::Symbol:
        return -0.5;
    case Kind::Graphic:
        return -2.0;
    case Kind::Mark:
        return previous && markFits(*previous, c) ? 1.0 : -1.0;
    case Kind::OddLetter:
        return -1.0;
    default:
        return -3.0;
    }
}

// Rules that also look at the start of a word, where there is no letter
// before.
bool isOddAtWordLevel(const Character *previous, const Character &c)
{
    const char32_t before = previous ? previous->code : 0;
    if (c.kind == Kind::Cyrillic)
        return SpellingRules::isOddCyrillicPair(before, previous && previous->kind == Kind::Cyrillic,
                                                c.code);
    if (c.kind == Kind::Greek && (before == 0 || !QChar::isLetter(before)))
        return SpellingRules::isOddGreekPair(0, c.code);
    return false;
}

// An ideograph or syllable with ASCII letters right and left of it sits
// inside a Latin word: a double-byte table swallowed a Latin letter.
bool isSandwiched(const QList<Character> &characters, qsizetype i)
{
    const auto isAsciiLetter = [](char32_t c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    };
    return isCjk(characters.at(i).kind) && i > 0 && i + 1 < characters.size()
        && isAsciiLetter(characters.at(i - 1).code) && isAsciiLetter(characters.at(i + 1).code);
}

// Letter case flipping to upper inside a word, or a word switching script,
// is what single-byte code pages read with the wrong table produce.
bool isOddPair(const Character &previous, const Character &c)
{
    if (c.kind == Kind::Mark)
        return !markFits(previous, c);
    if (previous.kind == Kind::Thai || c.kind == Kind::Thai) {
        if (QChar::isLetter(previous.code) && QChar::isLetter(c.code)
            && (previous.code < 0x80 || c.code < 0x80))
            return true;
        return SpellingRules::isOddThaiPair(previous.code, c.code);
    }
    if (!QChar::isLetter(previous.code) || !QChar::isLetter(c.code))
        return false;
    // Greek final sigma ends a word, and so do the Arabic teh marbuta and
    // alef maksura.
    if (previous.code == 0x03C2 || previous.code == 0x0629 || previous.code == 0x0649)
        return true;
    if (previous.code < 0x80 && c.code < 0x80)
        return false;
    const Kind a = previous.code < 0x80 ? Kind::Latin : previous.kind;
    const Kind b = c.code < 0x80 ? Kind::Latin : c.kind;
    if (isAlphabetic(a) && isAlphabetic(b) && a != b)
        return true;
    if (a == Kind::Latin && b == Kind::Latin && SpellingRules::isOddLatinPair(previous.code, c.code))
        return true;
    if (a == Kind::Greek && b == Kind::Greek && SpellingRules::isOddGreekPair(previous.code, c.code))
        return true;
    return a == b && QChar::isLower(previous.code) && QChar::isUpper(c.code);
}

// An accented capital between a letter and a small letter ("MÑrz",
// "BÅcher") is what a Latin code page read with its neighbour's table
// makes of an accented small letter; people write no such words.
bool isCapitalInsideWord(const QList<Character> &characters, qsizetype i)
{
    const Character &c = characters.at(i);
    if (c.highBytes == 0 || !QChar::isUpper(c.code) || i == 0 || i + 1 >= characters.size())
        return false;
    return QChar::isLetter(characters.at(i - 1).code) && QChar::isLower(characters.at(i + 1).code);
}

constexpr double oddPairPenalty = 1.5;

// Chinese text uses all rows of its everyday ideographs, but Korean Hangul
// read as Chinese lands in only some of them: GB 2312 orders its level-one
// ideographs by pronunciation and Hangul never reaches the rows from 0xC9
// on; Big5 orders by strokes and Hangul never reaches the simple, most
// frequent ones below 0xB0. A reading that never touches those rows is
// Chinese only by accident.
double rowSpreadPenalty(const QList<QList<Character>> &names, NamePlausibility::Family family)
{
    using F = NamePlausibility::Family;
    if (family != F::GB && family != F::Big5)
        return 0;
    int everyday = 0;
    int telling = 0;
    for (const auto &name : names) {
        for (const Character &c : name) {
            if (c.kind != Kind::Han || !isEverydayDoubleByte(family, c.byteCount, c.lead, c.trail))
                continue;
            ++everyday;
            const int lead = c.lead;
            if (family == F::GB ? lead >= 0xC9 : lead < 0xB0)
                ++telling;
        }
    }
    if (everyday < 4 || telling > 0)
        return 0;
    return 0.35 * std::min(1.0, everyday / 8.0);
}

// People capitalise words, they rarely write whole words in capitals beside
// lower-case ASCII. A reading with every non-ASCII letter in capitals while
// the ASCII letters around them are lower case comes from a table with the
// cases swapped or from another script altogether (Hebrew read as CP866).
double capitalsPenalty(const QList<QList<Character>> &names, Kind script)
{
    if (script != Kind::Latin && script != Kind::Cyrillic && script != Kind::Greek)
        return 0;
    int upper = 0;
    int lower = 0;
    bool asciiLower = false;
    for (const auto &name : names) {
        for (const Character &c : name) {
            if (c.code < 0x80) {
                asciiLower = asciiLower || (c.code >= 'a' && c.code <= 'z');
            } else if (c.kind == script) {
                (QChar::isUpper(c.code) ? upper : lower) += 1;
            }
        }
    }
    return asciiLower && upper >= 6 && lower * 10 <= upper ? 0.15 : 0;
}

// Modern Greek marks the stressed vowel of nearly every word of more than
// one syllable. Lower-case Greek words that never carry an accent are
// another script read as Greek.
double accentlessGreekPenalty(const QList<QList<Character>> &names, Kind script)
{
    if (script != Kind::Greek)
        return 0;
    static const QString accented = u"άέήίόύώΐΰ"_qs;
    int words = 0;
    int accentedWords = 0;
    for (const auto &name : names) {
        int letters = 0;
        bool hasAccent = false;
        bool lower = true;
        for (qsizetype i = 0; i <= name.size(); ++i) {
            const bool greek = i < name.size() && name.at(i).kind == Kind::Greek;
            if (greek) {
                ++letters;
                hasAccent = hasAccent || LetterAlphabets::contains(accented, name.at(i).code);
                lower = lower && QChar::isLower(name.at(i).code);
                continue;
            }
            if (letters >= 4 && lower) {
                ++words;
                accentedWords += hasAccent ? 1 : 0;
            }
            letters = 0;
            hasAccent = false;
            lower = true;
        }
    }
    return words >= 3 && accentedWords == 0 ? 0.15 : 0;
}

NamePlausibility::Script scriptOf(Kind kind)
{
    using S = NamePlausibility::Script;
    switch (kind) {
    case Kind::Latin: return S::Latin;
    case Kind::Cyrillic: return S::Cyrillic;
    case Kind::Greek: return S::Greek;
    case Kind::Hebrew: return S::Hebrew;
    case Kind::Arabic: return S::Arabic;
    case Kind::Thai: return S::Thai;
    case Kind::Han: return S::Cjk;
    default: return S::None;
    }
}

} // namespace

NamePlausibility::Family NamePlausibility::familyOfConverter(const QByteArray &converterName)
{
    static const QHash<QByteArray, Family> families = {
        {"windows-936-2000", Family::GB}, {"gb18030", Family::GB},
        {"ibm-1383_P110-1999", Family::GB}, {"ibm-5478_P100-1995", Family::GB},
        {"windows-950-2000", Family::Big5}, {"ibm-1375_P100-2008", Family::Big5},
        {"ibm-950_P110-1999", Family::Big5}, {"ibm-943_P15A-2003", Family::ShiftJIS},
        {"ibm-943_P130-1999", Family::ShiftJIS}, {"euc-jp-2007", Family::EucJP},
        {"windows-949-2000", Family::Korean}, {"ibm-970_P110_P110-2006_U2", Family::Korean},
        {"ibm-949_P110-1999", Family::Korean}, {"ibm-1363_P11B-1998", Family::Korean}};
    return families.value(converterName, Family::SingleByte);
}

NamePlausibility::Assessment NamePlausibility::assess(const QList<DecodedName> &names, Family family)
{
    Analysis analysis;
    for (const DecodedName &name : names)
        analysis.names.append(charactersOf(name));
    analysis.dominant = dominantScript(analysis.names);
    chooseAlphabet(analysis);

    double total = 0;
    double highBytes = 0;
    for (const DecodedName &name : names)
        highBytes += std::count_if(name.raw.begin(), name.raw.end(),
                                   [](char b) { return quint8(b) >= 0x80; });
    for (const auto &characters : std::as_const(analysis.names)) {
        const Character *previous = nullptr;
        for (qsizetype i = 0; i < characters.size(); ++i) {
            const Character &c = characters.at(i);
            const double weight = weightOf(c, previous, analysis, family);
            total += weight * (weight < 0 ? std::max(1, c.highBytes) : c.highBytes);
            if ((previous && isOddPair(*previous, c)) || isSandwiched(characters, i)
                || isOddAtWordLevel(previous, c) || isCapitalInsideWord(characters, i))
                total -= oddPairPenalty;
            previous = &c;
        }
    }
    Assessment assessment;
    assessment.script = scriptOf(analysis.dominant);
    assessment.score = highBytes > 0 ? total / highBytes : 1.0;
    assessment.score -= rowSpreadPenalty(analysis.names, family);
    assessment.score -= capitalsPenalty(analysis.names, analysis.dominant);
    assessment.score -= accentlessGreekPenalty(analysis.names, analysis.dominant);
    return assessment;
}
