#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// Guesses the one encoding a set of entry names was written in, and how far
// the guess can be trusted. All names of an archive are judged together: a
// single short name rarely tells one code page from another.
class EncodingDetector {
public:
    struct Guess {
        quint64 encoding = 0; // registry number, 0 for none
        float confidence = 0.0f;
    };

    // preferOEM: the names come from an MS-DOS or Windows zip, which stores
    // them in the machine's OEM code page.
    static Guess detect(const QList<QByteArray> &names, bool preferOEM);
};
