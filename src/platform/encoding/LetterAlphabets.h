#pragma once

#include <QHash>
#include <QString>

// The letters beyond ASCII of the languages written in Latin or Cyrillic
// script, in groups of languages whose names often meet in one archive (a
// French name among Spanish ones is usual, a Czech letter inside a French
// word is a wrong code page).
class LetterAlphabets {
public:
    enum class Script { Latin, Cyrillic };

    struct Choice {
        QString alphabet; // lower-case letters of the language that fits best
        QString group;    // lower-case letters of all languages of its group
    };

    // The language covering the most of the letters; letterCounts holds
    // lower-case letters and how often each occurs.
    static Choice bestFit(Script script, const QHash<char16_t, int> &letterCounts);
    // Whether the letter, in either case, is among the lower-case letters.
    static bool contains(const QString &letters, char32_t letter);
};
