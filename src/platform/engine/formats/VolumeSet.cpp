#include "platform/engine/formats/VolumeSet.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

// A cap far above any real set; it keeps a folder of oddly named files
// from being walked for ever.
constexpr int maximumVolumes = 10000;
// "x.rar", then "x.r00" to "x.z99".
constexpr int oldStyleRarVolumes = 1 + 900;

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
        set.m_naming = Naming::Numbered;
        set.m_head = m.captured(1);
        set.m_width = int(m.captured(2).size());
        set.m_tail = m.captured(3);
        set.addNumberedParts();
    } else if (const auto m = split.match(path); m.hasMatch()) {
        set.m_naming = Naming::Numbered;
        set.m_head = m.captured(1);
        set.m_width = 3;
        set.addNumberedParts();
    } else if (const auto m = plainRar.match(path); m.hasMatch()) {
        set.m_naming = Naming::OldStyleRar;
        set.m_head = m.captured(1);
        set.m_upper = m.captured(2) == u"RAR"_qs;
        set.add(path);
        set.addOldStyleRarParts();
    } else {
        set.add(path);
    }
    return set;
}

QString VolumeSet::firstVolumePath(const QString &laterVolume)
{
    static const QRegularExpression partRar(u"^(.*\\.part)(\\d+)(\\.rar)$"_qs,
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression oldStyle(u"^(.*)\\.([r-z])\\d\\d$"_qs,
                                             QRegularExpression::CaseInsensitiveOption);
    if (const auto m = partRar.match(laterVolume); m.hasMatch())
        return m.captured(1) + QStringLiteral("%1").arg(1, int(m.captured(2).size()), 10, QLatin1Char('0'))
               + m.captured(3);
    if (const auto m = oldStyle.match(laterVolume); m.hasMatch())
        return m.captured(1) + (m.captured(2).at(0).isUpper() ? u".RAR"_qs : u".rar"_qs);
    return laterVolume;
}

void VolumeSet::add(const QString &path)
{
    m_paths.append(path);
    m_sizes.append(QFileInfo(path).size());
}

void VolumeSet::addNumberedParts()
{
    for (qsizetype index = 0; index < maximumVolumes; ++index) {
        const QString part = numberedPath(index);
        if (index > 0 && !exists(part))
            break;
        add(part);
    }
}

void VolumeSet::addOldStyleRarParts()
{
    for (qsizetype index = 1; index < oldStyleRarVolumes; ++index) {
        const QString part = oldStyleRarPath(index);
        if (!exists(part))
            break;
        add(part);
    }
}

QString VolumeSet::numberedPath(qsizetype index) const
{
    return m_head + QStringLiteral("%1").arg(index + 1, m_width, 10, QLatin1Char('0')) + m_tail;
}

// Old RAR sets continue "x.rar" with "x.r00" to "x.r99", then "x.s00" on,
// up to "x.z99".
QString VolumeSet::oldStyleRarPath(qsizetype index) const
{
    if (index == 0)
        return m_paths.value(0);
    const qsizetype n = index - 1;
    const QChar letter = QChar(char16_t(u'r' + n / 100));
    QString suffix = QString(letter) + QStringLiteral("%1").arg(n % 100, 2, 10, QLatin1Char('0'));
    return m_head + u'.' + (m_upper ? suffix.toUpper() : suffix);
}

QString VolumeSet::expectedPath(qsizetype index) const
{
    if (index < m_paths.size())
        return m_paths.at(index);
    switch (m_naming) {
    case Naming::Numbered:
        return numberedPath(index);
    case Naming::OldStyleRar:
        return index < oldStyleRarVolumes ? oldStyleRarPath(index) : QString();
    case Naming::Single:
        break;
    }
    return QString();
}

void VolumeSet::truncate(qsizetype count)
{
    if (count < m_paths.size()) {
        m_paths.resize(count);
        m_sizes.resize(count);
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
