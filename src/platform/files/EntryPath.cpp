#include "platform/files/EntryPath.h"

#include "platform/files/PathComponents.h"

EntryPath::Verdict EntryPath::parse(const QString &name, const QString &root, QStringList *components)
{
    components->clear();
    if (name.startsWith(u'/'))
        return Unsafe;
    for (const QString &part : name.split(u'/')) {
        if (part == u".."_qs)
            return Unsafe;
        if (part.isEmpty() || part == u"."_qs)
            continue;
        if (part.toUtf8().size() > maximumComponentBytes)
            return TooLong;
        components->append(part);
    }
    if (components->isEmpty())
        return Empty;
    const QString joined = components->join(u'/');
    if (components->size() > maximumDepth || joined.toUtf8().size() > maximumBytes)
        return TooLong;
    if (!pathIsInsideFolder(root + u'/' + joined, root))
        return Unsafe;
    return Fine;
}
