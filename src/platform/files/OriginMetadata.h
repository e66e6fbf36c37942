#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Where a downloaded archive came from, as browsers record it in extended
// attributes ("user.xdg.origin.url", "user.xdg.referrer.url"). Extracted
// files carry it on, so they are known to come from the same place.
class OriginMetadata {
public:
    static OriginMetadata ofFile(const QString &path);

    bool isEmpty() const { return m_attributes.isEmpty(); }
    // Failures are ignored: many file systems keep no such attributes.
    void applyTo(int fd) const;

private:
    QList<QPair<QByteArray, QByteArray>> m_attributes;
};
