#include "VolumeSet.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

// A cap far above any real set; it keeps a folder of oddly named files
// from being walked for ever.
constexpr int maximumVolumes = 10000;

bool exists(const QString &path)
{
    return QFileInfo(path).isFile();
}

} // namespace

VolumeSet VolumeSet::forArchive(const QString &path)
{
    VolumeSet set;
    static const QRegularExpression partRar(u"^(.*\\.part)(0*1)(\\.rar)$"_qs,
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression split(u"^(.*\\.)(001)$"_qs);
    static const QRegularExpression plainRar(u"^(.*)\\.(rar|RAR)$"_qs);
    if (const auto m = partRar.match(path); m.hasMatch()) {
        set.addNumberedParts(m.captured(1), 1, int(m.captured(2).size()), m.captured(3));
    } else if (const auto m = split.match(path); m.hasMatch()) {
        set.addNumberedParts(m.captured(1), 1, 3, QString());
    } else if (const auto m = plainRar.match(path); m.hasMatch()) {
        set.add(path);
        set.addOldStyleRarParts(m.captured(1), m.captured(2) == u"RAR"_qs);
    } else {
        set.add(path);
    }
    return set;
}

void VolumeSet::add(const QString &path)
{
    m_paths.append(path);
    m_sizes.append(QFileInfo(path).size());
}

void VolumeSet::addNumberedParts(const QString &head, int first, int width, const QString &tail)
{
    for (int n = first; n < first + maximumVolumes; ++n) {
        const QString part = head + QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0')) + tail;
        if (n != first && !exists(part))
            break;
        add(part);
    }
}

// Old RAR sets continue "x.rar" with "x.r00" to "x.r99", then "x.s00" on,
// up to "x.z99".
void VolumeSet::addOldStyleRarParts(const QString &stem, bool upper)
{
    for (int n = 0; n < 900; ++n) {
        const QChar letter = QChar(u'r' + n / 100);
        QString suffix = QString(letter) + QStringLiteral("%1").arg(n % 100, 2, 10, QLatin1Char('0'));
        if (upper)
            suffix = suffix.toUpper();
        const QString part = stem + u'.' + suffix;
        if (!exists(part))
            break;
        add(part);
    }
}

qint64 VolumeSet::totalSize() const
{
    qint64 total = 0;
    for (qint64 size : m_sizes)
        total += size;
    return total;
}

qint64 VolumeSet::offsetOf(qsizetype index) const
{
    qint64 offset = 0;
    for (qsizetype i = 0; i < index && i < m_sizes.size(); ++i)
        offset += m_sizes.at(i);
    return offset;
}
