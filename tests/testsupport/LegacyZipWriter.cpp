#include "LegacyZipWriter.h"

#include "platform/engine/formats/Crc32.h"

#include <QFile>
#include <QtEndian>

namespace {

void put16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void put32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

QByteArray extraFieldFor(const LegacyZipWriter::Entry &entry)
{
    QByteArray extra;
    if (entry.unicodePath.isEmpty())
        return extra;
    const quint32 crc = Crc32::of(entry.name) ^ (entry.staleUnicodePath ? 1u : 0u);
    put16(extra, 0x7075);
    put16(extra, quint16(5 + entry.unicodePath.size()));
    extra.append(char(1));
    put32(extra, crc);
    extra.append(entry.unicodePath);
    return extra;
}

// The fields local and central headers share, from "version needed" on.
QByteArray commonFields(const LegacyZipWriter::Entry &entry, const QByteArray &extra)
{
    QByteArray out;
    put16(out, 20);                                // version needed
    put16(out, entry.utf8Flag ? 0x0800 : 0);       // flags
    put16(out, 0);                                 // stored
    put16(out, 0x6000);                            // 12:00:00
    put16(out, quint16((2020 - 1980) << 9 | 1 << 5 | 1)); // 2020-01-01
    put32(out, Crc32::of(entry.data));
    put32(out, quint32(entry.data.size()));
    put32(out, quint32(entry.data.size()));
    put16(out, quint16(entry.name.size()));
    put16(out, quint16(extra.size()));
    return out;
}

} // namespace

void LegacyZipWriter::add(const QByteArray &name, const QByteArray &data)
{
    Entry entry;
    entry.name = name;
    entry.data = data;
    m_entries.append(entry);
}

bool LegacyZipWriter::write(const QString &path) const
{
    QByteArray zip;
    QByteArray directory;
    for (const Entry &entry : m_entries) {
        const QByteArray extra = extraFieldFor(entry);
        const quint32 offset = quint32(zip.size());
        put32(zip, 0x04034b50);
        zip += commonFields(entry, extra) + entry.name + extra + entry.data;

        put32(directory, 0x02014b50);
        put16(directory, quint16(m_host << 8 | 20)); // version made by
        directory += commonFields(entry, extra);
        put16(directory, 0);                          // comment length
        put16(directory, 0);                          // disk
        put16(directory, 0);                          // internal attributes
        put32(directory, entry.name.endsWith('/') ? 0x10u : 0x20u); // MS-DOS folder or archive bit
        put32(directory, offset);
        directory += entry.name + extra;
    }
    const quint32 directoryOffset = quint32(zip.size());
    zip += directory;
    put32(zip, 0x06054b50);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, quint16(m_entries.size()));
    put16(zip, quint16(m_entries.size()));
    put32(zip, quint32(directory.size()));
    put32(zip, directoryOffset);
    put16(zip, 0); // comment length

    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(zip) == zip.size();
}
