#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// Something that knows granted folders and can give access to them.
class QXURLProvider {
public:
    virtual ~QXURLProvider() = default;
    // The folder paths this provider can answer for.
    virtual QStringList availablePaths() const = 0;
    // The access URL of one of availablePaths(), or an empty URL.
    virtual QUrl securityScopedURLForPath(const QString &path) = 0;
};
