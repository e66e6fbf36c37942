#pragma once

#include "platform/encoding/NamePlausibility.h"

#include <QStringList>

// How much decoded names read like a language, by ICU's detector: its
// recognisers know the frequent letter trigrams of the languages written in
// each single-byte code page and the frequent characters of Chinese,
// Japanese and Korean. The text is encoded into the code page whose
// recogniser knows its script, so every reading in one script is measured
// with the same yardstick, whatever code page it came from.
class LanguageEvidence {
public:
    // 0 to 1; a middling value for scripts no recogniser knows.
    static double of(const QStringList &names, NamePlausibility::Script script,
                     NamePlausibility::Family family);
};
