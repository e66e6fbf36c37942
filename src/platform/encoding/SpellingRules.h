#pragma once

// Pairs of characters the spelling of a language never puts side by side.
// A wrong code page turns bytes into letters of a real script, but rarely
// into letters that follow that script's rules. Each rule takes the code
// point before (0 at the start of a word) and the one in question.
class SpellingRules {
public:
    // A combining mark belongs to a letter of its own script before it.
    static bool markFits(char32_t previous, bool previousIsMark, char32_t mark);
    // Polish ń ś ź ć before a vowel.
    static bool isOddLatinPair(char32_t previous, char32_t c);
    // A Greek diaeresis not after a vowel.
    static bool isOddGreekPair(char32_t previous, char32_t c);
    // Thai leading vowels, vowel signs and tone marks out of order.
    static bool isOddThaiPair(char32_t previous, char32_t c);
    // Slavic hard and soft signs, ы and й where no word has them.
    static bool isOddCyrillicPair(char32_t previous, bool previousIsCyrillic, char32_t c);
};
