#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

// The parsers under test read files by path, as they do for real archives;
// each input is written to one scratch file that is reused.
class FuzzInput {
public:
    static QString write(const uint8_t *data, size_t size)
    {
        static QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("input"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(reinterpret_cast<const char *>(data), qint64(size));
        return path;
    }
};
