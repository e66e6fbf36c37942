#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// Writes small zips the way old MS-DOS and Windows tools did: names stored as
// raw bytes in some code page, no UTF-8 flag, "version made by" naming the
// host. libarchive's writer always converts names and flags them, so tests
// of legacy names need this. Entries are stored, not compressed.
class LegacyZipWriter {
public:
    static constexpr quint8 hostMsDos = 0;
    static constexpr quint8 hostNtfs = 11;

    struct Entry {
        QByteArray name;    // raw bytes; a trailing '/' makes a folder
        QByteArray data;
        bool utf8Flag = false;
        // Adds an Info-ZIP Unicode Path field (0x7075) with this UTF-8 name.
        QByteArray unicodePath;
        // Writes the field with a checksum that does not match the name, as
        // left behind by a tool that renamed the entry without knowing it.
        bool staleUnicodePath = false;
    };

    explicit LegacyZipWriter(quint8 host = hostMsDos) : m_host(host) {}
    void add(const QByteArray &name, const QByteArray &data = QByteArray());
    void add(const Entry &entry) { m_entries.append(entry); }
    bool write(const QString &path) const;

private:
    quint8 m_host;
    QList<Entry> m_entries;
};
