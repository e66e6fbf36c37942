#include "DateExpand.h"

#include <cmath>

QString stringWithDateFormat(const QDateTime &date, const QString &pattern)
{
    return date.toLocalTime().toString(pattern);
}

bool isToday(const QDateTime &date)
{
    return date.isValid() && date.toLocalTime().date() == QDate::currentDate();
}

QDateTime now()
{
    return QDateTime::currentDateTime();
}

qint64 timeStampForSeconds(double secondsSince1970)
{
    return static_cast<qint64>(std::trunc(secondsSince1970 * 1000.0));
}

qint64 timeStamp()
{
    return QDateTime::currentMSecsSinceEpoch();
}
