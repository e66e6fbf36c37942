#pragma once

#include <QDateTime>
#include <QString>

QString stringWithDateFormat(const QDateTime &date, const QString &pattern);
// Same calendar day as now, in the user's time zone.
bool isToday(const QDateTime &date);
QDateTime now();
// Milliseconds since 1970-01-01 00:00 UTC, truncated toward zero.
qint64 timeStamp();
qint64 timeStampForSeconds(double secondsSince1970);
