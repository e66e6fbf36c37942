#include "PathComponents.h"

#include <QDir>
#include <QStringList>

bool pathIsInsideFolder(const QString &path, const QString &folder)
{
    if (path.isEmpty() || folder.isEmpty())
        return false;
    const QStringList inner = QDir::cleanPath(QDir(folder).absoluteFilePath(path))
                                  .split(u'/', Qt::SkipEmptyParts);
    const QStringList outer = QDir::cleanPath(QDir(folder).absolutePath())
                                  .split(u'/', Qt::SkipEmptyParts);
    if (inner.size() < outer.size())
        return false;
    for (qsizetype i = 0; i < outer.size(); ++i) {
        if (inner.at(i) != outer.at(i))
            return false;
    }
    return true;
}

namespace {

QString withoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

// The position of the extension's dot in path, or -1.
qsizetype extensionDot(const QString &path)
{
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > nameStart ? dot : -1;
}

} // namespace

QString lastPathComponent(const QString &path)
{
    const QString trimmed = withoutTrailingSlashes(path);
    return trimmed.mid(trimmed.lastIndexOf(u'/') + 1);
}

QString pathExtension(const QString &path)
{
    const QString trimmed = withoutTrailingSlashes(path);
    const qsizetype dot = extensionDot(trimmed);
    return dot < 0 ? QString() : trimmed.mid(dot + 1);
}

QString deletingPathExtension(const QString &path)
{
    const QString trimmed = withoutTrailingSlashes(path);
    const qsizetype dot = extensionDot(trimmed);
    return dot < 0 ? trimmed : trimmed.left(dot);
}

QString parentFolderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QDir::currentPath();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}
