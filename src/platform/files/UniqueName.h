#pragma once

#include <QString>
#include <functional>

// Readable variants of a name that keep its extension: "report.pdf" becomes
// "report 2.pdf", "photos" becomes "photos 2", "a.tar.gz" becomes "a 2.tar.gz".
class UniqueName {
public:
    // The n-th variant (n >= 2). Folders keep their whole name in front.
    static QString variant(const QString &name, int n, bool isDirectory);
    // path when nothing (not even a dangling symlink) is there, else the
    // first variant in the same folder at which nothing is.
    static QString freePath(const QString &path);
    // Tries name itself (from 1) or its variants from `from` on until make()
    // takes one; make() fails with errno EEXIST for a name already taken,
    // and any other failure ends the search. The name taken and its number,
    // or a null string with errno saying why.
    static QString probe(const QString &name, bool isDirectory, int from,
                         const std::function<bool(const QString &)> &make, int *number = nullptr);
    // Splits "a.tar.gz" into "a" and ".tar.gz"; the suffix is empty when
    // the name has no extension worth keeping.
    static void split(const QString &name, QString *stem, QString *suffix);

    // Variants tried before giving up on readable names.
    static constexpr int maximumVariant = 100000;
};
