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
    // The first volume of the set a later volume belongs to, by its name
    // ("x.part3.rar" gives "x.part1.rar", "x.r04" gives "x.rar"); the path
    // itself when its name does not tell.
    static QString firstVolumePath(const QString &laterVolume);

    const QStringList &paths() const { return m_paths; }
    qsizetype count() const { return m_paths.size(); }
    qint64 size(qsizetype index) const { return m_sizes.value(index); }
    qint64 totalSize() const;
    // Bytes of all volumes before this one.
    qint64 offsetOf(qsizetype index) const;
    // Where the volume at this index belongs, whether it is there or not:
    // the name a missing volume is asked for by. Null for a set of one.
    QString expectedPath(qsizetype index) const;
    // The first `count` volumes: the rest turned out not to belong.
    void truncate(qsizetype count);

private:
    enum class Naming { Single, Numbered, OldStyleRar };

    void add(const QString &path);
    void addNumberedParts();
    void addOldStyleRarParts();
    QString numberedPath(qsizetype index) const;
    QString oldStyleRarPath(qsizetype index) const;

    QStringList m_paths;
    QList<qint64> m_sizes;
    Naming m_naming = Naming::Single;
    // Numbered: head + index + 1 (zero-padded to width) + tail.
    // Old-style RAR: head + ".rar", then head + ".r00" on.
    QString m_head;
    QString m_tail;
    int m_width = 0;
    bool m_upper = false;
};
