#include "QXImages.h"

#include <QFile>
#include <mutex>

// The resource file is compiled into a static library, where nothing would
// otherwise pull its registration into the program. Kept outside any
// namespace: the macro declares the registration function where it stands.
static void registerResources()
{
    static std::once_flag once;
    std::call_once(once, [] { Q_INIT_RESOURCE(quillbox); });
}

namespace {

QString pathFor(const QString &name)
{
    return u":/images/"_qs + name + u".png"_qs;
}

} // namespace

QIcon QXImages::named(const QString &name)
{
    if (!exists(name))
        return QIcon();
    return QIcon(pathFor(name));
}

bool QXImages::exists(const QString &name)
{
    registerResources();
    return QFile::exists(pathFor(name));
}
