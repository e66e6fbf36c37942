#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Guesses the one encoding a set of entry names was written in, and how far
// the guess can be trusted. All names of an archive are judged together: a
// single short name rarely tells one code page from another.
//
// Candidates are the code pages archives are really written in. Each must
// decode every name; the survivors are ranked by how plausible their text is
// (NamePlausibility), how much it reads like a language (LanguageEvidence)
// and how usual the code page is for the writer. Candidates that give the
// very same text are one answer, not rivals. The confidence stays below 0.8
// unless the best reading is plausible and clearly ahead of every other
// different reading, judged on the names where the two differ; a doubtful
// case goes to the user.
class EncodingDetector {
public:
    // Who wrote the names, as far as the archive's format tells: which code
    // pages are likely before the names are looked at.
    enum class Origin {
        Unknown,
        WindowsOem,  // MS-DOS and Windows zip and RAR tools: the OEM code page, some the ANSI one
        WindowsAnsi, // other Windows writers (cab): the ANSI code page
        Unix,        // tar and cpio: the locale of a Unix machine of the day
    };

    struct Guess {
        quint64 encoding = 0; // registry number, 0 for none
        float confidence = 0.0f;
    };

    struct Reading {
        quint64 encoding = 0;
        double plausibility = 0; // per non-ASCII byte
        double support = 0;      // language and writer, for the set as a whole
        QStringList names;       // the names as this candidate reads them
        double score() const { return plausibility + support; }
    };

    static Guess detect(const QList<QByteArray> &names, Origin origin);

    // Every candidate that decodes all names, best first, one per distinct
    // reading.
    static QList<Reading> rank(const QList<QByteArray> &names, Origin origin);

    // Trust in the first reading of a ranking of these names, 0 to 1.
    static float confidenceFor(const QList<Reading> &readings, const QList<QByteArray> &names);
};
