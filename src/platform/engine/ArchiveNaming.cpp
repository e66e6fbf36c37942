#include "platform/engine/ArchiveNaming.h"

#include "platform/files/PathComponents.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// Removes the last extension when it matches; false when nothing changed or
// nothing would be left.
bool stripExtension(QString *name, const QRegularExpression &extension)
{
    const QRegularExpressionMatch match = extension.match(*name);
    if (!match.hasMatch() || match.capturedStart() == 0)
        return false;
    name->truncate(match.capturedStart());
    return true;
}

} // namespace

QString ArchiveNaming::enclosingName(const QString &archivePath)
{
    static const QRegularExpression archiveExtension(
        u"\\.(zip|zipx|7z|rar|r\\d\\d|part\\d+|\\d{3}|tar|gz|tgz|bz2|tbz|tbz2|tb2|xz|txz|lzma|tlz|lz|"
        "lz4|zst|tzst|z|taz|lzo|uu|cab|lha|lzh|cpio|xar|iso|ar|a|warc|exe|sfx|jar|cbz|cbr|cb7)$"_qs,
        QRegularExpression::CaseInsensitiveOption);
    QString name = lastPathComponent(archivePath);
    while (stripExtension(&name, archiveExtension)) {
    }
    return name.isEmpty() ? lastPathComponent(archivePath) : name;
}

QString ArchiveNaming::rawEntryName(const QString &archivePath)
{
    static const QRegularExpression compressionExtension(
        u"\\.(gz|gzip|bz2|bzip2|xz|lzma|zst|zstd|lz4|lz|z|lzo|uu|tgz|tbz|tbz2|tb2|txz|tlz|tzst|taz)$"_qs,
        QRegularExpression::CaseInsensitiveOption);
    QString name = lastPathComponent(archivePath);
    if (!stripExtension(&name, compressionExtension))
        return name.isEmpty() ? u"data"_qs : name;
    return name;
}
