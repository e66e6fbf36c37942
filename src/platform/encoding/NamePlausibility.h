#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// How much a set of names, decoded with one candidate encoding, looks like
// names people write: letters of one script and one language's alphabet,
// sensible letter case, common rather than rare ideographs, no box-drawing
// characters or private-use code points. Wrong code pages turn the same
// bytes into symbol soup, mixed scripts or rare characters.
class NamePlausibility {
public:
    // The families of double-byte code pages, whose byte ranges say which
    // characters are the everyday ones.
    enum class Family { SingleByte, GB, Big5, ShiftJIS, EucJP, Korean };

    struct DecodedName {
        QByteArray raw;
        QString text;
        QList<qint32> offsets; // byte offset in raw of each UTF-16 unit
    };

    // The script most of the non-ASCII bytes were read as.
    enum class Script { None, Latin, Cyrillic, Greek, Hebrew, Arabic, Thai, Cjk };

    struct Assessment {
        // About 1 for convincing text, 0 or below for garbage. Weighed per
        // byte that is not ASCII, so every candidate is judged over the same
        // bytes.
        double score = 0;
        Script script = Script::None;
    };

    static Family familyOfConverter(const QByteArray &converterName);
    static Assessment assess(const QList<DecodedName> &names, Family family);
};
