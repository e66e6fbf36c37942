#include "platform/encoding/SpellingRules.h"

#include <QChar>
#include <QString>

namespace {

bool inSet(const QString &set, char32_t c)
{
    const char32_t lower = QChar::toLower(c);
    return lower <= 0xFFFF && set.contains(QChar(char16_t(lower)));
}

bool within(char32_t c, char32_t low, char32_t high)
{
    return c >= low && c <= high;
}

// Vowels a Vietnamese tone mark may sit on.
bool isLatinVowel(char32_t c)
{
    static const QString vowels =
        u"aeiouyàáâãèéêìíòóôõùúýăđĩũơưạảấầẩẫậắằẳẵặẹẻẽếềểễệỉịọỏốồổỗộớờởỡợụủứừửữựỳỵỷỹ"_qs;
    return inSet(vowels, c);
}

bool isThaiConsonant(char32_t c) { return within(c, 0x0E01, 0x0E2E); }
bool isThaiLeadingVowel(char32_t c) { return within(c, 0x0E40, 0x0E44); }
// ะ, า, ำ: written after the consonant they follow.
bool isThaiFollowingVowel(char32_t c) { return c == 0x0E30 || c == 0x0E32 || c == 0x0E33; }
bool isThaiMark(char32_t c)
{
    return c == 0x0E31 || within(c, 0x0E34, 0x0E3A) || within(c, 0x0E47, 0x0E4E);
}

bool isCyrillicVowel(char32_t c)
{
    static const QString vowels = u"аеёиоуыэюяєіїў"_qs;
    return inSet(vowels, c);
}

} // namespace

// Thai vowel signs on Thai consonants, Arabic and Hebrew vowel points on
// their letters, Vietnamese tone marks on vowels.
bool SpellingRules::markFits(char32_t previous, bool previousIsMark, char32_t mark)
{
    if (within(mark, 0x0E31, 0x0E4E))
        return within(previous, 0x0E01, 0x0E4E);
    if (within(mark, 0x0591, 0x05C7))
        return within(previous, 0x0591, 0x05F4);
    if (within(mark, 0x0610, 0x061A) || within(mark, 0x064B, 0x065F) || mark == 0x0670
        || within(mark, 0x06D6, 0x06ED))
        return within(previous, 0x0620, 0x06FF);
    if (within(mark, 0x0300, 0x036F))
        return isLatinVowel(previous) || (previousIsMark && within(previous, 0x0300, 0x036F));
    return previous != 0 && QChar::isLetter(previous);
}

// Polish writes ni, si, zi, ci before a vowel; Spanish ñ read as Polish ń
// breaks this at once.
bool SpellingRules::isOddLatinPair(char32_t previous, char32_t c)
{
    static const QString softened = u"ńśźć"_qs;
    static const QString vowels = u"aeiouyąęó"_qs;
    return inSet(softened, previous) && inSet(vowels, c);
}

// Greek puts the diaeresis on ι and υ only right after another vowel.
bool SpellingRules::isOddGreekPair(char32_t previous, char32_t c)
{
    static const QString diaeresis = u"ϊϋΐΰ"_qs;
    static const QString vowels = u"αεηιουωάέήίόύώ"_qs;
    return inSet(diaeresis, c) && !inSet(vowels, previous);
}

// A leading vowel comes before a consonant; vowel signs and tone marks sit
// on a consonant or on each other, and the vowels written after a
// consonant follow one (or its marks).
bool SpellingRules::isOddThaiPair(char32_t previous, char32_t c)
{
    if (isThaiLeadingVowel(previous))
        return !isThaiConsonant(c);
    if (isThaiMark(c) || isThaiFollowingVowel(c))
        return !isThaiConsonant(previous) && !isThaiMark(previous);
    return false;
}

// The hard and soft signs and ы never start a word nor follow a vowel, a
// sign or й; й does not follow a consonant.
bool SpellingRules::isOddCyrillicPair(char32_t previous, bool previousIsCyrillic, char32_t c)
{
    const char32_t lower = QChar::toLower(c);
    const bool wordStart = previous == 0 || !QChar::isLetter(previous);
    const char32_t before = previous == 0 ? 0 : QChar::toLower(previous);
    if (lower == 0x044A || lower == 0x044C || lower == 0x044B) // ъ ь ы
        return wordStart
            || (previousIsCyrillic
                && (isCyrillicVowel(before) || before == 0x044A || before == 0x044C
                    || before == 0x0439));
    if (lower == 0x0439) // й
        return previousIsCyrillic && !isCyrillicVowel(before);
    return false;
}
