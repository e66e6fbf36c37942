#include "Localized.h"

#include <QCoreApplication>

QString localizedString(const char *key)
{
    return qtTrId(key);
}

QString localizedString(const QString &key)
{
    const QByteArray id = key.toUtf8();
    return qtTrId(id.constData());
}
