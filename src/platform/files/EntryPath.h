#pragma once

#include <QString>
#include <QStringList>

// Checks a decoded entry name before anything is written for it, and splits
// it into the components to create under the extraction root.
class EntryPath {
public:
    enum Verdict {
        Fine,
        Empty,    // nothing left once "." and empty components go ("./")
        Unsafe,   // absolute, has a ".." component, or would leave the root
        TooLong,  // too long or too deep to be written and used safely
    };

    static Verdict parse(const QString &name, const QString &root, QStringList *components);

    // Deeper trees are refused: removing or copying them would need more
    // open folders than a process may have.
    static constexpr qsizetype maximumDepth = 256;
    static constexpr qsizetype maximumBytes = 3072;
    static constexpr qsizetype maximumComponentBytes = 255;
};
