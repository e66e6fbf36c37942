#include "StringExpand.h"

#include <QDir>
#include <QStandardPaths>

bool isValid(const QString &text)
{
    if (text.isNull() || text.trimmed().isEmpty())
        return false;
    return text != u"(null)"_qs;
}

QDateTime convertToDateWithFormat(const QString &text, const QString &pattern)
{
    if (text.isEmpty())
        return QDateTime();
    QDateTime date = QDateTime::fromString(text, pattern);
    date.setTimeSpec(Qt::LocalTime);
    return date;
}

QString toTempFolderPath(const QString &folderName)
{
    const QString support = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (support.isEmpty())
        return QString();
    return QDir(support).filePath(folderName);
}

QString desktopPath()
{
    const QStringList desktops = QStandardPaths::standardLocations(QStandardPaths::DesktopLocation);
    if (!desktops.isEmpty() && !desktops.first().isEmpty())
        return desktops.first();
    return QDir::homePath() + u"/Desktop"_qs;
}
