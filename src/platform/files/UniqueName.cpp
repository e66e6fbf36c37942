#include "platform/files/UniqueName.h"

#include <QFile>
#include <QStringList>
#include <cerrno>
#include <sys/stat.h>

namespace {

// Compression suffixes that belong with a ".tar" in front of them.
bool isTarCompression(const QString &suffix)
{
    static const QStringList known = {u"gz"_qs,  u"bz2"_qs, u"xz"_qs,  u"lzma"_qs, u"zst"_qs,
                                      u"lz4"_qs, u"lz"_qs,  u"Z"_qs,   u"lzo"_qs,  u"uu"_qs};
    return known.contains(suffix);
}

// An extension worth keeping is short and has no spaces; "Chapter 1.5 notes"
// has none.
bool looksLikeExtension(const QString &ext)
{
    return !ext.isEmpty() && ext.size() <= 16 && !ext.contains(u' ');
}

// A path that cannot even be examined counts as free: the move that follows
// never replaces anything, so it fails safely there.
bool somethingAt(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool isDirectoryAt(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

void UniqueName::split(const QString &name, QString *stem, QString *suffix)
{
    *stem = name;
    suffix->clear();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || !looksLikeExtension(name.mid(dot + 1)))
        return;
    qsizetype start = dot;
    const qsizetype tarDot = name.lastIndexOf(u'.', dot - 1);
    if (tarDot > 0 && name.mid(tarDot + 1, dot - tarDot - 1).compare(u"tar"_qs, Qt::CaseInsensitive) == 0
        && isTarCompression(name.mid(dot + 1)))
        start = tarDot;
    *stem = name.left(start);
    *suffix = name.mid(start);
}

QString UniqueName::variant(const QString &name, int n, bool isDirectory)
{
    const QString number = QString::number(n);
    if (isDirectory)
        return name + u' ' + number;
    QString stem, suffix;
    split(name, &stem, &suffix);
    return stem + u' ' + number + suffix;
}

QString UniqueName::freePath(const QString &path)
{
    if (!somethingAt(path))
        return path;
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QString() : path.left(slash + 1);
    const QString name = slash < 0 ? path : path.mid(slash + 1);
    const QString free = probe(name, isDirectoryAt(path), 2, [&](const QString &candidate) {
        if (!somethingAt(folder + candidate))
            return true;
        errno = EEXIST;
        return false;
    });
    return free.isNull() ? QString() : folder + free;
}

QString UniqueName::probe(const QString &name, bool isDirectory, int from,
                          const std::function<bool(const QString &)> &make, int *number)
{
    for (int n = qMax(from, 1); n <= maximumVariant; ++n) {
        const QString candidate = n == 1 ? name : variant(name, n, isDirectory);
        if (make(candidate)) {
            if (number)
                *number = n;
            return candidate;
        }
        if (errno != EEXIST)
            return QString();
    }
    errno = EEXIST;
    return QString();
}
