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
