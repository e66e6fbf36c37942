#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The files that make up one archive, in reading order. A multi-volume RAR
// is found from its first part ("x.part1.rar", "x.part01.rar", or "x.rar"
// followed by "x.r00", "x.r01"...), a plainly split archive from its ".001"
// part; anything else is a set of one.
class VolumeSet {
public:
    static VolumeSet forArchive(const QString &path);

    const QStringList &paths() const { return m_paths; }
    qsizetype count() const { return m_paths.size(); }
    qint64 size(qsizetype index) const { return m_sizes.value(index); }
    qint64 totalSize() const;
    // Bytes of all volumes before this one.
    qint64 offsetOf(qsizetype index) const;

private:
    void add(const QString &path);
    void addNumberedParts(const QString &head, int first, int width, const QString &tail);
    void addOldStyleRarParts(const QString &stem, bool upper);

    QStringList m_paths;
    QList<qint64> m_sizes;
};
