#include "platform/encoding/LetterAlphabets.h"

#include <QList>

namespace {

struct Alphabet {
    QString letters;
    int group;
};

enum Group { Western, Central, Baltic, Turkish, EastSlavic, SouthSlavic };

const QList<Alphabet> &alphabets(LetterAlphabets::Script script)
{
    static const QList<Alphabet> latin = {
        {u"àâæçéèêëîïôœùûüÿ"_qs, Western}, {u"äöüß"_qs, Western}, {u"áéíñóúü"_qs, Western},
        {u"áâãàçéêíóôõú"_qs, Western}, {u"àèéìíîòóùú"_qs, Western}, {u"áéèëïóöü"_qs, Western},
        {u"æøåé"_qs, Western}, {u"åäöé"_qs, Western}, {u"áðéíóúýþæö"_qs, Western},
        {u"àçèéíïòóúü"_qs, Western}, {u"çë"_qs, Western},
        {u"ąćęłńóśźż"_qs, Central}, {u"áčďéěíňóřšťúůýž"_qs, Central},
        {u"áäčďéíĺľňóôŕšťúýž"_qs, Central}, {u"áéíóöőúüű"_qs, Central},
        {u"ăâîșşțţ"_qs, Central}, {u"čćđšž"_qs, Central},
        {u"äöõüšž"_qs, Baltic}, {u"āčēģīķļņšūž"_qs, Baltic}, {u"ąčęėįšųūž"_qs, Baltic},
        {u"çğıİöşüâîû"_qs, Turkish}};
    static const QList<Alphabet> cyrillic = {
        {u"абвгдеёжзийклмнопрстуфхцчшщъыьэюя"_qs, EastSlavic},
        {u"абвгґдеєжзиіїйклмнопрстуфхцчшщьюя"_qs, EastSlavic},
        {u"абвгдеёжзійклмнопрстуўфхцчшыьэюя"_qs, EastSlavic},
        {u"абвгдежзийклмнопрстуфхцчшщъьюя"_qs, SouthSlavic},
        {u"абвгдђежзијклљмнњопрстћуфхцчџш"_qs, SouthSlavic},
        {u"абвгдѓежзѕијклљмнњопрстќуфхцчџш"_qs, SouthSlavic}};
    return script == LetterAlphabets::Script::Latin ? latin : cyrillic;
}

} // namespace

LetterAlphabets::Choice LetterAlphabets::bestFit(Script script,
                                                 const QHash<char16_t, int> &letterCounts)
{
    const QList<Alphabet> &candidates = alphabets(script);
    Choice choice;
    int bestCovered = -1;
    for (const Alphabet &alphabet : candidates) {
        int covered = 0;
        for (QChar letter : alphabet.letters)
            covered += letterCounts.value(letter.unicode());
        if (covered <= bestCovered)
            continue;
        bestCovered = covered;
        choice.alphabet = alphabet.letters;
        choice.group.clear();
        for (const Alphabet &member : candidates) {
            if (member.group == alphabet.group)
                choice.group += member.letters;
        }
    }
    return choice;
}

bool LetterAlphabets::contains(const QString &letters, char32_t letter)
{
    const char32_t lower = QChar::toLower(letter);
    return lower <= 0xFFFF && letters.contains(QChar(char16_t(lower)));
}
