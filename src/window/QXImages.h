#pragma once

#include <QIcon>
#include <QString>

// The program's own images, looked up by name ("cancel_normal") in the
// bundled resources; a 2x variant is picked up for high-density screens.
class QXImages {
public:
    // A null icon when no image of that name is bundled.
    static QIcon named(const QString &name);
    static bool exists(const QString &name);
};
